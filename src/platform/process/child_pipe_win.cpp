// CreatePipe cannot make an end for overlapped reads, so the pipe is made through ntdll.
#include "platform/process/child_pipe_win.h"

#include <windows.h>
#include <winternl.h>

namespace ltf {

extern "C" NTSTATUS NTAPI NtCreateNamedPipeFile(
    PHANDLE file, ULONG desired_access, POBJECT_ATTRIBUTES attributes, PIO_STATUS_BLOCK io_status,
    ULONG share_access, ULONG create_disposition, ULONG create_options, ULONG pipe_type,
    ULONG read_mode, ULONG completion_mode, ULONG maximum_instances, ULONG inbound_quota,
    ULONG outbound_quota, PLARGE_INTEGER default_timeout);

namespace {

constexpr ULONG kFileCreate = 2;                // FILE_CREATE
constexpr ULONG kSynchronousIoNonAlert = 0x20;  // FILE_SYNCHRONOUS_IO_NONALERT
constexpr ULONG kNonDirectoryFile = 0x40;       // FILE_NON_DIRECTORY_FILE
constexpr ULONG kQuotaBytes = 65536;
constexpr LONGLONG kDefaultTimeout = -500000;  // 50 ms, relative, in 100 ns units

struct NtObject {
  UNICODE_STRING name{};
  OBJECT_ATTRIBUTES attributes{};

  NtObject(HANDLE root, const wchar_t* text, USHORT bytes, ULONG flags) {
    name.Buffer = const_cast<wchar_t*>(text);
    name.Length = bytes;
    name.MaximumLength = text ? static_cast<USHORT>(bytes + sizeof(wchar_t)) : 0;
    InitializeObjectAttributes(&attributes, &name, flags, root, nullptr);
  }
};

WindowsError FromStatus(NTSTATUS status) {
  return WindowsError{static_cast<std::uint32_t>(RtlNtStatusToDosError(status))};
}

}  // namespace

std::expected<ChildPipe, WindowsError> CreateChildPipe(bool parent_reads) {
  IO_STATUS_BLOCK io{};
  UniqueHandle root;
  NtObject root_name(nullptr, L"\\??\\PIPE\\", 18, 0);
  NTSTATUS status = NtOpenFile(root.Receive(), GENERIC_READ | SYNCHRONIZE, &root_name.attributes,
                               &io, FILE_SHARE_READ | FILE_SHARE_WRITE, kSynchronousIoNonAlert);
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
      &parent_name.attributes, &io, parent_reads ? FILE_SHARE_WRITE : FILE_SHARE_READ, kFileCreate,
      0, 0, 0, 0, 1, kQuotaBytes, kQuotaBytes, &timeout);
  if (status < 0) {
    return std::unexpected(FromStatus(status));
  }

  NtObject child_name(pipe.parent_end.Get(), nullptr, 0, OBJ_INHERIT);
  const ACCESS_MASK child_access = parent_reads ? GENERIC_WRITE | SYNCHRONIZE | FILE_READ_ATTRIBUTES
                                                : GENERIC_READ | SYNCHRONIZE;
  status = NtOpenFile(pipe.child_end.Receive(), child_access, &child_name.attributes, &io, 0,
                      kSynchronousIoNonAlert | kNonDirectoryFile);
  if (status < 0) {
    return std::unexpected(FromStatus(status));
  }
  return pipe;
}

}  // namespace ltf
