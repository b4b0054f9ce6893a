#pragma once

#include <expected>
#include <vector>

#include "platform/unique_handle_win.h"
#include "platform/windows_error.h"

namespace ltf {

// Drains two overlapped pipe ends at once on this thread, appending to the buffers, until both
// report their end; a child that fills one pipe while we wait on the other cannot stall. Both
// ends are closed on return. On an error the buffers' contents are unspecified.
std::expected<void, WindowsError> ReadPipesToEnd(UniqueHandle output_end,
                                                 std::vector<unsigned char>& output,
                                                 UniqueHandle error_end,
                                                 std::vector<unsigned char>& error);

}  // namespace ltf
