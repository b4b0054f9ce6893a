#pragma once

// The children of the runner tests are this test program itself: started with "--child MODE"
// it plays one part and exits before any test runs. A copy under another name (tasklist.exe,
// cmd.exe, …) reports how it was started.
#include <shellapi.h>
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "launcher/companion_actions.h"
#include "launcher/status_probe.h"
#include "platform/cmdline/split_command_line.h"
#include "platform/paths/path_services.h"
#include "platform/process/lookup_system_win.h"
#include "platform/process/runner.h"
#include "platform/wide_units_win.h"

namespace ltf::testing {

inline std::u16string Units(const wchar_t* wide) {
  return reinterpret_cast<const char16_t*>(wide);
}

inline void Write(DWORD id, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(id), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

inline void WriteFileText(const std::u16string& path, const std::string& text) {
  const HANDLE file =
      CreateFileW(AsWide(path.c_str()), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

// Module path, raw command line and current directory, each ended by a 0 byte.
inline std::string Report() {
  wchar_t directory[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, directory);
  return ToUtf8(ExecutablePath().value_or(u"")) + '\0' + ToUtf8(Units(GetCommandLineW())) + '\0' +
         ToUtf8(Units(directory)) + '\0';
}

// Byte i of a flooded stream: a period that no pipe or buffer size divides.
inline char FloodByte(std::size_t i, bool error_stream) {
  return static_cast<char>((i * 7 + (error_stream ? 3 : 0)) % 251);
}
inline constexpr std::size_t kFloodBytes = 1 << 20;

inline std::string RunForReport(const ProcessCommand& command) {
  auto run = RunToCompletion(command);
  return run ? std::string(run->standard_output.begin(), run->standard_output.end())
             : "(failed " + std::to_string(run.error().code) + ")";
}

inline void PlayChild(const std::vector<std::u16string>& arguments) {
  const std::u16string mode = arguments.size() > 2 ? arguments[2] : u"";
  const std::u16string operand = arguments.size() > 3 ? arguments[3] : u"";
  if (mode == u"report") {
    Write(STD_OUTPUT_HANDLE, Report());
  } else if (mode == u"raw-line") {
    const std::u16string line = Units(GetCommandLineW());
    Write(STD_OUTPUT_HANDLE,
          std::string(reinterpret_cast<const char*>(line.data()), line.size() * sizeof(char16_t)));
  } else if (mode == u"exit") {
    ExitProcess(std::wcstoul(AsWide(operand.c_str()), nullptr, 10));
  } else if (mode == u"flood") {
    for (bool error_stream : {true, false}) {
      std::string bytes(kFloodBytes, '\0');
      for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = FloodByte(i, error_stream);
      }
      Write(error_stream ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE, bytes);
    }
  } else if (mode == u"grandchild") {
    // The grandchild inherits our standard output, the pipe of the run that started us.
    StartAndRelease({arguments[0], {u"--child", u"late"}});
    Write(STD_OUTPUT_HANDLE, "child-done;");
  } else if (mode == u"late") {
    Sleep(1500);
    Write(STD_OUTPUT_HANDLE, "grandchild-done;");
  } else if (mode == u"linger") {
    WriteFileText(operand, std::to_string(GetCurrentProcessId()));
    Sleep(60000);
  } else if (mode == u"handles") {
    // What Windows gave us: the startup flags, then per standard handle whether it is usable.
    STARTUPINFOW startup{};
    GetStartupInfoW(&startup);
    std::string text = std::to_string(startup.dwFlags);
    for (DWORD id : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
      DWORD flags = 0;
      text += GetHandleInformation(GetStdHandle(id), &flags) ? " open" : " none";
    }
    WriteFileText(operand, text);
    Write(STD_OUTPUT_HANDLE, "hello");
  } else if (mode == u"launcher-children") {
    // The launcher's own children, found beside this copy: the stand-ins report their lines.
    for (const ProcessCommand& command : {ProbeCommand(), StopCommand(), UpdatePageCommand()}) {
      Write(STD_OUTPUT_HANDLE, RunForReport(command));
    }
  } else if (mode == u"resolve") {
    auto resolved = ResolveProgram(WindowsLookupSystem(), operand);
    Write(STD_OUTPUT_HANDLE,
          resolved ? ToUtf8(resolved->Units()) : std::string(resolved.error().message));
  }
}

// A line as Windows' own splitter reads it, in UTF-16.
inline std::vector<std::u16string> WindowsSplit(const std::u16string& line) {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(AsWide(line.c_str()), &count);
  std::vector<std::u16string> arguments;
  for (int i = 0; i < count; ++i) {
    arguments.push_back(Units(argv[i]));
  }
  LocalFree(argv);
  return arguments;
}

inline const bool kRanAsChild = [] {
  const std::u16string self = ExecutablePath().value_or(u"");
  const std::vector<std::u16string> arguments = WindowsSplit(Units(GetCommandLineW()));
  if (arguments.size() > 1 && arguments[1] == u"--child") {
    PlayChild(arguments);
    ExitProcess(0);
  }
  if (!self.ends_with(u"\\" LTF_TEST_PROGRAM)) {
    Write(STD_OUTPUT_HANDLE, Report());
    ExitProcess(0);
  }
  return false;
}();

}  // namespace ltf::testing
