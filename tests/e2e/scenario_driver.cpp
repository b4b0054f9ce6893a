// Starts the launcher with an exact command line and drives it from outside its process, one
// step per argument; each step prints one line of what it saw.
//   scenario_driver LAUNCHER CWD LINE STEP...
//   window            "window <toggle label>|<status colour>" once the launcher window shows
//   press ID          clicks the window's button ID
//   command LOW HIGH  posts WM_COMMAND with that low and high word
//   box               "box <caption>|<text>|<owner>|<buttons>" once a message box shows
//   answer ID         presses button ID of the message box
//   settle MS         after MS, "running" or "ended CODE", and "boxes N"
//   close             posts WM_CLOSE to the window
//   exit              "exit CODE" once the launcher has ended (it is ended after 30 s)
//   write FILE TEXT   replaces FILE with TEXT, so a stand-in answers differently from now on
//   await-log DIR NAME waits until NAME has logged its start in DIR\calls.log
//   end-stand-ins DIR ends, by id, every lanternfield.exe logged in DIR\calls.log
#include <windows.h>

#include <cstdio>
#include <string>

#include "window_driver_support.h"

namespace {

using namespace ltf::e2e;

constexpr COLORREF kRunningColour = 0x0000CC55;
constexpr COLORREF kStoppedColour = 0x005555FF;

// The status line's colour, read from the screen where its text is drawn.
std::string StatusColour(HWND window) {
  Sleep(300);
  const HDC screen = GetDC(nullptr);
  std::string colour = "none";
  for (int y = 50; y < 66 && colour == "none"; ++y) {
    for (int x = 20; x < 80; ++x) {
      POINT point{x, y};
      ClientToScreen(window, &point);
      const COLORREF pixel = GetPixel(screen, point.x, point.y);
      if (pixel == kRunningColour || pixel == kStoppedColour) {
        colour = pixel == kRunningColour ? "running" : "stopped";
        break;
      }
    }
  }
  ReleaseDC(nullptr, screen);
  return colour;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM context) {
  wchar_t class_name[64] = {};
  GetClassNameW(child, class_name, 64);
  if (lstrcmpiW(class_name, L"Button") == 0 && IsWindowVisible(child)) {
    auto* buttons = reinterpret_cast<std::string*>(context);
    *buttons += (buttons->empty() ? "" : ",") + Utf8(TextOf(child));
  }
  return TRUE;
}

std::string DescribeBox(HWND box, HWND window) {
  std::string buttons;
  EnumChildWindows(box, CollectButton, reinterpret_cast<LPARAM>(&buttons));
  const HWND owner = GetWindow(box, GW_OWNER);
  const char* owned = owner == nullptr ? "none" : owner == window ? "window" : "other";
  // Message boxes keep their text in the static control with identifier 0xFFFF.
  return Utf8(TextOf(box)) + "|" + Utf8(TextOf(GetDlgItem(box, 0xFFFF))) + "|" + owned + "|" +
         buttons;
}

std::string ReadLog(const std::wstring& directory) {
  const HANDLE log =
      CreateFileW((directory + L"\\calls.log").c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  std::string text(1 << 16, '\0');
  DWORD read = 0;
  if (log == INVALID_HANDLE_VALUE || !ReadFile(log, text.data(), 1 << 16, &read, nullptr)) {
    read = 0;
  }
  CloseHandle(log);
  text.resize(read);
  return text;
}

// A released child may log its start after the launcher has already ended.
void AwaitLog(const std::wstring& directory, const std::wstring& name) {
  const std::string entry = Utf8(name) + "\t";
  for (int tries = 0; tries < 200; ++tries) {
    const std::string text = ReadLog(directory);
    if (text.starts_with(entry) || text.find("\n" + entry) != std::string::npos) {
      return;
    }
    Sleep(100);
  }
  std::printf("no start of %s\n", Utf8(name).c_str());
}

// Ends each logged companion stand-in; only processes this run started are logged there.
void EndStandIns(const std::wstring& directory) {
  const std::string text = ReadLog(directory);
  int ended = 0;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    const std::string line = text.substr(start, end - start);
    if (line.starts_with("lanternfield.exe\t")) {
      const DWORD pid = std::stoul(line.substr(17));
      if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid)) {
        ended += TerminateProcess(process, 0) ? 1 : 0;
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
      }
    }
  }
  std::printf("ended %d\n", ended);
}

}  // namespace

int wmain(int count, wchar_t** arguments) {
  if (count < 4) {
    std::fprintf(stderr, "usage: scenario_driver LAUNCHER CWD LINE STEP...\n");
    return 2;
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
  for (int i = 4; i < count; ++i) {
    const std::wstring step = arguments[i];
    auto operand = [&](int offset) { return i + offset < count ? arguments[i + offset] : L"0"; };
    if (step == L"window") {
      window = WaitForVisibleWindow(pid, L"LTF_Launcher", 20000);
      if (window == nullptr) {
        std::printf("window none\n");
        continue;
      }
      std::printf("window %s|%s\n", Utf8(TextOf(GetDlgItem(window, 101))).c_str(),
                  StatusColour(window).c_str());
    } else if (step == L"press") {
      PostMessageW(GetDlgItem(window, _wtoi(operand(1))), BM_CLICK, 0, 0);
      ++i;
    } else if (step == L"command") {
      PostMessageW(window, WM_COMMAND, MAKEWPARAM(_wtoi(operand(1)), _wtoi(operand(2))), 0);
      i += 2;
    } else if (step == L"box") {
      const HWND box = WaitForVisibleWindow(pid, L"#32770", 20000);
      std::printf("box %s\n", box ? DescribeBox(box, window).c_str() : "none");
    } else if (step == L"answer") {
      const HWND box = VisibleWindow(pid, L"#32770");
      const int id = _wtoi(operand(1));
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
      // The next box may follow at once; it must not be taken for this one.
      for (int tries = 0; tries < 100 && IsWindow(box); ++tries) {
        Sleep(50);
      }
      ++i;
    } else if (step == L"settle") {
      Sleep(_wtoi(operand(1)));
      ++i;
      DWORD code = 0;
      GetExitCodeProcess(launcher.hProcess, &code);
      if (code == STILL_ACTIVE) {
        std::printf("running\n");
      } else {
        std::printf("ended %lu\n", code);
      }
      std::printf("boxes %d\n", VisibleWindow(pid, L"#32770") ? 1 : 0);
    } else if (step == L"close") {
      PostMessageW(window, WM_CLOSE, 0, 0);
    } else if (step == L"exit") {
      DWORD code = 0;
      if (WaitForSingleObject(launcher.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(launcher.hProcess, 1);
        WaitForSingleObject(launcher.hProcess, 5000);
        std::printf("exit timeout\n");
      } else {
        GetExitCodeProcess(launcher.hProcess, &code);
        std::printf("exit %lu\n", code);
      }
    } else if (step == L"write") {
      const std::string text = Utf8(operand(2));
      const HANDLE file =
          CreateFileW(operand(1), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
      CloseHandle(file);
      i += 2;
    } else if (step == L"await-log") {
      AwaitLog(operand(1), operand(2));
      i += 2;
    } else if (step == L"end-stand-ins") {
      EndStandIns(operand(1));
      ++i;
    } else {
      std::printf("unknown step %s\n", Utf8(step).c_str());
    }
    std::fflush(stdout);
  }
  // A scenario that forgot its exit step must not leave the launcher behind.
  if (WaitForSingleObject(launcher.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(launcher.hProcess, 1);
  }
  CloseHandle(launcher.hProcess);
  return 0;
}
