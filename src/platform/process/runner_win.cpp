// Child processes through plain CreateProcessW with anonymous pipes.
#include <windows.h>

#include <mutex>
#include <optional>
#include <thread>

#include "platform/paths/path_model.h"
#include "platform/paths/path_services.h"
#include "platform/process/command_line_builder.h"
#include "platform/process/runner.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_units_win.h"

namespace ltf {

namespace {

ProcessError LastError() {
  return ProcessError::FromWindows(GetLastError());
}

bool IsFile(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(AsWide(path.c_str()));
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A bare name is looked for beside the launcher first, so a stand-in there wins over the
// system's program; then along the usual search path.
std::expected<std::u16string, ProcessError> ResolveProgram(const std::u16string& program) {
  if (program.find(u'\0') != std::u16string::npos) {
    return std::unexpected(ProcessError::InvalidInput("nul byte found in provided data"));
  }
  if (program.find_first_of(u"\\/") != std::u16string::npos) {
    return program;
  }
  const std::u16string file =
      program.find(u'.') == std::u16string::npos ? program + u".exe" : program;
  if (auto self = ExecutablePath()) {
    if (auto directory = ParentPath(*self)) {
      std::u16string candidate = JoinPath(*directory, file);
      if (IsFile(candidate)) {
        return candidate;
      }
    }
  }
  std::u16string found(MAX_PATH, u'\0');
  for (;;) {
    wchar_t* buffer = AsWide(found.data());
    const DWORD length = SearchPathW(nullptr, AsWide(file.c_str()), nullptr,
                                     static_cast<DWORD>(found.size()), buffer, nullptr);
    if (length == 0) {
      return std::unexpected(ProcessError::NotFound("program not found"));
    }
    if (length < found.size()) {
      found.resize(length);
      return found;
    }
    found.resize(length);
  }
}

struct StandardHandles {
  UniqueHandle input, output, error;
};

struct ChildProcess {
  UniqueHandle process, thread;
  UniqueHandle output_reader, error_reader;
};

std::mutex& SpawnLock() {
  static std::mutex lock;
  return lock;
}

std::expected<void, ProcessError> MakePipe(UniqueHandle& parent_reader,
                                           UniqueHandle& child_writer) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  if (!CreatePipe(parent_reader.Receive(), child_writer.Receive(), &inherit, 0)) {
    return std::unexpected(LastError());
  }
  // Only the child's end may be inherited, or the pipe would never report its end.
  if (!SetHandleInformation(parent_reader.Get(), HANDLE_FLAG_INHERIT, 0)) {
    return std::unexpected(LastError());
  }
  return {};
}

std::expected<UniqueHandle, ProcessError> DuplicateForChild(DWORD id) {
  const HANDLE own = GetStdHandle(id);
  if (own == nullptr || own == INVALID_HANDLE_VALUE) {
    return UniqueHandle();
  }
  UniqueHandle copy;
  if (!DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), copy.Receive(), 0, TRUE,
                       DUPLICATE_SAME_ACCESS)) {
    return std::unexpected(LastError());
  }
  return copy;
}

std::expected<ChildProcess, ProcessError> SpawnChild(const ProcessCommand& command, bool capture) {
  auto application = ResolveProgram(command.program);
  if (!application) {
    return std::unexpected(application.error());
  }
  auto line = BuildCommandLine(command.program, command.arguments);
  if (!line) {
    return std::unexpected(line.error());
  }

  // Held while inheritable handles exist, so no other child can inherit them by accident.
  std::lock_guard guard(SpawnLock());
  ChildProcess child;
  StandardHandles handles;
  if (capture) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    handles.input.Reset(CreateFileW(L"\\\\.\\NUL", GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    &inherit, OPEN_EXISTING, 0, nullptr));
    if (!handles.input.Valid()) {
      return std::unexpected(LastError());
    }
    if (auto made = MakePipe(child.output_reader, handles.output); !made) {
      return std::unexpected(made.error());
    }
    if (auto made = MakePipe(child.error_reader, handles.error); !made) {
      return std::unexpected(made.error());
    }
  } else {
    const DWORD ids[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    UniqueHandle* slots[] = {&handles.input, &handles.output, &handles.error};
    for (int i = 0; i < 3; ++i) {
      auto copy = DuplicateForChild(ids[i]);
      if (!copy) {
        return std::unexpected(copy.error());
      }
      *slots[i] = std::move(*copy);
    }
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (handles.input.Valid() || handles.output.Valid() || handles.error.Valid()) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = handles.input.Get();
    startup.hStdOutput = handles.output.Get();
    startup.hStdError = handles.error.Get();
  }
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(AsWide(application->c_str()), AsWide(line->data()), nullptr, nullptr, TRUE,
                      CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup, &info)) {
    return std::unexpected(LastError());
  }
  child.process.Reset(info.hProcess);
  child.thread.Reset(info.hThread);
  return child;
}

// Appends everything from the pipe until its writers have all closed it.
void ReadToEnd(HANDLE pipe, std::vector<unsigned char>& bytes) {
  unsigned char chunk[4096];
  DWORD read = 0;
  while (ReadFile(pipe, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    bytes.insert(bytes.end(), chunk, chunk + read);
  }
}

}  // namespace

std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& command) {
  auto child = SpawnChild(command, /*capture=*/true);
  if (!child) {
    return std::unexpected(child.error());
  }
  ProcessOutput output;
  {
    // Both pipes drain at once, so a child filling one while we wait on the other cannot stall.
    std::jthread error_drain([&] { ReadToEnd(child->error_reader.Get(), output.standard_error); });
    ReadToEnd(child->output_reader.Get(), output.standard_output);
  }
  if (WaitForSingleObject(child->process.Get(), INFINITE) != WAIT_OBJECT_0) {
    return std::unexpected(LastError());
  }
  DWORD status = 0;
  if (!GetExitCodeProcess(child->process.Get(), &status)) {
    return std::unexpected(LastError());
  }
  output.status = status;
  return output;
}

std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command) {
  auto child = SpawnChild(command, /*capture=*/false);
  if (!child) {
    return std::unexpected(child.error());
  }
  return {};
}

}  // namespace ltf
