#pragma once

// Scratch directories and child programs for the Windows-side path and command-line tests.
#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths/path_services.h"
#include "platform/unique_handle_win.h"

namespace ltf::testing {

inline const wchar_t* Wide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline std::u16string Units(const wchar_t* text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text));
}

inline std::u16string Verbatim(std::u16string_view absolute) {
  return u"\\\\?\\" + std::u16string(absolute);
}

// `directory` in the \\?\ form, so trees deeper than MAX_PATH go too. Links are removed, never
// followed.
inline void RemoveTree(const std::u16string& directory) {
  WIN32_FIND_DATAW data;
  {
    const UniqueFindHandle search(FindFirstFileW(Wide(directory + u"\\*"), &data));
    for (bool more = search.Valid(); more; more = FindNextFileW(search.Get(), &data) != FALSE) {
      const std::u16string name = Units(data.cFileName);
      if (name == u"." || name == u"..") {
        continue;
      }
      const std::u16string child = directory + u"\\" + name;
      const DWORD attributes = data.dwFileAttributes;
      if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        RemoveTree(child);
      } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveDirectoryW(Wide(child));
      } else {
        DeleteFileW(Wide(child));
      }
    }
  }
  RemoveDirectoryW(Wide(directory));
}

// A fresh directory under the temporary directory, removed with all it holds.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    static int counter = 0;
    path_ = std::u16string(reinterpret_cast<const char16_t*>(temp), length) + u"ltf-" +
            ToUnits(GetCurrentProcessId()) + u"-" + ToUnits(++counter);
    created_ = CreateDirectoryW(Wide(path_), nullptr) != FALSE;
  }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  ~ScratchDirectory() {
    if (created_) {
      RemoveTree(Verbatim(path_));
    }
  }

  bool Created() const { return created_; }
  // Absolute, without a trailing separator.
  const std::u16string& Path() const { return path_; }

 private:
  static std::u16string ToUnits(unsigned long value) {
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
  }

  std::u16string path_;
  bool created_ = false;
};

inline bool MakeDirectory(const std::u16string& absolute) {
  return CreateDirectoryW(Wide(Verbatim(absolute)), nullptr) != FALSE;
}

inline bool MakeFile(const std::u16string& absolute) {
  const UniqueHandle file(CreateFileW(Wide(Verbatim(absolute)), GENERIC_WRITE, 0, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid();
}

inline bool CopyInto(const std::u16string& source, const std::u16string& target) {
  return CopyFileW(Wide(Verbatim(source)), Wide(Verbatim(target)), TRUE) != FALSE;
}

// A file built beside the running test program.
inline std::u16string BesideThisProgram(std::u16string_view name) {
  const std::expected<ltf::Path, WindowsError> self = ExecutablePath();
  return self ? JoinPath(ParentPath(*self).value_or(u"."), name) : std::u16string(name);
}

struct ChildRun {
  DWORD exit_code = 0;
  std::string output;  // standard output and standard error, as written
};

// Reads what a started child writes until it ends, then its exit code.
inline ChildRun Collect(UniqueHandle reader, const UniqueHandle& process) {
  ChildRun run;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(reader.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    run.output.append(chunk, read);
  }
  WaitForSingleObject(process.Get(), INFINITE);
  GetExitCodeProcess(process.Get(), &run.exit_code);
  return run;
}

// A pipe whose write end a child inherits and whose read end stays ours.
struct OutputPipe {
  UniqueHandle reader;
  UniqueHandle writer;

  bool Open() {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return CreatePipe(reader.Receive(), writer.Receive(), &inherit, 0) &&
           SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0);
  }
};

// Starts `application` with exactly `command_line` and collects what it writes until it ends.
inline std::optional<ChildRun> RunAndCapture(const std::u16string& application,
                                             std::u16string command_line) {
  OutputPipe pipe;
  if (!pipe.Open()) {
    return std::nullopt;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = pipe.writer.Get();
  startup.hStdError = pipe.writer.Get();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(Wide(application), reinterpret_cast<wchar_t*>(command_line.data()), nullptr,
                      nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
    return std::nullopt;
  }
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  // Our copy of the write end must go, or the read never sees the end of the output.
  pipe.writer.Reset();
  return Collect(std::move(pipe.reader), process);
}

// The fields a helper wrote, each ended by a 0 byte.
inline std::vector<std::string> SplitFields(const std::string& output) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t end; (end = output.find('\0', start)) != std::string::npos; start = end + 1) {
    fields.push_back(output.substr(start, end - start));
  }
  return fields;
}

}  // namespace ltf::testing
