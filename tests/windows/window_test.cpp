// The window code in-process: this program's imports of the Windows calls it makes point at
// recording stand-ins, and the System it reaches is the recording fake, so one list shows every
// call and child in order, with their exact arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fake_system.h"
#include "launcher/windows_system.h"
#include "support.h"
#include "window/launcher_window.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {

System& WindowsSystem() {
  static testing::FakeSystem system;
  return system;
}

namespace {

testing::FakeSystem& Fake() {
  return static_cast<testing::FakeSystem&>(WindowsSystem());
}

// Taken before any patch, since GetModuleHandleW is one of the calls patched.
BYTE* const kImage = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));

// Points this program's import of `function` from `dll` at `replacement`; returns the original.
void* PatchImport(const char* dll, const char* function, void* replacement) {
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      kImage + reinterpret_cast<IMAGE_DOS_HEADER*>(kImage)->e_lfanew);
  const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(kImage + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (_stricmp(reinterpret_cast<char*>(kImage + entry->Name), dll) != 0) {
      continue;
    }
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(kImage + entry->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(kImage + entry->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      const auto* by_name =
          reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(kImage + name->u1.AddressOfData);
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) || std::strcmp(by_name->Name, function) != 0) {
        continue;
      }
      DWORD protection;
      VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
      void* original = reinterpret_cast<void*>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(slot, sizeof(*slot), protection, &protection);
      return original;
    }
  }
  return nullptr;
}

const auto kModule = reinterpret_cast<HINSTANCE>(0x140000000);
const auto kIcon = reinterpret_cast<HICON>(0x10011);
const auto kCursor = reinterpret_cast<HCURSOR>(0x10013);
const auto kWindow = reinterpret_cast<HWND>(0x20020);
const auto kButton = reinterpret_cast<HWND>(0x20030);
const auto kDc = reinterpret_cast<HDC>(0x30040);
const auto kBrush = reinterpret_cast<HBRUSH>(0x30050);
const auto kAllBits = reinterpret_cast<HANDLE>(~std::uintptr_t{0});

// What the stand-ins answer.
struct Script {
  HINSTANCE module = kModule;
  HANDLE icon = kIcon, cursor = kCursor;
  HWND window = kWindow;
  bool first_button = true, client_rect = true;
};
Script script;

std::string Show(const void* handle) {
  const std::pair<const void*, const char*> names[] = {
      {nullptr, "null"},   {kModule, "module"},
      {kIcon, "icon"},     {kCursor, "cursor"},
      {kWindow, "window"}, {kDc, "dc"},
      {kBrush, "brush"},   {GetStockObject(WHITE_BRUSH), "white"}};
  for (const auto& [known, name] : names) {
    if (handle == known) {
      return name;
    }
  }
  return "other";
}
std::string Show(const wchar_t* text) {
  if (text == nullptr) {
    return "null";
  }
  return IS_INTRESOURCE(text) ? std::to_string(reinterpret_cast<std::uintptr_t>(text))
                              : std::string(text, text + wcslen(text));  // ASCII here
}
std::string Show(const char* text) {
  return text;
}
std::string Show(std::int64_t number) {
  return std::to_string(number);
}
std::string Show(const RECT* r) {
  return std::to_string(r->left) + "," + std::to_string(r->top) + "," + std::to_string(r->right) +
         "," + std::to_string(r->bottom);
}
std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "%lX", value);
  return text;
}

// One line per call: the function's name and each argument.
template <class... Arguments>
void Record(const char* function, const Arguments&... arguments) {
  std::string line = function;
  ((line += " " + Show(arguments)), ...);
  Fake().events.push_back(line);
}

