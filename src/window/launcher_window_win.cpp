#include <windows.h>

#include "platform/text/wide_string.h"
#include "window/call_result_win.h"
#include "window/launcher_window.h"
#include "window/launcher_window_description.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {

namespace {

static_assert(sizeof(WNDCLASSEXW) == 80);
static_assert(kLauncherClass.background_stock_object == WHITE_BRUSH);
static_assert(kLauncherWindow.style == (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE));
static_assert(kLauncherWindow.x == CW_USEDEFAULT && kLauncherWindow.y == CW_USEDEFAULT);

}  // namespace

void RunLauncherWindow() {
  const HINSTANCE instance = HandleResult(GetModuleHandleW(nullptr)).value_or(nullptr);
  const WideString class_name = ToWideString(kLauncherClass.class_name);
  const HICON icon = HandleResult(LoadIconW(nullptr, MAKEINTRESOURCEW(kLauncherClass.icon_id)),
                                  HandleFailure::NullOrAllBits)
                         .value_or(nullptr);
  const auto background =
      static_cast<HBRUSH>(GetStockObject(kLauncherClass.background_stock_object));
  const HCURSOR cursor =
      HandleResult(LoadCursorW(nullptr, MAKEINTRESOURCEW(kLauncherClass.cursor_id)),
                   HandleFailure::NullOrAllBits)
          .value_or(nullptr);

  WNDCLASSEXW record{};
  record.cbSize = sizeof(record);
  record.style = kLauncherClass.style;
  record.lpfnWndProc = LauncherWindowProc;
  record.cbClsExtra = kLauncherClass.extra_class_bytes;
  record.cbWndExtra = kLauncherClass.extra_window_bytes;
  record.hInstance = instance;
  record.hIcon = icon;
  record.hCursor = cursor;
  record.hbrBackground = background;
  record.lpszClassName = class_name.Wide();
  // A failed registration shows up as the failed creation below.
  (void)RegisterClassExW(&record);

  const WideString title = ToWideString(kLauncherWindow.title);
  const HWND window =
      HandleResult(CreateWindowExW(kLauncherWindow.extended_style, class_name.Wide(), title.Wide(),
                                   kLauncherWindow.style, kLauncherWindow.x, kLauncherWindow.y,
                                   kLauncherWindow.width, kLauncherWindow.height, nullptr, nullptr,
                                   instance, nullptr))
          .value_or(nullptr);
  (void)ShowWindow(window, SW_SHOW);
  (void)SetForegroundWindow(window);
  // Without a window nothing could ever post WM_QUIT, and the loop would wait for ever.
  if (window == nullptr) {
    return;
  }

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace ltf
