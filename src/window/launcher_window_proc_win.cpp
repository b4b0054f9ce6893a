#include <windows.h>

#include "launcher/status_probe.h"
#include "launcher/windows_system.h"
#include "platform/text/wide_string.h"
#include "window/call_result_win.h"
#include "window/launcher_command.h"
#include "window/launcher_layout.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {

namespace {

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
static_assert(kButtonStyle == 0x50010000);

void CreateButtons(HWND window) {
  const HINSTANCE instance = HandleResult(GetModuleHandleW(nullptr)).value_or(nullptr);
  const WideString toggle_label = ToWideString(ToggleLabel(IsCompanionRunning(WindowsSystem())));
  for (const LauncherButton& button : LauncherButtons()) {
    const wchar_t* label =
        button.id == ID_TOGGLE ? toggle_label.Wide() : AsWide(button.fixed_label.data());
    const PixelRect& r = button.bounds;
    // A button that cannot be made is left out; the others are still made.
    (void)HandleResult(
        CreateWindowExW(0, L"BUTTON", label, kButtonStyle, r.x, r.y, r.width, r.height, window,
                        reinterpret_cast<HMENU>(std::uintptr_t{button.id}), instance, nullptr));
  }
}

void FollowUp(HWND window, CommandFollowUp follow_up) {
  switch (follow_up) {
    case CommandFollowUp::Stay:
      break;
    case CommandFollowUp::DestroyWindow:
      // Fails when a nested command has already destroyed the window; nothing to do then.
      (void)BoolResult(DestroyWindow(window));
      break;
    case CommandFollowUp::Quit:
      // The window is left as it is; it goes away with the process.
      PostQuitMessage(0);
      break;
  }
}

}  // namespace

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
      CreateButtons(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      PaintLauncherWindow(window);
      return 0;
    case WM_COMMAND:
      FollowUp(window, HandleLauncherCommand(WindowsSystem(), window, wparam));
      return 0;
    case WM_CTLCOLORBTN:
      // No brush, and no default colours either: the classic push buttons draw their own face.
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace ltf
