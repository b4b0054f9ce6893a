#pragma once

#include <windows.h>

namespace ltf {

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
