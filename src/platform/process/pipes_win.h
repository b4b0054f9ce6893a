#pragma once

// The pipes of a captured run: made with an overlapped parent end, and drained both at once.
#include <expected>
#include <vector>

#include "platform/unique_handle_win.h"

namespace ltf {

// One unnamed pipe: the parent's end is overlapped and stays ours; the child's end is
// synchronous and inheritable, as console programs expect of their standard handles.
struct ChildPipe {
  UniqueHandle parent_end;
  UniqueHandle child_end;
};

std::expected<ChildPipe, WindowsError> CreateChildPipe(bool parent_reads);

// Drains two overlapped pipe ends at once on this thread, appending to the buffers, until both
// report their end; a child that fills one pipe while we wait on the other cannot stall. Both
// ends are closed on return. On an error the buffers' contents are unspecified.
std::expected<void, WindowsError> ReadPipesToEnd(UniqueHandle output_end,
                                                 std::vector<unsigned char>& output,
                                                 UniqueHandle error_end,
                                                 std::vector<unsigned char>& error);

}  // namespace ltf
