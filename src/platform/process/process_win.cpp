// Starting children: the child's standard handles, the two ways of running a child, and the
// session children are started in.
#include <windows.h>

#include <array>

#include "platform/process/pipes_win.h"
#include "platform/process/process.h"
#include "platform/process/program_lookup.h"
#include "platform/unique_handle_win.h"

namespace ltf {

namespace {

enum class ChildHandleKind { Inherit, NullDevice, Pipe };

// Standard input, output and error, in that order.
constexpr DWORD kStandardIds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
constexpr std::size_t kStreams = std::size(kStandardIds);
using HandlePlan = std::array<ChildHandleKind, kStreams>;
constexpr HandlePlan kCapturePlan{ChildHandleKind::NullDevice, ChildHandleKind::Pipe,
                                  ChildHandleKind::Pipe};
constexpr HandlePlan kReleasePlan{ChildHandleKind::Inherit, ChildHandleKind::Inherit,
                                  ChildHandleKind::Inherit};

struct ChildProcess {
  UniqueHandle process;
  UniqueHandle thread;
  std::array<UniqueHandle, kStreams> parent_ends;  // set only for the streams that are pipes
};

struct ChildHandle {
  UniqueHandle child;  // empty: the child gets no handle for this stream
  UniqueHandle parent_end;
};

// Held while inheritable handles exist, so that no other child can inherit them by accident.
// An SRWLOCK needs no construction and cannot fail, unlike std::mutex.
SRWLOCK spawn_lock = SRWLOCK_INIT;

class SpawnLock {
 public:
  SpawnLock() { AcquireSRWLockExclusive(&spawn_lock); }
  ~SpawnLock() { ReleaseSRWLockExclusive(&spawn_lock); }
  SpawnLock(const SpawnLock&) = delete;
  SpawnLock& operator=(const SpawnLock&) = delete;
};

ProcessError LastProcessError() {
  return ProcessError::FromWindows(GetLastError());
}

std::expected<ChildHandle, ProcessError> OpenChildHandle(ChildHandleKind kind, DWORD id) {
  ChildHandle made;
  switch (kind) {
    case ChildHandleKind::Inherit: {
      const HANDLE own = GetStdHandle(id);
      if (!IsHandle(own)) {
        return made;
      }
      // A duplicate, so the child inherits it whether or not our own handle is inheritable. A
      // parent may have named handles it never gave us; the child then gets none for that
      // stream rather than not starting at all.
      HANDLE duplicate{};
      if (DuplicateHandle(GetCurrentProcess(), own, GetCurrentProcess(), &duplicate, 0, TRUE,
                          DUPLICATE_SAME_ACCESS)) {
        made.child.Reset(duplicate);
      }
      return made;
    }
    case ChildHandleKind::NullDevice: {
      SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
      made.child.Reset(CreateFileW(L"\\\\.\\NUL",
                                   id == STD_INPUT_HANDLE ? GENERIC_READ : GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                                   OPEN_EXISTING, 0, nullptr));
      if (!made.child.Valid()) {
        return std::unexpected(LastProcessError());
      }
      return made;
    }
    case ChildHandleKind::Pipe: {
      std::expected<ChildPipe, WindowsError> pipe = CreateChildPipe(id != STD_INPUT_HANDLE);
      if (!pipe) {
        return std::unexpected(ProcessError::FromWindows(pipe.error().code));
      }
      made.child = std::move(pipe->child_end);
      made.parent_end = std::move(pipe->parent_end);
      return made;
    }
  }
  return made;
}

std::expected<ChildProcess, ProcessError> SpawnChild(const ProcessCommand& command,
                                                     const HandlePlan& plan) {
  std::expected<LaunchPlan, ProcessError> launch =
      PrepareLaunch(WindowsLookupSystem(), command.program, command.arguments);
  if (!launch) {
    return std::unexpected(launch.error());
  }

  const SpawnLock held;
  ChildProcess child;
  // The child's ends close when this array goes, before the lock is released, on every path.
  std::array<UniqueHandle, kStreams> child_handles;
  for (std::size_t i = 0; i < plan.size(); ++i) {
    std::expected<ChildHandle, ProcessError> made = OpenChildHandle(plan[i], kStandardIds[i]);
    if (!made) {
      return std::unexpected(made.error());
    }
    child_handles[i] = std::move(made->child);
    child.parent_ends[i] = std::move(made->parent_end);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  if (child_handles[0].Get() || child_handles[1].Get() || child_handles[2].Get()) {
    // Without the flag Windows gives the child its own defaults, which is what we want when
    // we have no standard handles to pass on.
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = child_handles[0].Get();
    startup.hStdOutput = child_handles[1].Get();
    startup.hStdError = child_handles[2].Get();
  }
  PROCESS_INFORMATION created{};
  if (!CreateProcessW(launch->application.Wide(), AsWide(launch->command_line.data()), nullptr,
                      nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr, &startup,
                      &created)) {
    return std::unexpected(LastProcessError());
  }
  child.process.Reset(created.hProcess);
  child.thread.Reset(created.hThread);
  return child;
}

}  // namespace

std::expected<ProcessOutput, ProcessError> RunToCompletion(const ProcessCommand& command) {
  std::expected<ChildProcess, ProcessError> child = SpawnChild(command, kCapturePlan);
  if (!child) {
    return std::unexpected(child.error());
  }
  ProcessOutput output;
  // A failed read leaves the child running with its pipes gone; it is not waited for, since
  // nothing says it will ever end.
  if (auto read = ReadPipesToEnd(std::move(child->parent_ends[1]), output.standard_output,
                                 std::move(child->parent_ends[2]), output.standard_error);
      !read) {
    return std::unexpected(ProcessError::FromWindows(read.error().code));
  }
  if (WaitForSingleObject(child->process.Get(), INFINITE) != WAIT_OBJECT_0) {
    return std::unexpected(LastProcessError());
  }
  DWORD status{};
  if (!GetExitCodeProcess(child->process.Get(), &status)) {
    return std::unexpected(LastProcessError());
  }
  output.status = status;
  return output;
}

std::expected<void, ProcessError> StartAndRelease(const ProcessCommand& command) {
  std::expected<ChildProcess, ProcessError> child = SpawnChild(command, kReleasePlan);
  if (!child) {
    return std::unexpected(child.error());
  }
  return {};
}

std::optional<std::uint32_t> OwnSessionId() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
    return std::nullopt;
  }
  return session;
}

}  // namespace ltf
