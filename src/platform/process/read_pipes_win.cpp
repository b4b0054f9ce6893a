#include "platform/process/read_pipes_win.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>

namespace ltf {

namespace {

enum class ReaderState { NotReading, Reading, ReadAtOnce };

// Lives on the heap so that the kernel's view of `overlapped` and `bytes` never moves.
struct PipeReader {
  UniqueHandle pipe;
  UniqueHandle event;
  OVERLAPPED overlapped{};
  std::vector<unsigned char> bytes;  // the first `length` are filled; the rest is free space
  std::size_t length = 0;
  DWORD ready = 0;
  ReaderState state = ReaderState::NotReading;
  bool at_end = false;
};

bool IsEndOfPipe(DWORD error) {
  return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE;
}

std::expected<void, WindowsError> TakeResult(PipeReader& reader) {
  DWORD count = 0;
  if (reader.state == ReaderState::ReadAtOnce) {
    count = reader.ready;
  } else if (reader.state == ReaderState::Reading &&
             !GetOverlappedResult(reader.pipe.Get(), &reader.overlapped, &count, TRUE)) {
    const DWORD error = GetLastError();
    reader.state = ReaderState::NotReading;
    if (!IsEndOfPipe(error)) {
      return std::unexpected(WindowsError{error});
    }
    count = 0;
  } else if (reader.state == ReaderState::NotReading) {
    return {};
  }
  reader.state = ReaderState::NotReading;
  reader.length += count;
  reader.at_end = count == 0;
  return {};
}

std::expected<void, WindowsError> ScheduleRead(PipeReader& reader) {
  if (reader.length == reader.bytes.size()) {
    reader.bytes.resize(std::max<std::size_t>(16, reader.bytes.size() * 2));
  }
  const std::size_t space = reader.bytes.size() - reader.length;
  const DWORD request = static_cast<DWORD>(std::min<std::size_t>(space, MAXDWORD));
  DWORD count = 0;
  if (ReadFile(reader.pipe.Get(), reader.bytes.data() + reader.length, request, &count,
               &reader.overlapped)) {
    // Done at once; the event stays signalled, so the next wait serves this reader again.
    reader.at_end = count == 0;
    reader.ready = count;
    reader.state = count == 0 ? ReaderState::NotReading : ReaderState::ReadAtOnce;
    return {};
  }
  const DWORD error = GetLastError();
  if (error == ERROR_IO_PENDING) {
    reader.state = ReaderState::Reading;
    return {};
  }
  if (error == ERROR_BROKEN_PIPE) {
    reader.at_end = true;
    return {};
  }
  return std::unexpected(WindowsError{error});
}

std::expected<void, WindowsError> Serve(PipeReader& reader) {
  if (auto taken = TakeResult(reader); !taken || reader.at_end) {
    return taken;
  }
  return ScheduleRead(reader);
}

std::expected<void, WindowsError> Finish(PipeReader& reader) {
  while (!reader.at_end) {
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
  DWORD count = 0;
  bool finished = CancelIo(reader->pipe.Get()) != FALSE;
  if (finished && !GetOverlappedResult(reader->pipe.Get(), &reader->overlapped, &count, TRUE)) {
    const DWORD error = GetLastError();
    finished = IsEndOfPipe(error) || error == ERROR_OPERATION_ABORTED;
  }
  if (!finished) {
    reader->pipe.Reset();
    reader->event.Reset();
    reader.release();
  }
}

std::expected<std::unique_ptr<PipeReader>, WindowsError> MakeReader(
    UniqueHandle pipe, std::vector<unsigned char>& buffer) {
  auto reader = std::make_unique<PipeReader>();
  reader->pipe = std::move(pipe);
  // Created signalled, so the first wait serves the reader and starts its first read.
  reader->event.Reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
  if (!reader->event.Valid()) {
    return std::unexpected(WindowsError{GetLastError()});
  }
  reader->overlapped.hEvent = reader->event.Get();
  reader->bytes = std::move(buffer);
  reader->length = reader->bytes.size();
  return reader;
}

}  // namespace

std::expected<void, WindowsError> ReadPipesToEnd(UniqueHandle output_end,
                                                 std::vector<unsigned char>& output,
                                                 UniqueHandle error_end,
                                                 std::vector<unsigned char>& error) {
  std::array<std::vector<unsigned char>*, 2> buffers{&output, &error};
  std::array<std::unique_ptr<PipeReader>, 2> readers;
  std::array<UniqueHandle, 2> ends{std::move(output_end), std::move(error_end)};
  for (std::size_t i = 0; i < 2; ++i) {
    auto made = MakeReader(std::move(ends[i]), *buffers[i]);
    if (!made) {
      return std::unexpected(made.error());
    }
    readers[i] = std::move(*made);
  }

  const HANDLE events[] = {readers[0]->event.Get(), readers[1]->event.Get()};
  std::expected<void, WindowsError> result;
  for (;;) {
    const DWORD signalled = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (signalled > WAIT_OBJECT_0 + 1) {
      result = std::unexpected(WindowsError{GetLastError()});
      break;
    }
    const std::size_t served = signalled - WAIT_OBJECT_0;
    result = Serve(*readers[served]);
    if (!result) {
      break;
    }
    if (readers[served]->at_end) {
      result = Finish(*readers[1 - served]);
      break;
    }
  }

  if (!result) {
    GiveUp(readers[0]);
    GiveUp(readers[1]);
    return result;
  }
  for (std::size_t i = 0; i < 2; ++i) {
    readers[i]->bytes.resize(readers[i]->length);
    *buffers[i] = std::move(readers[i]->bytes);
  }
  return {};
}

}  // namespace ltf
