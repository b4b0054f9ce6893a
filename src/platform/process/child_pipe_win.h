#pragma once

#include <expected>

#include "platform/unique_handle_win.h"
#include "platform/windows_error.h"

namespace ltf {

// One unnamed pipe: the parent's end is overlapped and stays ours; the child's end is
// synchronous and inheritable, as console programs expect of their standard handles.
struct ChildPipe {
  UniqueHandle parent_end;
  UniqueHandle child_end;
};

std::expected<ChildPipe, WindowsError> CreateChildPipe(bool parent_reads);

}  // namespace ltf
