#pragma once

#include <windows.h>

#include "window/call_result.h"

namespace ltf {

// Wrap the Windows call itself, e.g. HandleResult(LoadIconW(...)), so that the last error is
// read before anything else can change it.
template <class Handle>
std::expected<Handle, WindowCallError> HandleResult(Handle handle,
                                                    HandleFailure failure = HandleFailure::Null) {
  const DWORD last_error = GetLastError();
  return HandleOrError(handle, failure, last_error);
}

inline std::expected<void, WindowCallError> BoolResult(BOOL result) {
  const DWORD last_error = GetLastError();
  return BoolOrError(result, last_error);
}

}  // namespace ltf
