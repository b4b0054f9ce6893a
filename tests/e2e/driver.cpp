// Starts the launcher with an exact command line and drives it from outside its process, one
// step per argument, printing one line per fact it sees:  driver LAUNCHER CWD LINE STEP...
//   window (its toggle's label, then its status colour), look FILE (frame, controls, paint; the
//   window saved to FILE as PPM), press ID, post LOW HIGH (WM_COMMAND), box ID|only (describes
//   the message box, then presses button ID or its only one), settle (half a second later: open,
//   running without a window, or ended), close, exit, write FILE TEXT (so a stand-in answers
//   differently from then on), status (the status colour now), idle MS MAX LOG (at most MAX
//   probes logged in LOG while the window idles), release (the launcher may outlive the driver).
// A check it cannot make here prints "skip KIND: " and the reason in the place of its line; a
// "note: " line is the system's choice, not the launcher's. With LTF_JOB in its environment it
// runs in that job, which "driver hold" makes.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/text/text.h"
#include "window/window.h"

namespace {

// A colour as a 32-bit DIB holds it, and so as it is read back here: 0xRRGGBB.
constexpr COLORREF AsRead(ltf::ColourRef colour) {
  return (colour & 0xFF) << 16 | (colour & 0xFF00) | (colour >> 16 & 0xFF);
}
constexpr DWORD kPatience = 30000;

std::string Utf8(std::wstring_view text) {
  return ltf::ToUtf8({reinterpret_cast<const char16_t*>(text.data()), text.size()});
}

std::string ClassOf(HWND window) {
  wchar_t name[64];
  return Utf8({name, static_cast<std::size_t>(std::max(0, GetClassNameW(window, name, 64)))});
}

// WM_GETTEXT is carried across processes, so this reads another process's controls too.
std::string TextOf(HWND window) {
  wchar_t text[512];
  DWORD_PTR length = 0;
  const bool answered = SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text),
                                            SMTO_ABORTIFHUNG, 10000, &length);
  return Utf8({text, answered ? length : 0});
}

// A visible top-level window of `process` with that class, once one shows within `patience`
// milliseconds; "#32770" is a message box.
HWND Visible(DWORD process, const wchar_t* class_name, DWORD patience = 0) {
  for (DWORD waited = 0;; waited += 100) {
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, class_name, nullptr));) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == process && IsWindowVisible(window)) {
        return window;
      }
    }
    if (waited >= patience) {
      return nullptr;
    }
    Sleep(100);
  }
}

// Pixels as 0xRRGGBB, rows top to bottom; empty when the screen could not be read.
struct Shot {
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;
  COLORREF At(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

// A 32-bit memory bitmap to draw into or copy the screen into.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
    previous_ = SelectObject(dc_, bitmap_);
  }
  ~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC Dc() const { return dc_; }
  void Fill(COLORREF colour) const {
    const HBRUSH brush = CreateSolidBrush(colour);
    const RECT all{0, 0, width_, height_};
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }
  Shot Read() const {
    GdiFlush();
    Shot shot{width_, height_, {}};
    for (int i = 0; bits_ && i < width_ * height_; ++i) {
      shot.pixels.push_back(static_cast<const COLORREF*>(bits_)[i] & 0xFFFFFF);
    }
    return shot;
  }

