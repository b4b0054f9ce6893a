#pragma once

#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/path_model.h"
#include "platform/paths/terminated_path.h"
#include "platform/process/process_types.h"
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
// then "PATH" (never the current directory). A path is used as given, ".exe" added when that
// names a file.
std::expected<TerminatedPath, ProcessError> ResolveProgram(LookupSystem& system,
                                                           std::u16string_view program);

std::expected<LaunchPlan, ProcessError> PrepareLaunch(LookupSystem& system,
                                                      std::u16string_view program,
                                                      std::span<const std::u16string> arguments);

}  // namespace ltf
