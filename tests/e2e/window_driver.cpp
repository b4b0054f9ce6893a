// Checks the launcher window from outside the launcher's process.
//
//   window_driver launcher EXE Running|Stopped SCREENSHOT.bmp close|toggle
//     starts EXE, checks its window, buttons and painted colours, saves the window as it shows
//     on the screen, then ends it with WM_CLOSE or with the Start/Stop button (whose
//     notification code is set, to show it is not looked at); it must exit with code 0.
//   window_driver close
//     posts WM_CLOSE to every launcher window and waits for their processes to end.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/windows_call_win.h"
#include "window_driver_support.h"

namespace ltf::e2e {
namespace {

constexpr wchar_t kClass[] = L"LTF_Launcher";
constexpr std::uint32_t kBackground = 0x1E1E2E, kTitle = 0xF8F8F2;  // 0xRRGGBB
constexpr std::uint32_t kRunning = 0x55CC00, kStopped = 0xFF5555;

void CheckFrame(Checks& checks, HWND window) {
  checks.Expect(ClassOf(window) == kClass, "class " + Utf8(ClassOf(window)));
  checks.Expect(TextOf(window) == L"Lanternfield", "title " + Utf8(TextOf(window)));
  RECT outer{};
  GetWindowRect(window, &outer);
  checks.Expect(outer.right - outer.left == 360 && outer.bottom - outer.top == 240,
                "outer size " + std::to_string(outer.right - outer.left) + "x" +
                    std::to_string(outer.bottom - outer.top));
  // Windows adds WS_CLIPSIBLINGS to every overlapped window, WS_EX_WINDOWEDGE to captions.
  const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
  checks.Expect(style == (0x10C80000 | WS_CLIPSIBLINGS), "style " + Hex(style));
  const auto ex_style = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
  checks.Expect((ex_style & ~DWORD{WS_EX_WINDOWEDGE}) == 0, "extended style " + Hex(ex_style));
}

void CheckButtons(Checks& checks, HWND window, bool running) {
  const struct {
    int id;
    std::wstring text;
    RECT rect;
  } expected[] = {
      {101, running ? L"Stop Lanternfield" : L"Start Lanternfield", {20, 90, 330, 128}},
      {102, L"Check for Updates", {20, 140, 168, 174}},
      {103, L"Uninstall", {182, 140, 330, 174}},
  };
  const auto buttons = Children(window);
  if (!checks.Expect(buttons.size() == 3, std::to_string(buttons.size()) + " children")) {
    return;
  }
  for (int i = 0; i < 3; ++i) {
    const HWND button = buttons[i];
    const auto& want = expected[i];
    const std::string name = "button " + std::to_string(i) + ": ";
    checks.Expect(_wcsicmp(ClassOf(button).c_str(), L"Button") == 0,
                  name + "class " + Utf8(ClassOf(button)));
    checks.Expect(GetDlgCtrlID(button) == want.id,
                  name + "id " + std::to_string(GetDlgCtrlID(button)));
    checks.Expect(TextOf(button) == want.text, name + "text " + Utf8(TextOf(button)));
    const RECT r = RectInParentClient(button);
    checks.Expect(EqualRect(&r, &want.rect) != FALSE,
                  name + "rect " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                      std::to_string(r.right) + "," + std::to_string(r.bottom));
    const auto style = static_cast<DWORD>(GetWindowLongW(button, GWL_STYLE));
    checks.Expect(style == 0x50010000, name + "style " + Hex(style));
  }
}

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1, count = 0;
};

// Where `colour` occurs inside the client area, in client coordinates.
Box Find(const Capture& shot, POINT client, SIZE size, std::uint32_t colour) {
  Box box;
  for (int y = 0; y < size.cy; ++y) {
    for (int x = 0; x < size.cx; ++x) {
      if (shot.At(client.x + x, client.y + y) == colour) {
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
               std::max(box.bottom, y), box.count + 1};
      }
    }
  }
  return box;
}

