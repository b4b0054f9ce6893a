#pragma once

#include <span>
#include <string>

#include "launcher/system.h"

namespace ltf {

enum class LaunchMode { Silent, Window };

// Silent when any element, the program name included, is exactly "--silent".
LaunchMode ChooseLaunchMode(std::span<const std::string> arguments);

// Starts the companion only when the probe says it is not running.
void RunSilentMode(System& system);

}  // namespace ltf