 private:
  int width_, height_;
  HDC dc_ = CreateCompatibleDC(nullptr);
  void* bits_ = nullptr;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

// The whole window, or its client area only, as the screen shows it.
Shot Capture(HWND window, bool client_only) {
  RECT area{};
  GetWindowRect(window, &area);
  if (client_only) {
    GetClientRect(window, &area);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
  }
  const Canvas canvas(area.right - area.left, area.bottom - area.top);
  const HDC screen = GetDC(nullptr);
  const bool copied = BitBlt(canvas.Dc(), 0, 0, area.right - area.left, area.bottom - area.top,
                             screen, area.left, area.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return copied ? canvas.Read() : Shot{};
}

const char* StatusColour(const Shot& shot) {
  const auto has = [&](COLORREF c) {
    return std::ranges::find(shot.pixels, c) != shot.pixels.end();
  };
  const bool running = has(AsRead(ltf::kRunningColour)), stopped = has(AsRead(ltf::kStoppedColour));
  return running && stopped ? "both" : running ? "running" : stopped ? "stopped" : "none";
}

// The client area outside the buttons against the same drawing made here: the background, the
// title and the status line from x = 20 in the device context's default font. Any pixel that
// differs is a wrong colour, text or place; but Windows 11 rounds the frame's bottom corners.
void CheckPaint(const Shot& shot, bool running) {
  const Canvas canvas(shot.width, shot.height);
  canvas.Fill(ltf::kBackgroundColour);
  SetBkMode(canvas.Dc(), TRANSPARENT);
  // The colours are the window's own; where and what it writes is stated here again.
  SetTextColor(canvas.Dc(), ltf::kTitleColour);
  TextOutW(canvas.Dc(), 20, 20, L"Lanternfield", 12);
  SetTextColor(canvas.Dc(), running ? ltf::kRunningColour : ltf::kStoppedColour);
  TextOutW(canvas.Dc(), 20, 50, running ? L"Running" : L"Stopped", 7);
  const Shot expected = canvas.Read();
  const RECT buttons[] = {{20, 90, 330, 128}, {20, 140, 330, 174}};
  int wrong = 0, first_x = 0, first_y = 0;
  for (int y = 0; y < shot.height; ++y) {
    for (int x = 0; x < shot.width; ++x) {
      const bool on_button = PtInRect(&buttons[0], {x, y}) || PtInRect(&buttons[1], {x, y});
      const bool corner = y >= shot.height - 8 && (x < 8 || x >= shot.width - 8);
      if (!on_button && !corner && shot.At(x, y) != expected.At(x, y) && wrong++ == 0) {
        first_x = x, first_y = y;
      }
    }
  }
  if (shot.pixels.empty()) {
    std::printf("paint: the screen could not be read, or kept changing for 3 s\n");
  } else if (wrong != 0) {
    std::printf("paint: %d pixels differ, the first at %d,%d\n", wrong, first_x, first_y);
  } else {
    std::printf("paint ok\n");
  }
}

// A window in front would stand in the captured pixels: this one is brought before it, without
// the focus, which another process may not take, and never topmost. False if still covered.
bool Exposed(HWND window) {
  const HWND root = GetAncestor(window, GA_ROOT);
  RECT client{};
  GetClientRect(window, &client);
  for (int tries = 0; tries < 2; ++tries, Sleep(100)) {
    bool covered = false;
    for (LONG y = 0; y < client.bottom; y += 8) {
      for (LONG x = 0; x < client.right; x += 8) {
        POINT point{x, y};
        ClientToScreen(window, &point);
        covered = covered || GetAncestor(WindowFromPoint(point), GA_ROOT) != root;
      }
    }
    if (!covered) {
      return true;
    }
    SetWindowPos(root, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  return false;
}

// The client area once two captures 200 ms apart match (the window may be opening); else empty.
Shot Settled(HWND window) {
  Shot last, next = Capture(window, true);
  for (int waited = 0; waited < 3000 && (next.pixels.empty() || next.pixels != last.pixels);
       waited += 200) {
    Sleep(200);
    last = std::exchange(next, Capture(window, true));
  }
  return next.pixels == last.pixels ? next : Shot{};
}

// The status colour once one shows, within `tries` reads; a skip when the window stays covered.
std::string Status(HWND window, int tries) {
  for (int i = 1; window; Sleep(100), ++i) {
    const bool covered = !Exposed(window);
    const std::string status = covered ? "none" : StatusColour(Capture(window, true));
    if (status != "none" || i >= (covered ? std::min(tries, 10) : tries)) {
      return covered ? "skip status: another window covers the launcher's" : "status " + status;
    }
  }
  return "status none";
}

// The starts the stand-ins have logged so far: the lines of their UTF-16LE log.
int Logged(const wchar_t* log) {
  int lines = 0;
  std::FILE* file = _wfopen(log, L"rb");
  for (wchar_t unit = 0; file && std::fread(&unit, sizeof(unit), 1, file) == 1;) {
    lines += unit == L'\n';
  }
  if (file) {
    std::fclose(file);
  }
  return lines;
}

bool WriteWhole(const wchar_t* path, const std::string& bytes) {
  std::FILE* file = _wfopen(path, L"wb");
  const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return file && std::fclose(file) == 0 && written;
}

// Whether Windows runs the launcher, which says it is compatible, on CET shadow stacks: the
// processor's and the system's choice, only noted. 15 is ProcessUserShadowStackPolicy, which
// MinGW-w64 10 does not name; bit 0 of its flags turns them on.
void NoteShadowStacks(HANDLE launcher) {
  DWORD flags = 0;
  if (GetProcessMitigationPolicy(launcher, static_cast<PROCESS_MITIGATION_POLICY>(15), &flags,
                                 sizeof(flags))) {
    std::printf("note: CET shadow stacks are %s for the launcher\n", flags & 1 ? "on" : "off");
  } else {
    std::printf("note: the launcher's CET shadow stacks are unknown (error %lu)\n", GetLastError());
  }
}

void Look(HWND window, bool running, const wchar_t* screenshot) {
  RECT outer{};
  GetWindowRect(window, &outer);
  // Windows adds WS_EX_WINDOWEDGE to every captioned window; it is no choice of the launcher's.
  std::printf("frame %s|%s|%ldx%ld|0x%lX|0x%lX\n", ClassOf(window).c_str(), TextOf(window).c_str(),
              outer.right - outer.left, outer.bottom - outer.top,
              DWORD(GetWindowLongW(window, GWL_STYLE)),
              DWORD(GetWindowLongW(window, GWL_EXSTYLE)) & ~DWORD{WS_EX_WINDOWEDGE});
  // From the top of the z-order down: for controls, their creation order.
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
    std::printf("child %d|%s|%s|%ld,%ld,%ld,%ld|0x%lX|0x%lX\n", GetDlgCtrlID(child),
                ClassOf(child).c_str(), TextOf(child).c_str(), r.left, r.top, r.right, r.bottom,
                DWORD(GetWindowLongW(child, GWL_STYLE)), DWORD(GetWindowLongW(child, GWL_EXSTYLE)));
  }
  if (!Exposed(window)) {
    std::printf("skip paint: another window covers the launcher's\n");
    return;
  }
  CheckPaint(Settled(window), running);
  const Shot whole = Capture(window, false);
  std::string ppm =
      "P6\n" + std::to_string(whole.width) + " " + std::to_string(whole.height) + "\n255\n";
  for (const COLORREF pixel : whole.pixels) {
    ppm += {char(pixel >> 16), char(pixel >> 8), char(pixel)};
  }
  if (whole.pixels.empty() || !WriteWhole(screenshot, ppm)) {
    std::printf("screenshot not saved\n");
  }
}

// Describes the message box, then presses the button `which` names: its id, or "only".
void AnswerBox(HWND box, HWND window, const wchar_t* which) {
  std::vector<HWND> buttons;
  std::string ids;  // not their labels, which are in the language of the system's interface
  const char* icon = "no icon";  // which one follows from the style, which the unit tests check
  for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    const std::string kind = IsWindowVisible(child) ? ClassOf(child) : "hidden";
    if (kind == "Button") {
      buttons.push_back(child);
      ids += (ids.empty() ? "" : ",") + std::to_string(GetDlgCtrlID(child));
    } else if (kind == "Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      icon = "icon";
    }
  }
  const HWND owner = GetWindow(box, GW_OWNER);
  const char* owned = owner == nullptr ? "none" : owner == window ? "window" : "other";
  // Message boxes keep their text in the static control with identifier 0xFFFF.
  std::printf("box %s|%s|%s|%s|%s\n", TextOf(box).c_str(), TextOf(GetDlgItem(box, 0xFFFF)).c_str(),
              owned, icon, buttons.size() == 1 ? "one button" : ids.c_str());
  if (buttons.size() == 1) {  // IDOK or IDCANCEL: the system's choice
    std::printf("note: the box's only button has id %s\n", ids.c_str());
  }
  const HWND pressed = std::wstring_view(which) != L"only" ? GetDlgItem(box, _wtoi(which))
                       : buttons.size() == 1               ? buttons[0]
                                                           : nullptr;
  // What a click makes the button send; BM_CLICK may fail while the box is not the active window.
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED),
               reinterpret_cast<LPARAM>(pressed));
}