void CheckPaint(Checks& checks, HWND window, bool running, const std::wstring& screenshot) {
  RECT outer{}, client_rect{};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client_rect);
  POINT client{0, 0};
  ClientToScreen(window, &client);
  client = {client.x - outer.left, client.y - outer.top};
  const SIZE size{client_rect.right, client_rect.bottom};
  const std::uint32_t status = running ? kRunning : kStopped;
  const std::uint32_t other = running ? kStopped : kRunning;

  // The first paint comes through the loop, after a probe; wait for its status line.
  std::optional<Capture> shot;
  for (int tries = 0; tries < 300; ++tries) {
    shot = CaptureScreen(outer);
    if (shot && Find(*shot, client, size, status).count > 0) {
      break;
    }
    Sleep(100);
  }
  if (!checks.Expect(shot.has_value(), "the screen could not be read")) {
    return;
  }
  checks.Expect(SaveBmp(*shot, screenshot), "screenshot not saved");

  // Everything outside the buttons: the dark background, the two lines, and no white left
  // over from the class brush.
  int white = 0, background = 0, outside = 0;
  const RECT buttons[] = {{20, 90, 330, 128}, {20, 140, 330, 174}};
  for (int y = 0; y < size.cy; ++y) {
    for (int x = 0; x < size.cx; ++x) {
      const POINT p{x, y};
      if (PtInRect(&buttons[0], p) || PtInRect(&buttons[1], p)) {
        continue;
      }
      const std::uint32_t pixel = shot->At(client.x + x, client.y + y);
      ++outside;
      white += pixel == 0xFFFFFF;
      background += pixel == kBackground;
    }
  }
  checks.Expect(white == 0, std::to_string(white) + " white pixels outside the buttons");
  checks.Expect(background > outside * 9 / 10,
                std::to_string(background) + " of " + std::to_string(outside) +
                    " pixels outside the buttons in the background colour");
  for (const POINT corner : {POINT{0, 0}, POINT{size.cx - 1, 0}, POINT{0, size.cy - 1},
                             POINT{size.cx - 1, size.cy - 1}, POINT{175, 157}}) {
    checks.Expect(shot->At(client.x + corner.x, client.y + corner.y) == kBackground,
                  "background at " + std::to_string(corner.x) + "," + std::to_string(corner.y) +
                      ": " + Hex(shot->At(client.x + corner.x, client.y + corner.y)));
  }

  // Text is drawn from its top-left corner at x = 20: the title at y = 20, the status at 50.
  const Box title = Find(*shot, client, size, kTitle);
  checks.Expect(title.count > 20 && title.left >= 20 && title.left <= 23 && title.top >= 20 &&
                    title.top <= 26 && title.bottom < 50,
                "title pixels: " + std::to_string(title.count) + " from " +
                    std::to_string(title.left) + "," + std::to_string(title.top));
  const Box line = Find(*shot, client, size, status);
  checks.Expect(line.count > 10 && line.left >= 20 && line.left <= 23 && line.top >= 50 &&
                    line.top <= 56 && line.bottom < 90,
                "status pixels: " + std::to_string(line.count) + " from " +
                    std::to_string(line.left) + "," + std::to_string(line.top));
  checks.Expect(Find(*shot, client, size, other).count == 0, "the other state's colour shows");
}

// An unknown command does nothing. (Wine carries no WM_CTLCOLOR* message across processes, so
// that answer is checked in-process.)
void CheckAnswers(Checks& checks, HWND window) {
  const auto unknown = SendWithin(window, WM_COMMAND, MAKEWPARAM(999, 0), 0);
  checks.Expect(unknown == 0,
                "an unknown command answers " + (unknown ? Hex(*unknown) : "nothing"));
  checks.Expect(IsWindow(window) && IsWindowVisible(window),
                "the window went after an unknown command");
}

int CheckLauncher(std::wstring exe, bool running, const std::wstring& screenshot, bool toggle) {
  Checks checks;
  const std::wstring directory = exe.substr(0, exe.find_last_of(L"\\/"));
  std::wstring line = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION started{};
  if (!checks.Expect(CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                    directory.c_str(), &startup, &started) != FALSE,
                     "cannot start " + Utf8(exe) + ": " + std::to_string(GetLastError()))) {
    return checks.Failures();
  }
  const UniqueHandle process(started.hProcess), thread(started.hThread);

  const HWND window = WaitForVisibleWindow(started.dwProcessId, kClass, 60000);
  if (checks.Expect(window != nullptr, "no visible launcher window within 60 s")) {
    CheckFrame(checks, window);
    CheckButtons(checks, window, running);
    CheckPaint(checks, window, running, screenshot);
    CheckAnswers(checks, window);
    if (toggle) {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(101, 1), 0);
    } else {
      PostMessageW(window, WM_CLOSE, 0, 0);
    }
    const auto code = WaitForExit(process.Get(), 60000);
    checks.Expect(code == 0u, std::string(toggle ? "after Start/Stop" : "after WM_CLOSE") +
                                  ", exit code " + (code ? std::to_string(*code) : "none in 60 s"));
  }
  if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
    TerminateProcess(process.Get(), 1);
  }
  std::printf("%s window: %d failed checks\n", running ? "Running" : "Stopped", checks.Failures());
  return checks.Failures();
}

int CloseLaunchers() {
  int failures = 0;
  for (HWND window : TopLevelWindows(0, kClass)) {
    DWORD id = 0;
    GetWindowThreadProcessId(window, &id);
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
    PostMessageW(window, WM_CLOSE, 0, 0);
    failures += !process.Valid() || WaitForSingleObject(process.Get(), 30000) != WAIT_OBJECT_0;
  }
  return failures;
}

}  // namespace
}  // namespace ltf::e2e

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"launcher" && argc == 6) {
    return ltf::e2e::CheckLauncher(argv[2], std::wstring(argv[3]) == L"Running", argv[4],
                                   std::wstring(argv[5]) == L"toggle");
  }
  if (command == L"close" && argc == 2) {
    return ltf::e2e::CloseLaunchers();
  }
  std::fputs(
      "usage: window_driver launcher EXE Running|Stopped SCREENSHOT.bmp close|toggle\n"
      "       window_driver close\n",
      stderr);
  return 2;
}
