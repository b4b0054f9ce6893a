#pragma once

#include <windows.h>

#include "platform/text/wide_string.h"

namespace ltf {

LRESULT CALLBACK LauncherWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

void PaintLauncherWindow(HWND window);

// One line of text at x = 20, without its terminator.
void DrawTextLine(HDC dc, int y, const WideString& text);

}  // namespace ltf
