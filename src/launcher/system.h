#pragma once

#include <expected>
#include <string_view>

#include "platform/paths/path_model.h"
#include "platform/process/process_types.h"

namespace ltf {

// An HWND, kept opaque so the launcher logic builds without <windows.h>.
using WindowHandle = void*;

// Everything the launcher logic asks of the operating system. The Windows build binds the real
// services; native tests bind a recording fake.
class System {
 public:
  virtual ~System() = default;

  // Captures standard output and error, with standard input on the null device; waits for exit.
  virtual std::expected<ProcessOutput, ProcessError> RunToCompletion(
      const ProcessCommand& command) = 0;
  // Starts the child with our standard handles and never waits for it.
  virtual std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command) = 0;
  virtual Path InstallDirectory() = 0;
  virtual bool PathExists(const Path& path) = 0;
  // Modal; returns the button pressed, or 0 when the box could not be shown.
  virtual int ShowMessageBox(WindowHandle owner, std::string_view text, std::string_view caption,
                             unsigned style) = 0;
};

}  // namespace ltf
