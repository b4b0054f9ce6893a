// RunLauncherWindow in-process, with this program's imports of the Windows calls it makes
// pointed at recording stand-ins: the exact class record and window arguments, the failure
// rule for their results, and whether the message loop is entered.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/windows_system.h"
#include "native/launcher_fake_system.h"
#include "window/launcher_window.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {
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

// What the stand-ins answer, and one line for each call they saw.
struct Script {
  HINSTANCE module;
  HANDLE icon, cursor;
  HWND window;
};
Script script;
std::vector<std::string> calls;

std::string Name(const void* handle) {
  if (handle == nullptr)
    return "null";
  if (handle == kModule)
    return "module";
  if (handle == kIcon)
    return "icon";
  if (handle == kCursor)
    return "cursor";
  if (handle == kWindow)
    return "window";
  if (handle == GetStockObject(WHITE_BRUSH))
    return "white";
  return "other";
}
std::string Text(LPCWSTR text) {
  return IS_INTRESOURCE(text) ? std::to_string(reinterpret_cast<std::uintptr_t>(text))
                              : std::string(text, text + wcslen(text));  // ASCII here
}

HMODULE WINAPI FakeGetModuleHandleW(LPCWSTR name) {
  calls.push_back("GetModuleHandleW " + Name(name));
  SetLastError(script.module ? 0 : ERROR_MOD_NOT_FOUND);
  return script.module;
}
HICON WINAPI FakeLoadIconW(HINSTANCE instance, LPCWSTR id) {
  calls.push_back("LoadIconW " + Name(instance) + " " + Text(id));
  return static_cast<HICON>(script.icon);
}
HCURSOR WINAPI FakeLoadCursorW(HINSTANCE instance, LPCWSTR id) {
  calls.push_back("LoadCursorW " + Name(instance) + " " + Text(id));
  return static_cast<HCURSOR>(script.cursor);
}
ATOM WINAPI FakeRegisterClassExW(const WNDCLASSEXW* c) {
  const bool proc = c->lpfnWndProc == LauncherWindowProc;
  calls.push_back("RegisterClassExW " + std::to_string(c->cbSize) + " " + std::to_string(c->style) +
                  " " + (proc ? "proc" : "other") + " " + std::to_string(c->cbClsExtra) + " " +
                  std::to_string(c->cbWndExtra) + " " + Name(c->hInstance) + " " + Name(c->hIcon) +
                  " " + Name(c->hCursor) + " " + Name(c->hbrBackground) + " " +
                  Name(c->lpszMenuName) + " " + Text(c->lpszClassName) + " " + Name(c->hIconSm));
  return 0xC001;
}
HWND WINAPI FakeCreateWindowExW(DWORD ex_style, LPCWSTR class_name, LPCWSTR title, DWORD style,
                                int x, int y, int width, int height, HWND parent, HMENU menu,
                                HINSTANCE instance, LPVOID parameter) {
  char numbers[64];
  std::snprintf(numbers, sizeof(numbers), "%lX %lX %X %X %d %d", ex_style, style, x, y, width,
                height);
  calls.push_back("CreateWindowExW " + Text(class_name) + " " + Text(title) + " " + numbers + " " +
                  Name(parent) + " " + Name(menu) + " " + Name(instance) + " " + Name(parameter));
  SetLastError(script.window ? 0 : ERROR_ACCESS_DENIED);
  return script.window;
}
BOOL WINAPI FakeShowWindow(HWND window, int command) {
  calls.push_back("ShowWindow " + Name(window) + " " + std::to_string(command));
  return FALSE;
}
BOOL WINAPI FakeSetForegroundWindow(HWND window) {
  calls.push_back("SetForegroundWindow " + Name(window));
  return FALSE;
}
BOOL WINAPI FakeGetMessageW(LPMSG message, HWND window, UINT first, UINT last) {
  calls.push_back("GetMessageW " + Name(window) + " " + std::to_string(first) + " " +
                  std::to_string(last));
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

TEST(RunLauncherWindowTest, RegistersCreatesAndLoopsOnlyWithAWindow) {
  const struct {
    Script script;
    std::string instance, icon, cursor, window;
    bool loops;
  } cases[] = {
      {{kModule, kIcon, kCursor, kWindow}, "module", "icon", "cursor", "window", true},
      // A failed creation: nothing could ever post WM_QUIT, so the loop is never entered.
      {{kModule, kIcon, kCursor, nullptr}, "module", "icon", "cursor", "null", false},
      {{nullptr, kIcon, kCursor, kWindow}, "null", "icon", "cursor", "window", true},
      {{kModule, nullptr, nullptr, kWindow}, "module", "null", "null", "window", true},
      {{kModule, kAllBits, kAllBits, kWindow}, "module", "null", "null", "window", true},
  };
  for (const auto& c : cases) {
    script = c.script;
    calls.clear();
    void* originals[std::size(kPatches)];
    for (std::size_t i = 0; i < std::size(kPatches); ++i) {
      originals[i] = PatchImport(kPatches[i].dll, kPatches[i].function, kPatches[i].replacement);
      ASSERT_NE(originals[i], nullptr) << kPatches[i].function;
    }
    RunLauncherWindow();
    for (std::size_t i = 0; i < std::size(kPatches); ++i) {
      PatchImport(kPatches[i].dll, kPatches[i].function, originals[i]);
    }

    std::vector<std::string> expected = {
        "GetModuleHandleW null",
        "LoadIconW null 32512",
        "LoadCursorW null 32512",
        "RegisterClassExW 80 0 proc 0 0 " + c.instance + " " + c.icon + " " + c.cursor +
            " white null LTF_Launcher null",
        "CreateWindowExW LTF_Launcher Lanternfield 0 10C80000 80000000 80000000 360 240 null "
        "null " +
            c.instance + " null",
        "ShowWindow " + c.window + " 5",
        "SetForegroundWindow " + c.window,
    };
    if (c.loops) {
      expected.push_back("GetMessageW null 0 0");
    }
    EXPECT_EQ(calls, expected);
  }
  EXPECT_TRUE(static_cast<testing::FakeSystem&>(WindowsSystem()).events.empty());
}

}  // namespace
}  // namespace ltf