// The stand-ins, each named for the function it replaces.
struct StandIn {
  static HMODULE WINAPI GetModuleHandleW(LPCWSTR name) {
    Record("GetModuleHandleW", name);
    return script.module;
  }
  static HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR id) {
    Record("LoadIconW", instance, id);
    return static_cast<HICON>(script.icon);
  }
  static HCURSOR WINAPI LoadCursorW(HINSTANCE instance, LPCWSTR id) {
    Record("LoadCursorW", instance, id);
    return static_cast<HCURSOR>(script.cursor);
  }
  static ATOM WINAPI RegisterClassExW(const WNDCLASSEXW* c) {
    Record("RegisterClassExW", c->cbSize, c->style, c->lpfnWndProc == LauncherWindowProc,
           c->cbClsExtra, c->cbWndExtra, c->hInstance, c->hIcon, c->hCursor, c->hbrBackground,
           c->lpszMenuName, c->lpszClassName, c->hIconSm);
    return 0xC001;
  }
  static HWND WINAPI CreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title, DWORD style,
                                     int x, int y, int width, int height, HWND parent, HMENU menu,
                                     HINSTANCE instance, LPVOID parameter) {
    Record("CreateWindowExW", ex_style, class_name, title, Hex(style).c_str(), x, y, width, height,
           parent, reinterpret_cast<std::uintptr_t>(menu), instance, parameter);
    if (parent == nullptr) {
      return script.window;
    }
    return std::exchange(script.first_button, true) ? kButton : nullptr;
  }
  static BOOL WINAPI ShowWindow(HWND window, int command) {
    return Record("ShowWindow", window, command), FALSE;
  }
  static BOOL WINAPI SetForegroundWindow(HWND window) {
    return Record("SetForegroundWindow", window), FALSE;
  }
  // One message, then WM_QUIT.
  static BOOL WINAPI GetMessageW(LPMSG message, HWND window, UINT first, UINT last) {
    Record("GetMessageW", window, first, last);
    const bool quit = message->message == WM_USER;
    *message = {};
    message->message = quit ? WM_QUIT : WM_USER;
    return !quit;
  }
  static BOOL WINAPI TranslateMessage(const MSG* m) {
    return Record("TranslateMessage", m->message), FALSE;
  }
  static LRESULT WINAPI DispatchMessageW(const MSG* m) {
    return Record("DispatchMessageW", m->message), 0;
  }
  static BOOL WINAPI DestroyWindow(HWND window) { return Record("DestroyWindow", window), TRUE; }
  static void WINAPI PostQuitMessage(int code) { Record("PostQuitMessage", code); }
  static LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return Record("DefWindowProcW", window, message, wparam, lparam), 42;
  }
  static HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    *paint = {};
    return Record("BeginPaint", window), kDc;
  }
  static BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT*) {
    return Record("EndPaint", window), TRUE;
  }
  static BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    Record("GetClientRect", window);
    if (script.client_rect) {
      *rect = {0, 0, 344, 201};
    }
    return script.client_rect;
  }
  static int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    return Record("FillRect", dc, rect, brush), 1;
  }
  static HBRUSH WINAPI CreateSolidBrush(COLORREF colour) {
    return Record("CreateSolidBrush", Hex(colour).c_str()), kBrush;
  }
  static BOOL WINAPI DeleteObject(HGDIOBJ object) { return Record("DeleteObject", object), TRUE; }
  static int WINAPI SetBkMode(HDC dc, int mode) { return Record("SetBkMode", dc, mode), 0; }
  static COLORREF WINAPI SetTextColor(HDC dc, COLORREF colour) {
    return Record("SetTextColor", dc, Hex(colour).c_str()), 0;
  }
  static BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int length) {
    return Record("TextOutW", dc, x, y, std::wstring(text, length).c_str(), length), TRUE;
  }
};

