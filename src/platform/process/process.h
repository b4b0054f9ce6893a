#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ltf {

// A child to start: a bare file name (looked up) or a path (used as given), and its arguments,
// each of which the child receives as exactly one argument.
struct ProcessCommand {
  std::u16string program;
  std::vector<std::u16string> arguments;
};

struct ProcessOutput {
  std::uint32_t status{};
  std::vector<unsigned char> standard_output;
  std::vector<unsigned char> standard_error;
};

enum class ProcessErrorKind { Windows, InvalidInput, NotFound };

// Why a child could not be run: a Windows error code, or a fixed kind with its message.
struct ProcessError {
  ProcessErrorKind kind = ProcessErrorKind::Windows;
  std::uint32_t code{};
  std::string_view message;

  static ProcessError FromWindows(std::uint32_t code) {
    return {ProcessErrorKind::Windows, code, {}};
  }
  static ProcessError InvalidInput(std::string_view message) {
    return {ProcessErrorKind::InvalidInput, 0, message};
  }
  static ProcessError NotFound(std::string_view message) {
    return {ProcessErrorKind::NotFound, 0, message};
  }
};

// Standard input on the null device, standard output and error captured; blocks until the
// child has exited and both streams have ended.
std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& command);

// The child inherits our standard handles; its handles are closed at once, it is never waited for.
std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command);

// How the shell is asked to start a program.
struct ShellStart {
  // Empty for the program's own verb; "runas" asks for administrator rights, which the
  // program's manifest may not.
  std::u16string_view verb{};
  // An HWND, or null: the window the elevation prompt comes to the front of.
  void* owner = nullptr;
  // Return only once the program has ended.
  bool wait = false;
  // No window shown: a console tool would otherwise bring up a console of its own.
  bool hidden = false;
};

// Starts the command through the shell, in our current directory, the program looked up and the
// arguments quoted as for StartAndRelease. Unlike StartAndRelease it can start a program that
// asks for administrator rights: the shell shows the elevation prompt, and a declined prompt
// fails with ERROR_CANCELLED.
std::expected<void, ProcessError> StartThroughShell(const ProcessCommand& command,
                                                    const ShellStart& how);

// The Remote Desktop Services session this process runs in; nothing when it cannot be read.
std::optional<std::uint32_t> OwnSessionId();

}  // namespace ltf
