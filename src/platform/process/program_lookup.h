#pragma once

// How a child's file is found and its command line built, asking the system only through
// LookupSystem so that the rules run without Windows.
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/paths.h"
#include "platform/process/process.h"
#include "platform/windows_codes.h"
#include "platform/windows_error.h"

namespace ltf {

// The queries program lookup makes of the system; each is asked afresh on every lookup.
class LookupSystem {
 public:
  virtual ~LookupSystem() = default;
  // The launcher's own directory; nothing when its module path cannot be read.
  virtual std::optional<Path> OwnDirectory() = 0;
  virtual std::optional<Path> SystemDirectory() = 0;
  virtual std::optional<Path> WindowsDirectory() = 0;
  // The "PATH" variable, or nothing when it is not set.
  virtual std::optional<std::u16string> SearchPathVariable() = 0;
  virtual std::expected<Path, WindowsError> FullPathName(const TerminatedPath& path) = 0;
  // Long and relative paths made safe for Windows, with no preference for the \\?\ form.
  virtual std::expected<TerminatedPath, WindowsError> ExtendedLengthPath(
      const TerminatedPath& path) = 0;
  // GetFileAttributesW found something, a directory included; links are not followed.
  virtual bool HasAttributes(const TerminatedPath& path) = 0;
};

// What CreateProcessW is handed: the file to run and the child's writable command line.
struct LaunchPlan {
  TerminatedPath application;
  std::u16string command_line;
};

// "PATH" split at the ";" outside double quotes; quotes are dropped, empty entries skipped.
std::vector<Path> SplitSearchPath(std::u16string_view variable);

// The form a path is handed to Windows in: a \\?\ form that Windows would read the same way
// without its prefix loses it, so older programs see an ordinary path.
std::expected<TerminatedPath, WindowsError> ToLaunchPath(LookupSystem& system,
                                                         const TerminatedPath& path);
std::optional<TerminatedPath> ProgramExists(LookupSystem& system, std::u16string_view path);

// A bare name is searched for: the launcher's directory, the system and Windows directories,
// then the absolute entries of "PATH" (never the current directory). A path is used as given,
// ".exe" added when that names a file.
std::expected<TerminatedPath, ProcessError> ResolveProgram(LookupSystem& system,
                                                           std::u16string_view program);

// ResolveProgram's file, except that a batch file is refused: the shell re-parses its command
// line by rules the quoting here does not follow, so an argument could become a second command.
std::expected<TerminatedPath, ProcessError> ResolveLaunchable(LookupSystem& system,
                                                              std::u16string_view program);

std::expected<LaunchPlan, ProcessError> PrepareLaunch(LookupSystem& system,
                                                      std::u16string_view program,
                                                      std::span<const std::u16string> arguments);

// The arguments one space apart, each quoted so that the C runtime's argv rules (which
// CommandLineToArgvW follows too) give it back exactly: what follows the program on a command line.
std::expected<std::u16string, ProcessError> QuoteArguments(
    std::span<const std::u16string> arguments);

// A child's command line: the program in quotes, then its quoted arguments; NUL-terminated and
// writable, as CreateProcessW wants it.
std::expected<std::u16string, ProcessError> BuildCommandLine(
    std::u16string_view program, std::span<const std::u16string> arguments);

#ifdef _WIN32
// Program lookup as Windows answers it.
LookupSystem& WindowsLookupSystem();
#endif

}  // namespace ltf
