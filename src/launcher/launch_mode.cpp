#include "launcher/launch_mode.h"

#include <algorithm>
#include <string_view>

#include "launcher/companion_actions.h"
#include "launcher/status_probe.h"

namespace ltf {

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

}  // namespace ltf
