#pragma once

// What the window's Windows code shares: the window procedure, the rule for failed calls, and
// the owners of a paint and a brush.
#include <windows.h>

#include <cstdint>
#include <expected>

#include "launcher/launcher.h"

namespace ltf {

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// The System that RunLauncherWindow was given, while it runs: the window carries no creation
// parameter and no extra bytes, so its procedure finds it here.
System& RunningSystem();

// A failed Windows call of the window code, as an HRESULT. The window code discards it at once;
// it exists so that a failure can never be mistaken for a value.
struct WindowCallError {
  HRESULT hresult;
};

// The last error as an HRESULT, except that 0 gives E_FAIL: the call did fail, and 0 would read
// as S_OK.
inline WindowCallError LastCallError() {
  const DWORD code = GetLastError();
  return {code == 0 ? E_FAIL : HRESULT_FROM_WIN32(code)};
}

enum class HandleFailure {
  Null,
  // LoadIconW and LoadCursorW: a handle with all bits set is no handle either.
  NullOrAllBits,
};

// Wrap the Windows call itself, e.g. HandleResult(LoadIconW(...)), so that the last error is
// read before anything else can change it.
template <class Handle>
std::expected<Handle, WindowCallError> HandleResult(Handle handle,
                                                    HandleFailure failure = HandleFailure::Null) {
  const bool all_bits = reinterpret_cast<std::uintptr_t>(handle) == ~std::uintptr_t{0};
  if (handle == nullptr || (failure == HandleFailure::NullOrAllBits && all_bits)) {
    return std::unexpected(LastCallError());
  }
  return handle;
}

inline std::expected<void, WindowCallError> BoolResult(BOOL result) {
  if (!result) {
    return std::unexpected(LastCallError());
  }
  return {};
}

// BeginPaint to EndPaint. The device context is used untested: when BeginPaint fails, the
// drawing calls fail too, without effect.
class PaintScope {
 public:
  explicit PaintScope(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  ~PaintScope() { (void)EndPaint(window_, &paint_); }

  HDC Dc() const { return dc_; }

 private:
  HWND window_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

class SolidBrush {
 public:
  explicit SolidBrush(COLORREF colour) : brush_(CreateSolidBrush(colour)) {}
  SolidBrush(const SolidBrush&) = delete;
  SolidBrush& operator=(const SolidBrush&) = delete;
  ~SolidBrush() {
    if (brush_ != nullptr) {
      (void)DeleteObject(brush_);
    }
  }

  HBRUSH Get() const { return brush_; }

 private:
  HBRUSH brush_;
};

}  // namespace ltf
