// RunLauncherWindow in-process, with this program's imports of the Windows calls it makes
// pointed at recording stand-ins: the exact class record and window arguments, the failure
// rule for their results, and whether the message loop is entered.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "native/launcher_fake_system.h"
#include "window/launcher_window.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {

// The window code's way to the system; nothing here may reach it.
System& WindowsSystem() {
  static testing::FakeSystem system;
  return system;
}

namespace {

// Taken before any patch, since GetModuleHandleW is one of the calls patched.
BYTE* const kImage = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));

// Points this program's import of `function` from `dll` at `replacement`; returns the original.
void* PatchImport(const char* dll, const char* function, void* replacement) {
  BYTE* const base = kImage;
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       entry->Name != 0; ++entry) {
    if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll) != 0) {
      continue;
    }
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) ||
          std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name,
                      function) != 0) {
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

const auto kAllBits = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
const auto kModule = reinterpret_cast<HINSTANCE>(0x140000000);
const auto kIcon = reinterpret_cast<HICON>(0x10011), kCursor = reinterpret_cast<HCURSOR>(0x10013);
const auto kWindow = reinterpret_cast<HWND>(0x20020);

// What the stand-ins answer, and what they saw.
struct Script {
  HINSTANCE module;
  HANDLE icon, cursor;
  HWND window;
};
Script script;
std::vector<std::string> calls;
WNDCLASSEXW registered;
std::wstring class_name, title, created_class;
CREATESTRUCTW created;

HMODULE WINAPI FakeGetModuleHandleW(LPCWSTR name) {
  calls.push_back(name ? "GetModuleHandleW(name)" : "GetModuleHandleW");
  SetLastError(script.module ? 0 : ERROR_MOD_NOT_FOUND);
  return script.module;
}
HICON WINAPI FakeLoadIconW(HINSTANCE instance, LPCWSTR id) {
  calls.push_back("LoadIconW " + std::to_string(instance == nullptr) + " " +
                  std::to_string(reinterpret_cast<std::uintptr_t>(id)));
  return static_cast<HICON>(script.icon);
}
HCURSOR WINAPI FakeLoadCursorW(HINSTANCE instance, LPCWSTR id) {
  calls.push_back("LoadCursorW " + std::to_string(instance == nullptr) + " " +
                  std::to_string(reinterpret_cast<std::uintptr_t>(id)));
  return static_cast<HCURSOR>(script.cursor);
}
ATOM WINAPI FakeRegisterClassExW(const WNDCLASSEXW* record) {
  calls.push_back("RegisterClassExW");
  registered = *record;
  class_name = record->lpszClassName;
  return 0xC001;
}
HWND WINAPI FakeCreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR window_title,
                                DWORD style, int x, int y, int width, int height, HWND parent,
                                HMENU menu, HINSTANCE instance, LPVOID parameter) {
  calls.push_back("CreateWindowExW");
  created_class = class_name;
  title = window_title;
  created = {parameter, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
             nullptr, nullptr, ex_style};
  SetLastError(script.window ? 0 : ERROR_ACCESS_DENIED);
  return script.window;
}
BOOL WINAPI FakeShowWindow(HWND window, int command) {
  calls.push_back("ShowWindow " + std::to_string(window == script.window) + " " +
                  std::to_string(command));
  return FALSE;
}
BOOL WINAPI FakeSetForegroundWindow(HWND window) {
  calls.push_back("SetForegroundWindow " + std::to_string(window == script.window));
  return FALSE;
}
BOOL WINAPI FakeGetMessageW(LPMSG message, HWND window, UINT first, UINT last) {
  calls.push_back("GetMessageW " + std::to_string(window == nullptr) + " " +
                  std::to_string(first) + " " + std::to_string(last));
  *message = {};
  message->message = WM_QUIT;
  return FALSE;
}