struct Patch {
  const char *dll, *function;
  void* replacement;
};
#define LTF_STAND_IN(dll, function) \
  { dll, #function, reinterpret_cast<void*>(StandIn::function) }
const Patch kPatches[] = {
    LTF_STAND_IN("kernel32.dll", GetModuleHandleW),
    LTF_STAND_IN("user32.dll", LoadIconW),
    LTF_STAND_IN("user32.dll", LoadCursorW),
    LTF_STAND_IN("user32.dll", RegisterClassExW),
    LTF_STAND_IN("user32.dll", CreateWindowExW),
    LTF_STAND_IN("user32.dll", ShowWindow),
    LTF_STAND_IN("user32.dll", SetForegroundWindow),
    LTF_STAND_IN("user32.dll", GetMessageW),
    LTF_STAND_IN("user32.dll", TranslateMessage),
    LTF_STAND_IN("user32.dll", DispatchMessageW),
    LTF_STAND_IN("user32.dll", DestroyWindow),
    LTF_STAND_IN("user32.dll", PostQuitMessage),
    LTF_STAND_IN("user32.dll", DefWindowProcW),
    LTF_STAND_IN("user32.dll", BeginPaint),
    LTF_STAND_IN("user32.dll", EndPaint),
    LTF_STAND_IN("user32.dll", GetClientRect),
    LTF_STAND_IN("user32.dll", FillRect),
    LTF_STAND_IN("gdi32.dll", CreateSolidBrush),
    LTF_STAND_IN("gdi32.dll", DeleteObject),
    LTF_STAND_IN("gdi32.dll", SetBkMode),
    LTF_STAND_IN("gdi32.dll", SetTextColor),
    LTF_STAND_IN("gdi32.dll", TextOutW),
};
#undef LTF_STAND_IN

// The calls and children of `run`, with every patch in place only while it runs.
template <class Run>
std::vector<std::string> Recorded(const Script& with, bool running, int box_answer, Run run) {
  script = with;
  Fake() = testing::FakeSystem();
  Fake().probe_result = testing::OutputOf(running ? "lanternfield.exe" : "");
  Fake().existing_paths = {u"C:\\Apps\\Uninstall.exe"};
  Fake().box_answers = {box_answer};
  void* originals[std::size(kPatches)];
  for (std::size_t i = 0; i < std::size(kPatches); ++i) {
    originals[i] = PatchImport(kPatches[i].dll, kPatches[i].function, kPatches[i].replacement);
  }
  run();
  for (std::size_t i = 0; i < std::size(kPatches); ++i) {
    PatchImport(kPatches[i].dll, kPatches[i].function, originals[i]);
    EXPECT_NE(originals[i], nullptr) << kPatches[i].function;
  }
  return Fake().events;
}

TEST(RunLauncherWindowTest, RegistersCreatesAndLoopsOnlyWithAWindow) {
  const struct {
    Script script;
    std::string instance, icon, cursor, window;
  } cases[] = {
      {{}, "module", "icon", "cursor", "window"},
      // A failed creation: nothing could ever post WM_QUIT, so the loop is never entered.
      {{.window = nullptr}, "module", "icon", "cursor", "null"},
      {{.module = nullptr}, "null", "icon", "cursor", "window"},
      {{.icon = nullptr, .cursor = nullptr}, "module", "null", "null", "window"},
      {{.icon = kAllBits, .cursor = kAllBits}, "module", "null", "null", "window"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> expected = {
        "GetModuleHandleW null",
        "LoadIconW null 32512",
        "LoadCursorW null 32512",
        "RegisterClassExW 80 0 1 0 0 " + c.instance + " " + c.icon + " " + c.cursor +
            " white null LTF_Launcher null",
        "CreateWindowExW 0 LTF_Launcher Lanternfield 10C80000 -2147483648 -2147483648 360 240 "
        "null 0 " +
            c.instance + " null",
        "ShowWindow " + c.window + " 5",
        "SetForegroundWindow " + c.window,
    };
    if (c.window != "null") {
      expected.insert(expected.end(), {"GetMessageW null 0 0", "TranslateMessage 1024",
                                       "DispatchMessageW 1024", "GetMessageW null 0 0"});
    }
    EXPECT_EQ(Recorded(c.script, false, 1, [] { RunLauncherWindow(); }), expected);
  }
}

TEST(LauncherWindowProcTest, HandlesItsMessagesWithExactlyTheseCalls) {
  using testing::kProbe;
  const std::string button = "CreateWindowExW 0 BUTTON ";
  const auto paint = [](std::string rect, std::string colour, std::string status) {
    return std::vector<std::string>{"BeginPaint window",
                                    "GetClientRect window",
                                    "CreateSolidBrush 2E1E1E",
                                    "FillRect dc " + rect + " brush",
                                    "DeleteObject brush",
                                    "SetBkMode dc 1",
                                    "SetTextColor dc F2F8F8",
                                    "TextOutW dc 20 20 Lanternfield 12",
                                    kProbe,
                                    "SetTextColor dc " + colour,
                                    "TextOutW dc 20 50 " + status + " 7",
                                    "EndPaint window"};
  };
  const struct {
    Script script;
    UINT message;
    WPARAM wparam;
    bool running;
    int answer;
    LRESULT result;
    std::vector<std::string> calls;
  } cases[] = {
      {{},
       WM_CREATE,
       0,
       true,
       1,
       0,
       {"GetModuleHandleW null", kProbe,
        button + "Stop Lanternfield 50010000 20 90 310 38 window 101 module null",
        button + "Check for Updates 50010000 20 140 148 34 window 102 module null",
        button + "Uninstall 50010000 182 140 148 34 window 103 module null"}},
      // A button that cannot be made is left out; the others are still made.
      {{.module = nullptr, .first_button = false},
       WM_CREATE,
       0,
       false,
       1,
       0,
       {"GetModuleHandleW null", kProbe,
        button + "Start Lanternfield 50010000 20 90 310 38 window 101 null null",
        button + "Check for Updates 50010000 20 140 148 34 window 102 null null",
        button + "Uninstall 50010000 182 140 148 34 window 103 null null"}},
      {{}, WM_PAINT, 0, false, 1, 0, paint("0,0,344,201", "5555FF", "Stopped")},
      {{.client_rect = false}, WM_PAINT, 0, true, 1, 0, paint("0,0,0,0", "CC55", "Running")},
      {{},
       WM_COMMAND,
       MAKEWPARAM(101, 1),
       true,
       1,
       0,
       {kProbe, testing::kStop, "DestroyWindow window"}},
      {{}, WM_COMMAND, 102, true, 1, 0, {testing::kUpdate}},
      {{}, WM_COMMAND, 103, true, 7, 0, {testing::kConfirm}},
      {{},
       WM_COMMAND,
       103,
       true,
       6,
       0,
       {testing::kConfirm, testing::kStop, testing::kStartUninstaller, "PostQuitMessage 0"}},
      {{}, WM_DESTROY, 0, true, 1, 0, {"PostQuitMessage 0"}},
      // The default handling would answer with the button-face brush.
      {{}, WM_CTLCOLORBTN, 7, true, 1, 0, {}},
      {{}, WM_CLOSE, 5, true, 1, 42, {"DefWindowProcW window 16 5 9"}},
  };
  for (const auto& c : cases) {
    LRESULT result = -1;
    const auto calls = Recorded(c.script, c.running, c.answer, [&] {
      result = LauncherWindowProc(kWindow, c.message, c.wparam, 9);
    });
    EXPECT_EQ(calls, c.calls) << c.message << " " << c.wparam;
    EXPECT_EQ(result, c.result) << c.message << " " << c.wparam;
  }
}

}  // namespace
}  // namespace ltf