// Makes the job, which ends every process in it once its last handle closes, and holds that handle
// until standard input ends: when the runner closes it, or dies.
int Hold(const wchar_t* name) {
  const HANDLE job = CreateJobObjectW(nullptr, name);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (!job ||
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits))) {
    std::printf("job failed %lu\n", GetLastError());
    return 1;
  }
  std::printf("ready\n");
  char byte = 0;
  for (DWORD read = 1;
       read && ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &read, nullptr);) {
  }
  return 0;
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  // Unbuffered: what was seen must reach the output even when the driver is ended.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  wchar_t name[128] = {};
  const bool in_job = GetEnvironmentVariableW(L"LTF_JOB", name, 128) != 0;
  if (count == 2 && arguments[1] == std::wstring_view(L"hold")) {
    return Hold(name);
  } else if (count < 4) {
    std::fprintf(stderr, "usage: driver LAUNCHER CWD LINE STEP... | driver hold\n");
    return 2;
  }
  // In the job before the launcher starts, so that all it starts is in it too; only the holder's
  // handle may keep the job open.
  if (in_job) {
    const HANDLE job = OpenJobObjectW(JOB_OBJECT_ASSIGN_PROCESS, FALSE, name);
    if (!job || !AssignProcessToJobObject(job, GetCurrentProcess())) {
      std::printf("job failed %lu\n", GetLastError());
      return 1;
    }
    CloseHandle(job);
  }
  std::wstring line = arguments[3];
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION launcher{};
  if (!CreateProcessW(arguments[1], line.data(), nullptr, nullptr, FALSE, 0, nullptr, arguments[2],
                      &startup, &launcher)) {
    std::printf("start failed %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(launcher.hThread);
  const DWORD pid = launcher.dwProcessId;
  HWND window = nullptr;
  bool running = false, released = false;
  int i = 4;
  const auto next = [&] { return i < count ? arguments[i++] : L"0"; };
  while (i < count) {
    const std::wstring step = next();
    if (step == L"window") {
      window = Visible(pid, L"LTF_Launcher", kPatience);
      std::printf("window %s\n", window ? TextOf(GetDlgItem(window, 101)).c_str() : "none");
      // The first paint follows a probe; the status colour shows once it is done.
      const std::string status = Status(window, 300);
      running = status == "status running";
      std::printf("%s\n", status.c_str());
    } else if (step == L"look") {
      NoteShadowStacks(launcher.hProcess);
      Look(window, running, next());
    } else if (step == L"release") {
      released = true;
    } else if (step == L"press") {
      PostMessageW(GetDlgItem(window, _wtoi(next())), BM_CLICK, 0, 0);
    } else if (step == L"post") {
      const int low = _wtoi(next()), high = _wtoi(next());
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(low, high), 0);
    } else if (step == L"box") {
      const HWND box = Visible(pid, L"#32770", kPatience);
      AnswerBox(box, window, next());
      // The next box may follow at once; it must not be taken for this one.
      for (int tries = 0; tries < 100 && IsWindow(box); ++tries) {
        Sleep(50);
      }
    } else if (step == L"settle") {
      Sleep(500);
      DWORD code = 0;
      GetExitCodeProcess(launcher.hProcess, &code);
      const char* box = Visible(pid, L"#32770") ? " with a box" : "";
      if (code == STILL_ACTIVE) {
        std::printf("%s%s\n", IsWindowVisible(window) ? "open" : "running", box);
      } else {
        std::printf("ended %lu%s\n", code, box);
      }
    } else if (step == L"close") {
      PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (step == L"exit") {
      DWORD code = 0;
      if (WaitForSingleObject(launcher.hProcess, kPatience) == WAIT_OBJECT_0 &&
          GetExitCodeProcess(launcher.hProcess, &code)) {
        std::printf("exit %lu\n", code);
      } else {
        std::printf("exit timeout\n");
      }
    } else if (step == L"status") {
      std::printf("%s\n", Status(window, 1).c_str());
    } else if (step == L"idle") {
      const int milliseconds = _wtoi(next()), most = _wtoi(next());
      const wchar_t* log = next();
      // An idle window starts nothing but probes.
      const int before = Logged(log);
      Sleep(milliseconds);
      if (const int probes = Logged(log) - before; probes > most) {
        std::printf("idle: %d probes in %d ms\n", probes, milliseconds);
      } else {
        std::printf("idle ok\n");
      }
    } else if (step == L"write") {
      const wchar_t* file = next();
      WriteWhole(file, Utf8(next()));
    } else {
      std::printf("unknown step %s\n", Utf8(step).c_str());
    }
  }
  // A scenario that forgot its exit step must not leave the launcher behind.
  if (!released && WaitForSingleObject(launcher.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(launcher.hProcess, 1);
  }
  CloseHandle(launcher.hProcess);
  return 0;
}
