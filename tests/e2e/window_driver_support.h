#pragma once

// Looks at and drives the windows of another process from outside it, the way a user or the
// shell would: by class, text, owner and position, through messages and the screen.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/windows_call_win.h"
#include "utf8_text_win.h"

namespace ltf::e2e {

// Failed checks are printed and counted; the driver exits with their number.
class Checks {
 public:
  bool Expect(bool ok, const std::string& what) {
    if (!ok) {
      ++failures_;
      std::printf("FAIL: %s\n", what.c_str());
      std::fflush(stdout);
    }
    return ok;
  }
  int Failures() const { return failures_; }

 private:
  int failures_ = 0;
};

inline std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof(text), "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

inline std::wstring ClassOf(HWND window) {
  wchar_t name[256];
  const int length = GetClassNameW(window, name, 256);
  return {name, static_cast<std::size_t>(length > 0 ? length : 0)};
}

// WM_GETTEXT is carried across processes, so this reads a control's text too.
inline std::wstring TextOf(HWND window) {
  wchar_t text[512];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 10000, &length)) {
    return L"(no answer)";
  }
  return {text, static_cast<std::size_t>(length)};
}

inline std::optional<LRESULT> SendWithin(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT milliseconds = 30000) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, milliseconds,
                           &result)) {
    return std::nullopt;
  }
  return static_cast<LRESULT>(result);
}

// Top-level windows of `process` (0: of any process) whose class is `class_name`, such as
// "#32770" for a message box.
inline std::vector<HWND> TopLevelWindows(DWORD process, std::wstring_view class_name) {
  struct Search {
    DWORD process;
    std::wstring_view class_name;
    std::vector<HWND> found;
  } search{process, class_name, {}};
  EnumWindows(
      [](HWND window, LPARAM context) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(context);
        DWORD owner_process = 0;
        GetWindowThreadProcessId(window, &owner_process);
        if ((s.process == 0 || owner_process == s.process) &&
            _wcsicmp(ClassOf(window).c_str(), std::wstring(s.class_name).c_str()) == 0) {
          s.found.push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline HWND VisibleWindow(DWORD process, std::wstring_view class_name) {
  for (HWND window : TopLevelWindows(process, class_name)) {
    if (IsWindowVisible(window)) {
      return window;
    }
  }
  return nullptr;
}

inline HWND WaitForVisibleWindow(DWORD process, std::wstring_view class_name, DWORD milliseconds) {
  for (DWORD waited = 0; waited < milliseconds; waited += 100) {
    if (HWND window = VisibleWindow(process, class_name)) {
      return window;
    }
    Sleep(100);
  }
  return nullptr;
}

// Direct children from the top of the z-order down: for controls, their creation order.
inline std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

inline RECT RectInParentClient(HWND child) {
  RECT rect{};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

inline std::optional<DWORD> WaitForExit(HANDLE process, DWORD milliseconds) {
  DWORD code = 0;
  if (WaitForSingleObject(process, milliseconds) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process, &code)) {
    return std::nullopt;
  }
  return code;
}

// Pixels of a screen rectangle as 0x00RRGGBB, rows top to bottom.
struct Capture {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;

  std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

inline std::uint32_t Rgb(int red, int green, int blue) {
  return std::uint32_t(red) << 16 | std::uint32_t(green) << 8 | std::uint32_t(blue);
}

// What the screen shows now, read back from the display through the screen's device context.
inline std::optional<Capture> CaptureScreen(const RECT& area) {
  Capture capture;
  capture.width = area.right - area.left;
  capture.height = area.bottom - area.top;
  BITMAPINFO info{};
  info.bmiHeader = {
      sizeof(BITMAPINFOHEADER), capture.width, -capture.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  const HDC screen = GetDC(nullptr);
  const HDC memory = CreateCompatibleDC(screen);
  const HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool copied = false;
  if (memory && bitmap) {
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    copied = BitBlt(memory, 0, 0, capture.width, capture.height, screen, area.left, area.top,
                    SRCCOPY) != FALSE;
    GdiFlush();
    const auto* source = static_cast<const std::uint32_t*>(bits);
    for (int i = 0; copied && i < capture.width * capture.height; ++i) {
      capture.pixels.push_back(source[i] & 0x00FFFFFF);
    }
    SelectObject(memory, previous);
  }
  if (bitmap) {
    DeleteObject(bitmap);
  }
  if (memory) {
    DeleteDC(memory);
  }
  ReleaseDC(nullptr, screen);
  return copied ? std::optional(capture) : std::nullopt;
}

// A 24-bpp BMP, which ImageMagick turns into a PNG.
inline bool SaveBmp(const Capture& capture, const std::wstring& path) {
  const int stride = (capture.width * 3 + 3) & ~3;
  const DWORD image_size = DWORD(stride) * capture.height;
  BITMAPFILEHEADER file{0x4D42,
                        DWORD(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) + image_size, 0,
                        0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
  BITMAPINFOHEADER header{
      sizeof(header), capture.width, capture.height, 1, 24, BI_RGB, image_size, 0, 0, 0, 0};
  std::string data(reinterpret_cast<const char*>(&file), sizeof(file));
  data.append(reinterpret_cast<const char*>(&header), sizeof(header));
  for (int y = capture.height - 1; y >= 0; --y) {
    std::string row(stride, '\0');
    for (int x = 0; x < capture.width; ++x) {
      const std::uint32_t pixel = capture.At(x, y);
      row[3 * x] = char(pixel & 0xFF);
      row[3 * x + 1] = char(pixel >> 8 & 0xFF);
      row[3 * x + 2] = char(pixel >> 16 & 0xFF);
    }
    data += row;
  }
  const UniqueHandle out(
      CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return out.Valid() && WriteFile(out.Get(), data.data(), DWORD(data.size()), &written, nullptr) &&
         written == data.size();
}

}  // namespace ltf::e2e
