#include "launcher/companion_actions.h"

#include "launcher/companion.h"
#include "platform/paths/path_model.h"
#include "platform/text/wide_string.h"

namespace ltf {

namespace {

int Show(System& system, WindowHandle owner, const MessageBoxText& box) {
  return system.ShowMessageBox(owner, box.text, box.caption, box.style);
}

}  // namespace

std::string_view UpdatePageUrl() {
  return LTF_UPDATE_URL;
}

ProcessCommand StopCommand() {
  return {u"taskkill", {u"/F", u"/IM", u"lanternfield.exe"}};
}

ProcessCommand UpdatePageCommand() {
  const WideString url = ToWideString(UpdatePageUrl());
  return {u"cmd", {u"/C", u"start", std::u16string(url.Units())}};
}

void StartCompanion(System& system) {
  const Path companion = JoinPath(system.InstallDirectory(), kCompanionFileName);
  if (!system.PathExists(companion)) {
    // Unowned on purpose: silent mode has no window, and the launcher window stays usable.
    Show(system, nullptr, kMissingCompanionBox);
    return;
  }
  (void)system.StartAndRelease({companion, {}});
}

void StopCompanion(System& system) {
  (void)system.RunToCompletion(StopCommand());
}

void OpenUpdatePage(System& system) {
  (void)system.StartAndRelease(UpdatePageCommand());
}

bool UninstallCompanion(System& system, WindowHandle owner) {
  // A box that cannot be shown answers 0, which is no consent either.
  if (Show(system, owner, kUninstallConfirmBox) != kIdYes) {
    return false;
  }
  StopCompanion(system);
  const Path uninstaller = JoinPath(system.InstallDirectory(), kUninstallerFileName);
  if (!system.PathExists(uninstaller)) {
    Show(system, owner, kMissingUninstallerBox);
    return false;
  }
  (void)system.StartAndRelease({uninstaller, {}});
  return true;
}

}  // namespace ltf
