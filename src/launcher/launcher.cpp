#include "launcher/launcher.h"

#include <algorithm>

#include "platform/text/text.h"

namespace ltf {

namespace {

// A child's program or argument: the units of our UTF-8 text, without the terminator.
std::u16string Units(std::string_view utf8) {
  return std::u16string(ToWideString(utf8).Units());
}

struct MessageBoxText {
  std::string text;
  std::string_view caption;
  unsigned style;
};

int Show(System& system, WindowHandle owner, const MessageBoxText& box) {
  return system.ShowMessageBox(owner, box.text, box.caption, box.style);
}

MessageBoxText MissingCompanionBox() {
  return {std::string(kCompanionImageName) + " not found in install directory.",
          "Lanternfield Error", kErrorBox};
}

MessageBoxText UninstallConfirmBox() {
  return {"Are you sure you want to uninstall Lanternfield?", "Uninstall Lanternfield",
          kQuestionBox};
}

MessageBoxText MissingUninstallerBox() {
  return {"Uninstaller not found. Use Settings > Apps.", "Lanternfield", kInformationBox};
}

// CreateProcessW refuses a program that asks for administrator rights; only the shell can show
// the elevation prompt for it.
bool StartProgram(System& system, const Path& program, WindowHandle owner) {
  std::expected<void, ProcessError> started = system.StartAndRelease({program, {}});
  if (!started && started.error().code == kErrorElevationRequired) {
    started = system.StartThroughShell(program, owner);
  }
  return started.has_value();
}

}  // namespace

LaunchMode ChooseLaunchMode(std::span<const std::string> arguments) {
  constexpr std::string_view kSilentSwitch = "--silent";
  const bool silent = std::ranges::any_of(
      arguments, [&](const std::string& argument) { return argument == kSilentSwitch; });
  return silent ? LaunchMode::Silent : LaunchMode::Window;
}

void RunSilentMode(System& system) {
  if (!IsCompanionRunning(system)) {
    StartCompanion(system);
  }
}

ProcessCommand ProbeCommand() {
  return {Units("tasklist"),
          {Units("/FI"), Units("IMAGENAME eq " + std::string(kCompanionImageName)), Units("/NH")}};
}

bool IsCompanionRunning(System& system) {
  const auto output = system.RunToCompletion(ProbeCommand());
  if (!output) {
    return false;
  }
  // Only standard output counts; the exit status and standard error are never looked at.
  const DecodedText text = DecodeUtf8Lossy(output->standard_output);
  return ContainsSubstring(text.View(), kCompanionImageName);
}

std::string_view UpdatePageUrl() {
  return LTF_UPDATE_URL;
}

ProcessCommand StopCommand() {
  return {Units("taskkill"), {Units("/F"), Units("/IM"), Units(kCompanionImageName)}};
}

ProcessCommand UpdatePageCommand() {
  return {Units("cmd"), {Units("/C"), Units("start"), Units(UpdatePageUrl())}};
}

void StartCompanion(System& system) {
  const Path companion = JoinPath(system.InstallDirectory(), Units(kCompanionImageName));
  if (!system.PathExists(companion)) {
    // Unowned on purpose: silent mode has no window, and the launcher window stays usable.
    Show(system, nullptr, MissingCompanionBox());
    return;
  }
  (void)StartProgram(system, companion, nullptr);
}

void StopCompanion(System& system) {
  (void)system.RunToCompletion(StopCommand());
}

void OpenUpdatePage(System& system) {
  (void)system.StartAndRelease(UpdatePageCommand());
}

bool UninstallCompanion(System& system, WindowHandle owner) {
  // A box that cannot be shown answers 0, which is no consent either.
  if (Show(system, owner, UninstallConfirmBox()) != kIdYes) {
    return false;
  }
  StopCompanion(system);
  const Path uninstaller = JoinPath(system.InstallDirectory(), Units(kUninstallerFileName));
  if (!system.PathExists(uninstaller)) {
    Show(system, owner, MissingUninstallerBox());
    return false;
  }
  // An uninstaller that did not start leaves the window open: quitting would look like success.
  return StartProgram(system, uninstaller, owner);
}

}  // namespace ltf
