#pragma once

#include <cstdint>
#include <expected>

namespace ltf {

// A failed Windows call of the window code, as an HRESULT. The window code discards it at once;
// it exists so that a failure can never be mistaken for a value.
struct WindowCallError {
  std::int32_t hresult;
};

// HRESULT_FROM_WIN32, except that a last error of 0 gives E_FAIL: the call did fail, and 0 would
// read as S_OK.
constexpr WindowCallError ErrorFromLastError(std::uint32_t code) {
  if (code == 0) {
    return {static_cast<std::int32_t>(0x80004005u)};
  }
  if (static_cast<std::int32_t>(code) < 0) {
    return {static_cast<std::int32_t>(code)};
  }
  return {static_cast<std::int32_t>((code & 0xFFFFu) | 0x80070000u)};
}

enum class HandleFailure {
  Null,
  // LoadIconW and LoadCursorW: a handle with all bits set is no handle either.
  NullOrAllBits,
};

template <class Handle>
std::expected<Handle, WindowCallError> HandleOrError(Handle handle, HandleFailure failure,
                                                     std::uint32_t last_error) {
  const bool all_bits = reinterpret_cast<std::uintptr_t>(handle) == ~std::uintptr_t{0};
  if (handle == nullptr || (failure == HandleFailure::NullOrAllBits && all_bits)) {
    return std::unexpected(ErrorFromLastError(last_error));
  }
  return handle;
}

inline std::expected<void, WindowCallError> BoolOrError(int result, std::uint32_t last_error) {
  if (result == 0) {
    return std::unexpected(ErrorFromLastError(last_error));
  }
  return {};
}

}  // namespace ltf
