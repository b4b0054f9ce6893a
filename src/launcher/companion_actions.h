#pragma once

#include <string_view>

#include "launcher/system.h"
#include "platform/process/process_types.h"

namespace ltf {

struct MessageBoxText {
  std::string_view text;
  std::string_view caption;
  unsigned style;  // MB_* flags
};

inline constexpr MessageBoxText kMissingCompanionBox{
    "lanternfield.exe not found in install directory.", "Lanternfield Error",
    0x10 /* MB_OK | MB_ICONERROR */};
inline constexpr MessageBoxText kUninstallConfirmBox{
    "Are you sure you want to uninstall Lanternfield?", "Uninstall Lanternfield",
    0x24 /* MB_YESNO | MB_ICONQUESTION */};
inline constexpr MessageBoxText kMissingUninstallerBox{
    "Uninstaller not found. Use Settings > Apps.", "Lanternfield",
    0x40 /* MB_OK | MB_ICONINFORMATION */};

inline constexpr int kIdYes = 6;

// The update page; a build option may replace its host.
std::string_view UpdatePageUrl();

ProcessCommand StopCommand();
ProcessCommand UpdatePageCommand();

void StartCompanion(System& system);
void StopCompanion(System& system);
void OpenUpdatePage(System& system);
// True when the user confirmed and the uninstaller was found (its start was attempted);
// the window then quits.
bool UninstallCompanion(System& system, WindowHandle owner);

}  // namespace ltf
