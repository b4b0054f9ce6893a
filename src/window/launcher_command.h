#pragma once

#include <cstdint>

#include "launcher/system.h"

namespace ltf {

// What the window does once a command has run.
enum class CommandFollowUp { Stay, DestroyWindow, Quit };

// `command` is WM_COMMAND's wParam: the control identifier is its low 16 bits, and the
// notification code above them is not looked at. `window` owns the uninstall flow's boxes.
CommandFollowUp HandleLauncherCommand(System& system, WindowHandle window, std::uintptr_t command);

}  // namespace ltf
