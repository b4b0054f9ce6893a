#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "platform/process/pipe_progress.h"
#include "platform/process/pipes_win.h"

namespace ltf {

extern "C" NTSTATUS NTAPI NtCreateNamedPipeFile(
    PHANDLE file, ULONG desired_access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io_status,
    ULONG share_access, ULONG create_disposition, ULONG create_options, ULONG pipe_type,
    ULONG read_mode, ULONG completion_mode, ULONG maximum_instances, ULONG inbound_quota,
    ULONG outbound_quota, PLARGE_INTEGER default_timeout);

// The capture loop takes a wait's result as the index of the signalled event.
static_assert(WAIT_OBJECT_0 == 0);

namespace {

constexpr ULONG kQuotaBytes = 65536;
constexpr LONGLONG kDefaultTimeout = -500000;  // 50 ms, relative, in 100 ns units

struct NtObject {
  UNICODE_STRING name{};
  OBJECT_ATTRIBUTES attributes{};

  NtObject(HANDLE root, const wchar_t* text, USHORT bytes, ULONG flags) {
    name.Buffer = const_cast<wchar_t*>(text);
    name.Length = bytes;
    name.MaximumLength = bytes;
    InitializeObjectAttributes(&attributes, &name, flags, root, nullptr);
  }
};

WindowsError FromStatus(NTSTATUS status) {
  return WindowsError{static_cast<std::uint32_t>(RtlNtStatusToDosError(status))};
}

}  // namespace

// CreatePipe cannot make an end for overlapped reads, so the pipe is made through ntdll.
std::expected<ChildPipe, WindowsError> CreateChildPipe(bool parent_reads) {
  IO_STATUS_BLOCK io{};
  UniqueHandle root;
  NtObject root_name(nullptr, L"\\??\\PIPE\\", 18, 0);
  NTSTATUS status =
      NtOpenFile(root.Receive(), GENERIC_READ | SYNCHRONIZE, &root_name.attributes, &io,
                 FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_SYNCHRONOUS_IO_NONALERT);
  if (status < 0) {
    return std::unexpected(FromStatus(status));
  }

  ChildPipe pipe;
  // An empty name below the root: the pipe has no name anyone else could open.
  NtObject parent_name(root.Get(), nullptr, 0, 0);
  LARGE_INTEGER timeout;
  timeout.QuadPart = kDefaultTimeout;
  // CreateOptions 0 makes the parent's end asynchronous.
  status = NtCreateNamedPipeFile(
      pipe.parent_end.Receive(), (parent_reads ? GENERIC_READ : GENERIC_WRITE) | SYNCHRONIZE,
      &parent_name.attributes, &io, parent_reads ? FILE_SHARE_WRITE : FILE_SHARE_READ, FILE_CREATE,
      0, 0, 0, 0, 1, kQuotaBytes, kQuotaBytes, &timeout);
  if (status < 0) {
    return std::unexpected(FromStatus(status));
  }

  NtObject child_name(pipe.parent_end.Get(), nullptr, 0, OBJ_INHERIT);
  const ACCESS_MASK child_access = parent_reads ? GENERIC_WRITE | SYNCHRONIZE | FILE_READ_ATTRIBUTES
                                                : GENERIC_READ | SYNCHRONIZE;
  status = NtOpenFile(pipe.child_end.Receive(), child_access, &child_name.attributes, &io, 0,
                      FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE);
  if (status < 0) {
    return std::unexpected(FromStatus(status));
  }
  return pipe;
}

namespace {

enum class ReaderState { NotReading, Reading, ReadAtOnce };

// Lives on the heap so that the kernel's view of `overlapped` and `bytes` never moves.
struct PipeReader {
  UniqueHandle pipe;
  UniqueHandle event;
  OVERLAPPED overlapped{};
  std::vector<unsigned char> bytes;  // the first `progress.length` are filled; the rest is free
  PipeProgress progress;
  DWORD ready{};
  ReaderState state = ReaderState::NotReading;
};

std::expected<void, WindowsError> TakeResult(PipeReader& reader) {
  switch (std::exchange(reader.state, ReaderState::NotReading)) {
    case ReaderState::NotReading:
      return {};
    case ReaderState::ReadAtOnce:
      return TakeFinishedRead(reader.progress, reader.ready);
    case ReaderState::Reading: {
      DWORD count{};
      if (!GetOverlappedResult(reader.pipe.Get(), &reader.overlapped, &count, TRUE)) {
        return TakeFinishedRead(reader.progress, std::unexpected(LastError()));
      }
      return TakeFinishedRead(reader.progress, count);
    }
  }
  return {};
}

std::expected<void, WindowsError> ScheduleRead(PipeReader& reader) {
  if (reader.progress.length == reader.bytes.size()) {
    reader.bytes.resize(std::max<std::size_t>(16, reader.bytes.size() * 2));
  }
  const std::size_t space = reader.bytes.size() - reader.progress.length;
  const DWORD request = static_cast<DWORD>(std::min<std::size_t>(space, MAXDWORD));
  DWORD count{};
  if (ReadFile(reader.pipe.Get(), reader.bytes.data() + reader.progress.length, request, &count,
               &reader.overlapped)) {
    // Done at once; the event stays signalled, so the next wait serves this reader again.
    reader.ready = count;
    reader.state = ReaderState::ReadAtOnce;
    return {};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    reader.state = ReaderState::Reading;
    return {};
  }
  return TakeFinishedRead(reader.progress, std::unexpected(WindowsError{error}));
}

std::expected<void, WindowsError> Serve(PipeReader& reader) {
  if (auto taken = TakeResult(reader); !taken || reader.progress.at_end) {
    return taken;
  }
  return ScheduleRead(reader);
}

std::expected<void, WindowsError> Finish(PipeReader& reader) {
  while (!reader.progress.at_end) {
    if (auto served = Serve(reader); !served) {
      return served;
    }
  }
  return {};
}

// A read still pending must end before its memory may go. When the kernel does not confirm
// that, the reader is leaked rather than freed under a write.
void GiveUp(std::unique_ptr<PipeReader>& reader) {
  if (!reader || reader->state != ReaderState::Reading) {
    return;
  }
  DWORD count{};
  bool finished = CancelIo(reader->pipe.Get()) != FALSE;
  if (finished && !GetOverlappedResult(reader->pipe.Get(), &reader->overlapped, &count, TRUE)) {
    const DWORD error = GetLastError();
    finished = IsEndOfPipe(error) || error == ERROR_OPERATION_ABORTED;
  }
  if (!finished) {
    reader->pipe.Reset();
    reader->event.Reset();
    (void)reader.release();
  }
}

std::expected<std::unique_ptr<PipeReader>, WindowsError> MakeReader(
    UniqueHandle pipe, std::vector<unsigned char>& buffer) {
  auto reader = std::make_unique<PipeReader>();
  reader->pipe = std::move(pipe);
  // Created signalled, so the first wait serves the reader and starts its first read.
  reader->event.Reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  if (!reader->event.Valid()) {
    return std::unexpected(LastError());
  }
  reader->overlapped.hEvent = reader->event.Get();
  reader->bytes = std::move(buffer);
  reader->progress.length = reader->bytes.size();
  return reader;
}

}  // namespace

std::expected<void, WindowsError> ReadPipesToEnd(UniqueHandle output_end,
                                                 std::vector<unsigned char>& output,
                                                 UniqueHandle error_end,
                                                 std::vector<unsigned char>& error) {
  std::array buffers{&output, &error};
  std::array ends{std::move(output_end), std::move(error_end)};
  std::array<std::unique_ptr<PipeReader>, buffers.size()> readers;
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    auto made = MakeReader(std::move(ends[i]), *buffers[i]);
    if (!made) {
      return std::unexpected(made.error());
    }
    readers[i] = std::move(*made);
  }

  const HANDLE events[] = {readers[0]->event.Get(), readers[1]->event.Get()};
  std::expected<void, WindowsError> result;
  for (;;) {
    // The result is the index of the signalled event, or WAIT_FAILED.
    const std::size_t served = WaitForMultipleObjects(std::size(events), events, FALSE, INFINITE);
    if (served >= std::size(events)) {
      result = std::unexpected(LastError());
      break;
    }
    result = Serve(*readers[served]);
    if (!result) {
      break;
    }
    if (readers[served]->progress.at_end) {
      result = Finish(*readers[1 - served]);
      break;
    }
  }

  if (!result) {
    GiveUp(readers[0]);
    GiveUp(readers[1]);
    return result;
  }
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    readers[i]->bytes.resize(readers[i]->progress.length);
    *buffers[i] = std::move(readers[i]->bytes);
  }
  return {};
}

}  // namespace ltf
