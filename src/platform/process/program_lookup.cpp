#include "platform/process/program_lookup.h"

#include <algorithm>

namespace ltf {

namespace {

// A bare name or an argument that holds a 0 unit, which Windows would take for its end.
constexpr std::string_view kNulInData = "nul byte found in provided data";

char16_t AsciiLower(char16_t unit) {
  return unit >= u'A' && unit <= u'Z' ? unit + (u'a' - u'A') : unit;
}

bool EndsWithIgnoringCase(std::u16string_view text, std::u16string_view lower_suffix) {
  // A text shorter than the suffix is compared whole, and differs in length.
  const std::u16string_view tail =
      text.substr(text.size() - std::min(text.size(), lower_suffix.size()));
  return std::ranges::equal(tail, lower_suffix, {}, AsciiLower);
}

// Windows drops trailing dots and blanks from a name, so "run.bat. " still runs run.bat.
bool IsBatchFile(std::u16string_view path) {
  while (!path.empty() && (path.back() == u'.' || path.back() == u' ')) {
    path.remove_suffix(1);
  }
  return EndsWithIgnoringCase(path, u".bat") || EndsWithIgnoringCase(path, u".cmd");
}

// `form` when Windows reads it as exactly the same path, else the path as it was.
std::expected<TerminatedPath, WindowsError> WithoutPrefixIfSame(LookupSystem& system,
                                                                const TerminatedPath& path,
                                                                std::u16string_view form) {
  std::optional<TerminatedPath> shorter = TerminatedPath::From(form);
  if (!shorter) {
    return path;
  }
  const std::expected<Path, WindowsError> full = system.FullPathName(*shorter);
  if (!full) {
    return std::unexpected(full.error());
  }
  if (*full != form) {
    return path;
  }
  return std::move(*shorter);
}

std::expected<TerminatedPath, ProcessError> LaunchForm(LookupSystem& system,
                                                       const TerminatedPath& path) {
  auto launch = ToLaunchPath(system, path);
  if (!launch) {
    return std::unexpected(ProcessError::FromWindows(launch.error().code));
  }
  return std::move(*launch);
}

std::expected<TerminatedPath, ProcessError> ResolvePath(LookupSystem& system,
                                                        std::u16string_view program) {
  const std::optional<TerminatedPath> path = TerminatedPath::From(program);
  if (!path) {
    return std::unexpected(
        ProcessError::InvalidInput("strings passed to WinAPI cannot contain NULs"));
  }
  // An .exe path is not tested: CreateProcessW reports a missing file itself.
  if (EndsWithIgnoringCase(program, u".exe")) {
    return LaunchForm(system, *path);
  }
  if (std::optional<TerminatedPath> with_exe =
          ProgramExists(system, std::u16string(program) + u".exe")) {
    return std::move(*with_exe);
  }
  return LaunchForm(system, *path);
}

std::expected<TerminatedPath, ProcessError> SearchBareName(LookupSystem& system,
                                                           std::u16string_view name) {
  if (name.find(u'\0') != std::u16string_view::npos) {
    return std::unexpected(ProcessError::InvalidInput(kNulInData));
  }
  const std::u16string file = name.find(u'.') == std::u16string_view::npos
                                  ? std::u16string(name) + u".exe"
                                  : std::u16string(name);
  // A directory that is not absolute ("", ".", "bin", "C:") would be a search of the current one.
  auto found_in = [&](const std::optional<Path>& directory) -> std::optional<TerminatedPath> {
    return directory && IsAbsolutePath(*directory)
               ? ProgramExists(system, JoinPath(*directory, file))
               : std::nullopt;
  };
  for (auto fixed : {&LookupSystem::OwnDirectory, &LookupSystem::SystemDirectory,
                     &LookupSystem::WindowsDirectory}) {
    if (auto found = found_in((system.*fixed)())) {
      return std::move(*found);
    }
  }
  if (const std::optional<std::u16string> variable = system.SearchPathVariable()) {
    for (const Path& entry : SplitSearchPath(*variable)) {
      if (auto found = found_in(entry)) {
        return std::move(*found);
      }
    }
  }
  return std::unexpected(ProcessError::NotFound("program not found"));
}

std::expected<void, ProcessError> AppendArgument(std::u16string& line,
                                                 std::u16string_view argument) {
  if (argument.find(u'\0') != std::u16string_view::npos) {
    return std::unexpected(ProcessError::InvalidInput(kNulInData));
  }
  const bool quoted =
      argument.empty() || argument.find_first_of(u" \t") != std::u16string_view::npos;
  if (quoted) {
    line.push_back(u'"');
  }
  std::size_t backslashes = 0;
  for (const char16_t unit : argument) {
    if (unit == u'\\') {
      ++backslashes;
    } else {
      if (unit == u'"') {
        // The backslashes before a quote are doubled, and one more escapes the quote itself.
        line.append(backslashes + 1, u'\\');
      }
      backslashes = 0;
    }
    line.push_back(unit);
  }
  if (quoted) {
    // Trailing backslashes would otherwise escape the closing quote.
    line.append(backslashes, u'\\');
    line.push_back(u'"');
  }
  return {};
}

}  // namespace

std::vector<Path> SplitSearchPath(std::u16string_view variable) {
  std::vector<Path> entries;
  Path entry;
  bool quoted = false;
  for (const char16_t unit : variable) {
    if (unit == u'"') {
      quoted = !quoted;
    } else if (unit == u';' && !quoted) {
      if (!entry.empty()) {
        entries.push_back(std::move(entry));
      }
      entry.clear();
    } else {
      entry.push_back(unit);
    }
  }
  if (!entry.empty()) {
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::expected<TerminatedPath, WindowsError> ToLaunchPath(LookupSystem& system,
                                                         const TerminatedPath& path) {
  const std::u16string_view units = path.Units();
  if (units.size() + 1 > kMaxPath) {
    return path;
  }
  if (units.starts_with(kVerbatimUncPrefix)) {
    return WithoutPrefixIfSame(system, path,
                               u"\\" + std::u16string(units.substr(kVerbatimUncPrefix.size() - 1)));
  }
  if (units.starts_with(kVerbatimPrefix) && units.size() >= 7 && units[5] == u':' &&
      units[6] == u'\\') {
    return WithoutPrefixIfSame(system, path, std::u16string(units.substr(kVerbatimPrefix.size())));
  }
  return system.ExtendedLengthPath(path);
}

std::optional<TerminatedPath> ProgramExists(LookupSystem& system, std::u16string_view path) {
  const std::optional<TerminatedPath> terminated = TerminatedPath::From(path);
  if (!terminated) {
    return std::nullopt;
  }
  std::expected<TerminatedPath, WindowsError> launch = ToLaunchPath(system, *terminated);
  if (!launch || !system.HasAttributes(*launch)) {
    return std::nullopt;
  }
  return std::move(*launch);
}

std::expected<TerminatedPath, ProcessError> ResolveProgram(LookupSystem& system,
                                                           std::u16string_view program) {
  // Inside a \\?\ path Windows takes "/" for an ordinary character.
  const bool verbatim = program.starts_with(kVerbatimPrefix);
  auto is_separator = [&](char16_t unit) { return unit == u'\\' || (!verbatim && unit == u'/'); };
  if (program.empty() || is_separator(program.back())) {
    return std::unexpected(ProcessError::InvalidInput("program path has no file name"));
  }
  for (const char16_t unit : program) {
    if (is_separator(unit)) {
      return ResolvePath(system, program);
    }
  }
  return SearchBareName(system, program);
}

std::expected<TerminatedPath, ProcessError> ResolveLaunchable(LookupSystem& system,
                                                              std::u16string_view program) {
  std::expected<TerminatedPath, ProcessError> application = ResolveProgram(system, program);
  if (application && IsBatchFile(application->Units())) {
    return std::unexpected(ProcessError::InvalidInput("batch files cannot be run safely"));
  }
  return application;
}

std::expected<LaunchPlan, ProcessError> PrepareLaunch(LookupSystem& system,
                                                      std::u16string_view program,
                                                      std::span<const std::u16string> arguments) {
  std::expected<TerminatedPath, ProcessError> application = ResolveLaunchable(system, program);
  if (!application) {
    return std::unexpected(application.error());
  }
  std::expected<std::u16string, ProcessError> line = BuildCommandLine(program, arguments);
  if (!line) {
    return std::unexpected(line.error());
  }
  return LaunchPlan{std::move(*application), std::move(*line)};
}

std::expected<std::u16string, ProcessError> QuoteArguments(
    std::span<const std::u16string> arguments) {
  std::u16string quoted;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i > 0) {
      quoted.push_back(u' ');
    }
    if (auto appended = AppendArgument(quoted, arguments[i]); !appended) {
      return std::unexpected(appended.error());
    }
  }
  return quoted;
}

std::expected<std::u16string, ProcessError> BuildCommandLine(
    std::u16string_view program, std::span<const std::u16string> arguments) {
  std::expected<std::u16string, ProcessError> quoted = QuoteArguments(arguments);
  if (!quoted) {
    return std::unexpected(quoted.error());
  }
  std::u16string line;
  line.push_back(u'"');
  line.append(program);
  line.push_back(u'"');
  if (!quoted->empty()) {
    line.push_back(u' ');
    line.append(*quoted);
  }
  line.push_back(u'\0');
  return line;
}

}  // namespace ltf
