#include "window/launcher_window.h"

namespace ltf {

// The launcher window is not built yet; window mode ends at once.
void RunLauncherWindow() {}

}  // namespace ltf
