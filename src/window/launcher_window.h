#pragma once

namespace ltf {

// Window mode: returns once the window's message loop has ended.
void RunLauncherWindow();

}  // namespace ltf
