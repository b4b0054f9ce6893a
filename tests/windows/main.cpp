// The Windows-side test program. A test that needs a child starts this program again with a
// role in its environment (ChildRole); the child plays it instead of running the tests.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <shellapi.h>

#include <bit>
#include <cwchar>
#include <string>
#include <utility>

#include "platform/process/process.h"
#include "support.h"

namespace ltf::testing {
namespace {

void Write(DWORD id, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(id), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void WriteFileText(const wchar_t* path, const std::string& text) {
  const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

int PlayChild(const std::wstring& role, const wchar_t* operand) {
  if (role == L"exit") {
    return static_cast<int>(std::wcstoul(operand, nullptr, 10));
  } else if (role == L"flood") {
    // A full pipe of standard error first; then it ends while standard output has yet to begin.
    for (const DWORD id : {STD_ERROR_HANDLE, STD_OUTPUT_HANDLE}) {
      std::string bytes(kFloodBytes, '\0');
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = FloodByte(i, id == STD_ERROR_HANDLE);
      }
      Write(id, bytes);
      CloseHandle(GetStdHandle(id));
      Sleep(200);
    }
  } else if (role == L"grandchild") {
    // The grandchild inherits our standard output, the pipe of the run that started us.
    {
      const ChildRole late(L"late");
      (void)StartAndRelease({ThisProgram(), {}});
    }
    Write(STD_OUTPUT_HANDLE, "child-done;");
  } else if (role == L"late") {
    Sleep(1500);
    Write(STD_OUTPUT_HANDLE, "grandchild-done;");
  } else if (role == L"handles") {
    // What Windows gave us: the startup flags, then per standard handle whether it is usable.
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    std::string text = std::to_string(startup.dwFlags);
    for (const DWORD id : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
      DWORD flags = 0;
      text += GetHandleInformation(GetStdHandle(id), &flags) ? " open" : " none";
    }
    WriteFileText(operand, text);
    Write(STD_OUTPUT_HANDLE, "hello");
  } else if (role == L"late-line") {
    // Its command line and how it was asked to show its window, written only after a while: a
    // start that waited finds them at once.
    Sleep(500);
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    const std::wstring line =
        GetCommandLineW() + std::wstring(L" show ") + std::to_wstring(startup.wShowWindow);
    WriteFileText(operand, {reinterpret_cast<const char*>(line.data()), line.size() * 2});
  } else if (role == L"arguments") {
    // What the system's two parsers read from our command line, CommandLineToArgvW's list and
    // then the C runtime's: each its count and a colon, then every element ended by a 0 unit.
    int count = 0;
    wchar_t** const parsed = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring lists;
    for (const auto& [size, elements] : {std::pair{count, parsed}, std::pair{__argc, __wargv}}) {
      lists += std::to_wstring(size) + L':';
      for (int i = 0; i < size; ++i) {
        lists.append(elements[i]).push_back(L'\0');
      }
    }
    LocalFree(static_cast<void*>(parsed));
    Write(STD_OUTPUT_HANDLE, {reinterpret_cast<const char*>(lists.data()), lists.size() * 2});
  } else if (role == L"call-data") {
    // A call through a pointer to data, which the guard refuses: no frame here holds an array,
    // so no stack cookie check ends the process instead.
    static constexpr int kNotCode = 0;
    void (*volatile target)() = std::bit_cast<void (*)()>(&kNotCode);
    target();
  } else {
    return 99;
  }
  return 0;
}

}  // namespace
}  // namespace ltf::testing

int wmain(int argc, wchar_t** argv) {
  wchar_t role[32];
  const DWORD length = GetEnvironmentVariableW(ltf::testing::kChildVariable, role, 32);
  if (length > 0 && length < 32) {
    return ltf::testing::PlayChild(role, argc > 1 ? argv[1] : L"");
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
