#pragma once

#include <cstdint>
#include <expected>
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

// Starts `program` with no arguments through the shell, in our current directory, never waited
// for. Unlike StartAndRelease it can start a program that asks for administrator rights: the
// shell shows the elevation prompt, in front of `owner` (an HWND, or null), and a declined
// prompt fails with ERROR_CANCELLED.
std::expected<void, ProcessError> StartThroughShell(const std::u16string& program, void* owner);

}  // namespace ltf
