// The window procedure: the buttons, the painting, and what the window does after a command.
#include <windows.h>

#include "platform/text/text.h"
#include "window/window.h"
#include "window/window_win.h"

namespace ltf {

namespace {

constexpr DWORD kButtonStyle = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
static_assert(kButtonStyle == 0x50010000);

void CreateButtons(HWND window) {
  const HINSTANCE instance = HandleResult(GetModuleHandleW(nullptr)).value_or(nullptr);
  const WideString toggle_label = ToWideString(ToggleLabel(IsCompanionRunning(RunningSystem())));
  for (const LauncherButton& button : LauncherButtons()) {
    const wchar_t* label =
        button.id == ID_TOGGLE ? toggle_label.Wide() : AsWide(button.fixed_label);
    const PixelRect& r = button.bounds;
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a child window's id goes in as its menu handle
    const auto child_id = reinterpret_cast<HMENU>(std::uintptr_t{button.id});
    // A button that cannot be made is left out; the others are still made.
    (void)HandleResult(CreateWindowExW(0, L"BUTTON", label, kButtonStyle, r.x, r.y, r.width,
                                       r.height, window, child_id, instance, nullptr));
  }
}

// One line of text, drawn without its terminator.
void DrawTextLine(HDC dc, int y, const WideString& text) {
  (void)TextOutW(dc, kTextLeft, y, text.Wide(), static_cast<int>(text.Length() - 1));
}

void PaintLauncherWindow(HWND window) {
  const PaintScope paint(window);
  const HDC dc = paint.Dc();
  RECT client{};
  // On failure the rectangle stays empty: nothing is filled, the texts are still drawn.
  (void)BoolResult(GetClientRect(window, &client));
  {
    // The whole client area, not just the update rectangle: the class brush erased it white.
    const SolidBrush background(kBackgroundColour);
    (void)FillRect(dc, &client, background.Get());
  }
  (void)SetBkMode(dc, TRANSPARENT);
  (void)SetTextColor(dc, kTitleColour);
  DrawTextLine(dc, kTitleTop, ToWideString(kTitleText));

  // Probed afresh on every paint; nothing of the state is kept between messages.
  const StatusText status = StatusLine(IsCompanionRunning(RunningSystem()));
  (void)SetTextColor(dc, status.colour);
  DrawTextLine(dc, kStatusTop, ToWideString(status.text));
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
      FollowUp(window, HandleLauncherCommand(RunningSystem(), window, wparam));
      return 0;
    case WM_CTLCOLORBTN:
      // No brush, and no default colours either: the classic push buttons draw their own face.
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace ltf
