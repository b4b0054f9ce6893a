#include "launcher/launcher.h"

#include <algorithm>
#include <string>

#include "platform/text/text.h"
#include "platform/windows_codes.h"

namespace ltf {

namespace {

// The shell verb that asks for administrator rights whatever the program's manifest says.
constexpr std::u16string_view kElevateVerb = u"runas";

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
  const ProcessCommand command{program, {}};
  std::expected<void, ProcessError> started = system.StartAndRelease(command);
  if (!started && started.error().code == kErrorElevationRequired) {
    started = system.StartThroughShell(command, {.owner = owner});
  }
  return started.has_value();
}

// The filters that keep the probe and the stop to our own session: tasklist and taskkill see
// every user's processes.
void AddSessionFilter(ProcessCommand& command, std::optional<std::uint32_t> session) {
  if (session) {
    command.arguments.push_back(Units("/FI"));
    command.arguments.push_back(Units("SESSION eq " + std::to_string(*session)));
  }
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
    StartCompanion(system, nullptr);
  }
}

ProcessCommand ProbeCommand(std::optional<std::uint32_t> session) {
  ProcessCommand probe{Units("tasklist"),
                       {Units("/FI"), Units("IMAGENAME eq " + std::string(kCompanionImageName))}};
  AddSessionFilter(probe, session);
  probe.arguments.push_back(Units("/NH"));
  return probe;
}

bool IsCompanionRunning(System& system) {
  const auto output = system.RunToCompletion(ProbeCommand(system.SessionId()));
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

ProcessCommand StopCommand(std::optional<std::uint32_t> session) {
  ProcessCommand stop{Units("taskkill"), {Units("/F")}};
  AddSessionFilter(stop, session);
  stop.arguments.push_back(Units("/IM"));
  stop.arguments.push_back(Units(kCompanionImageName));
  return stop;
}

ProcessCommand UpdatePageCommand() {
  return {Units("cmd"), {Units("/C"), Units("start"), Units(UpdatePageUrl())}};
}

void StartCompanion(System& system, WindowHandle owner) {
  const Path companion = JoinPath(system.InstallDirectory(), Units(kCompanionImageName));
  if (!system.PathExists(companion)) {
    // Unowned on purpose: silent mode has no window, and the launcher window stays usable.
    Show(system, nullptr, MissingCompanionBox());
    return;
  }
  (void)StartProgram(system, companion, owner);
}

void StopCompanion(System& system, WindowHandle owner) {
  const std::optional<std::uint32_t> session = system.SessionId();
  const ProcessCommand stop = StopCommand(session);
  const auto stopped = system.RunToCompletion(stop);
  // taskkill ends with a non-zero status when it may not end a process, as when the companion
  // runs elevated. A forced end takes a moment, so only that refusal, and a companion still
  // there after it, earn the elevation prompt; and only a stop kept to our session may be
  // elevated, or it would end the companions of every user.
  if (!session || !stopped || stopped->status == 0 || !IsCompanionRunning(system)) {
    return;
  }
  // Once: a declined prompt or a failed start ends the stop as quietly as a refusal does.
  // Hidden: the launcher has no console to lend an elevated taskkill, which would open its own.
  (void)system.StartThroughShell(
      stop, {.verb = kElevateVerb, .owner = owner, .wait = true, .hidden = true});
}

void OpenUpdatePage(System& system) {
  (void)system.StartAndRelease(UpdatePageCommand());
}

bool UninstallCompanion(System& system, WindowHandle owner) {
  // A box that cannot be shown answers 0, which is no consent either.
  if (Show(system, owner, UninstallConfirmBox()) != kIdYes) {
    return false;
  }
  StopCompanion(system, owner);
  const Path uninstaller = JoinPath(system.InstallDirectory(), Units(kUninstallerFileName));
  if (!system.PathExists(uninstaller)) {
    Show(system, owner, MissingUninstallerBox());
    return false;
  }
  // An uninstaller that did not start leaves the window open: quitting would look like success.
  return StartProgram(system, uninstaller, owner);
}

}  // namespace ltf
