#include "window/launcher_command.h"

#include "launcher/companion_actions.h"
#include "launcher/status_probe.h"
#include "window/launcher_layout.h"

namespace ltf {

CommandFollowUp HandleLauncherCommand(System& system, WindowHandle window, std::uintptr_t command) {
  switch (static_cast<std::uint16_t>(command & 0xFFFF)) {
    case ID_TOGGLE:
      // A fresh probe, not the label: the companion may have changed since the window opened.
      if (IsCompanionRunning(system)) {
        StopCompanion(system);
      } else {
        StartCompanion(system);
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
