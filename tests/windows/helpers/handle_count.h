#pragma once

// Our own open handles, counted from the system's handle table: GetProcessHandleCount under
// Wine always answers 0.
#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <vector>

namespace ltf::testing {

struct HandleTableEntry {
  USHORT process_id;  // the low 16 bits only
  USHORT creator_back_trace_index;
  UCHAR object_type_index;
  UCHAR attributes;
  USHORT value;
  PVOID object;
  ULONG granted_access;
};

struct HandleTable {
  ULONG count;
  HandleTableEntry entries[1];
};

inline std::size_t CountOwnHandles() {
  constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
  constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
  std::vector<unsigned char> buffer(1 << 16);
  NTSTATUS status;
  ULONG needed = 0;
  while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                            static_cast<ULONG>(buffer.size()), &needed)) ==
         kInfoLengthMismatch) {
    buffer.resize(std::max<std::size_t>(needed + 4096, buffer.size() * 2));
  }
  if (status < 0) {
    return 0;
  }
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  const USHORT self = static_cast<USHORT>(GetCurrentProcessId());
  std::size_t own = 0;
  for (ULONG i = 0; i < table->count; ++i) {
    own += table->entries[i].process_id == self ? 1 : 0;
  }
  return own;
}

}  // namespace ltf::testing
