#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/paths/paths.h"
#include "platform/process/process.h"

namespace ltf {

// The companion's image name: the file looked for in the install directory, the image the probe
// looks for and the image the stop action ends.
inline constexpr std::string_view kCompanionImageName = "lanternfield.exe";
// The product's uninstaller, beside the companion.
inline constexpr std::string_view kUninstallerFileName = "Uninstall.exe";

// An HWND, kept opaque so the launcher logic builds without <windows.h>.
using WindowHandle = void*;

// Everything the launcher logic asks of the operating system. The exe binds the real services;
// tests bind a recording fake.
class System {
 public:
  virtual ~System() = default;

  // Captures standard output and error, with standard input on the null device; waits for exit.
  virtual std::expected<ProcessOutput, ProcessError> RunToCompletion(
      const ProcessCommand& command) = 0;
  // Starts the child with our standard handles and never waits for it.
  virtual std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command) = 0;
  // Through the shell, which can ask for elevation.
  virtual std::expected<void, ProcessError> StartThroughShell(const ProcessCommand& command,
                                                              const ShellStart& how) = 0;
  // The session the launcher runs in, which scopes the probe and the stop; nothing when unknown.
  virtual std::optional<std::uint32_t> SessionId() = 0;
  virtual Path InstallDirectory() = 0;
  virtual bool PathExists(const Path& path) = 0;
  // Modal; returns the button pressed, or 0 when the box could not be shown.
  virtual int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                             unsigned style) = 0;
};

enum class LaunchMode { Silent, Window };

// Silent when any element, the program name included, is exactly "--silent".
LaunchMode ChooseLaunchMode(std::span<const std::string> arguments);

// Starts the companion only when the probe says it is not running.
void RunSilentMode(System& system);

// tasklist filtered to the companion's image name and, when known, to our session, without
// column headings.
ProcessCommand ProbeCommand(std::optional<std::uint32_t> session);

// Any failure to run the probe answers false: the caller cannot tell it from a stopped companion.
bool IsCompanionRunning(System& system);

// The update page; a build option may replace its host.
std::string_view UpdatePageUrl();

// taskkill by force, of the companion's image and, when known, only in our session.
ProcessCommand StopCommand(std::optional<std::uint32_t> session);
ProcessCommand UpdatePageCommand();

// `owner` owns the elevation prompts a start or a stop may need: the launcher window, or null.
void StartCompanion(System& system, WindowHandle owner);
void StopCompanion(System& system, WindowHandle owner);
void OpenUpdatePage(System& system);
// True when the user confirmed and the uninstaller started; the window then quits.
bool UninstallCompanion(System& system, WindowHandle owner);

}  // namespace ltf