struct Patch {
  const char *dll, *function;
  void* replacement;
};
const Patch kPatches[] = {
    {"kernel32.dll", "GetModuleHandleW", reinterpret_cast<void*>(FakeGetModuleHandleW)},
    {"user32.dll", "LoadIconW", reinterpret_cast<void*>(FakeLoadIconW)},
    {"user32.dll", "LoadCursorW", reinterpret_cast<void*>(FakeLoadCursorW)},
    {"user32.dll", "RegisterClassExW", reinterpret_cast<void*>(FakeRegisterClassExW)},
    {"user32.dll", "CreateWindowExW", reinterpret_cast<void*>(FakeCreateWindowExW)},
    {"user32.dll", "ShowWindow", reinterpret_cast<void*>(FakeShowWindow)},
    {"user32.dll", "SetForegroundWindow", reinterpret_cast<void*>(FakeSetForegroundWindow)},
    {"user32.dll", "GetMessageW", reinterpret_cast<void*>(FakeGetMessageW)},
};

void RunWithStandIns() {
  void* originals[std::size(kPatches)];
  for (std::size_t i = 0; i < std::size(kPatches); ++i) {
    originals[i] = PatchImport(kPatches[i].dll, kPatches[i].function, kPatches[i].replacement);
    ASSERT_NE(originals[i], nullptr) << kPatches[i].function;
  }
  RunLauncherWindow();
  for (std::size_t i = 0; i < std::size(kPatches); ++i) {
    PatchImport(kPatches[i].dll, kPatches[i].function, originals[i]);
  }
}

TEST(RunLauncherWindowTest, RegistersCreatesAndLoopsOnlyWithAWindow) {
  const std::vector<std::string> start = {"GetModuleHandleW", "LoadIconW 1 32512",
                                          "LoadCursorW 1 32512", "RegisterClassExW",
                                          "CreateWindowExW", "ShowWindow 1 5",
                                          "SetForegroundWindow 1"};
  const struct {
    Script script;
    HINSTANCE instance;
    HICON icon;
    HCURSOR cursor;
    bool loops;
  } cases[] = {
      {{kModule, kIcon, kCursor, kWindow}, kModule, kIcon, kCursor, true},
      // A failed creation: nothing could ever post WM_QUIT, so the loop is never entered.
      {{kModule, kIcon, kCursor, nullptr}, kModule, kIcon, kCursor, false},
      {{nullptr, kIcon, kCursor, kWindow}, nullptr, kIcon, kCursor, true},
      {{kModule, nullptr, nullptr, kWindow}, kModule, nullptr, nullptr, true},
      {{kModule, kAllBits, kAllBits, kWindow}, kModule, nullptr, nullptr, true},
  };
  for (const auto& c : cases) {
    script = c.script;
    calls.clear();
    RunWithStandIns();
    std::vector<std::string> expected = start;
    if (c.loops) {
      expected.push_back("GetMessageW 1 0 0");
    }
    EXPECT_EQ(calls, expected);

    EXPECT_EQ(registered.cbSize, 80u);
    EXPECT_EQ(registered.style, 0u);
    EXPECT_EQ(registered.lpfnWndProc, LauncherWindowProc);
    EXPECT_EQ(registered.cbClsExtra, 0);
    EXPECT_EQ(registered.cbWndExtra, 0);
    EXPECT_EQ(registered.hInstance, c.instance);
    EXPECT_EQ(registered.hIcon, c.icon);
    EXPECT_EQ(registered.hCursor, c.cursor);
    EXPECT_EQ(registered.hbrBackground, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(registered.lpszMenuName, nullptr);
    EXPECT_EQ(registered.hIconSm, nullptr);
    EXPECT_EQ(class_name, L"LTF_Launcher");

    EXPECT_EQ(created_class, L"LTF_Launcher");
    EXPECT_EQ(title, L"Lanternfield");
    EXPECT_EQ(created.dwExStyle, 0u);
    EXPECT_EQ(static_cast<DWORD>(created.style), 0x10C80000u);
    EXPECT_EQ(created.x, CW_USEDEFAULT);
    EXPECT_EQ(created.y, CW_USEDEFAULT);
    EXPECT_EQ(created.cx, 360);
    EXPECT_EQ(created.cy, 240);
    EXPECT_EQ(created.hwndParent, nullptr);
    EXPECT_EQ(created.hMenu, nullptr);
    EXPECT_EQ(created.hInstance, c.instance);
    EXPECT_EQ(created.lpCreateParams, nullptr);
  }
  EXPECT_TRUE(static_cast<testing::FakeSystem&>(WindowsSystem()).events.empty());
}

}  // namespace
}  // namespace ltf
