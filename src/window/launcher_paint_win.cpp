#include <windows.h>

#include "launcher/status_probe.h"
#include "launcher/windows_system.h"
#include "platform/text/wide_string.h"
#include "window/call_result_win.h"
#include "window/gdi_scope_win.h"
#include "window/launcher_layout.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {

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
  const StatusText status = StatusLine(IsCompanionRunning(WindowsSystem()));
  (void)SetTextColor(dc, status.colour);
  DrawTextLine(dc, kStatusTop, ToWideString(status.text));
}

}  // namespace ltf
