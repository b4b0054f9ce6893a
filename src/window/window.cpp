#include "window/window.h"

#include <array>

namespace ltf {
namespace {

// Both rows span x = 20 to 330; the lower row starts 12 px below the toggle.
constexpr std::array<LauncherButton, 3> kButtons{{
    {ID_TOGGLE, u"", {20, 90, 310, 38}},
    {ID_UPDATE, u"Check for Updates", {20, 140, 148, 34}},
    {ID_UNINSTALL, u"Uninstall", {182, 140, 148, 34}},
}};

}  // namespace

std::span<const LauncherButton> LauncherButtons() {
  return kButtons;
}

std::string_view ToggleLabel(bool running) {
  return running ? "Stop Lanternfield" : "Start Lanternfield";
}

StatusText StatusLine(bool running) {
  return running ? StatusText{"Running", kRunningColour} : StatusText{"Stopped", kStoppedColour};
}

CommandFollowUp HandleLauncherCommand(System& system, WindowHandle window, std::uintptr_t command) {
  switch (static_cast<std::uint16_t>(command & 0xFFFF)) {
    case ID_TOGGLE:
      // A fresh probe, not the label: the companion may have changed since the window opened.
      if (IsCompanionRunning(system)) {
        StopCompanion(system, window);
      } else {
        StartCompanion(system, window);
      }
      return CommandFollowUp::DestroyWindow;
    case ID_UPDATE:
      OpenUpdatePage(system);
      return CommandFollowUp::Stay;
    case ID_UNINSTALL:
      return UninstallCompanion(system, window) ? CommandFollowUp::Quit : CommandFollowUp::Stay;
    default:
      return CommandFollowUp::Stay;
  }
}

}  // namespace ltf
