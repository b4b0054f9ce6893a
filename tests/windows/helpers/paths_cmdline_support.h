#pragma once

// Scratch directories and child programs for the Windows-side path and command-line tests. The
// children are copies of the test program itself, told apart by their file names.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/cmdline/command_line.h"
#include "platform/cmdline/split_command_line.h"
#include "platform/paths/path_services.h"
#include "platform/unique_handle_win.h"
#include "platform/wide_units_win.h"
#include "windows/helpers/scratch_directory.h"

extern "C" {
using Text = PUNICODE_STRING;
struct UserProcessInformation {
  ULONG length;
  HANDLE process, thread;
  BYTE client_and_image_information[16 + 64];
};
NTSTATUS NTAPI RtlCreateProcessParameters(PRTL_USER_PROCESS_PARAMETERS*, Text, Text, Text, Text,
                                          PVOID, Text, Text, Text, Text);
NTSTATUS NTAPI RtlDestroyProcessParameters(PRTL_USER_PROCESS_PARAMETERS);
NTSTATUS NTAPI RtlCreateUserProcess(Text, ULONG, PRTL_USER_PROCESS_PARAMETERS, PSECURITY_DESCRIPTOR,
                                    PSECURITY_DESCRIPTOR, HANDLE, BOOLEAN, HANDLE, HANDLE,
                                    UserProcessInformation*);
}

namespace ltf::testing {

using Fields = std::vector<std::string>;

inline constexpr char16_t kHelper[] = u"ltf-helper.exe";

// A copy of the test program named kHelper runs no tests: before main it writes, each ended by a
// 0 byte, its module name as Windows holds it, ExecutablePath, the companion's path in
// InstallDirectory, its raw command line and ParseCommandLine's list. A copy named
// lanternfield.exe stands in for the companion and leaves "companion-started" beside itself.
inline const bool kRanAsChild = [] {
  static wchar_t module[32768];
  const std::u16string raw(reinterpret_cast<char16_t*>(module),
                           GetModuleFileNameW(nullptr, module, 32768));
  if (raw.ends_with(u"\\lanternfield.exe")) {
    CloseHandle(CreateFileW(Wide(JoinPath(InstallDirectory(), u"companion-started")), GENERIC_WRITE,
                            0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ExitProcess(0);
  }
  if (!raw.ends_with(u"\\" + std::u16string(kHelper))) {
    return false;
  }
  std::string output;
  for (const std::u16string& field :
       {raw, ExecutablePath().value_or(u"(failed)"),
        JoinPath(InstallDirectory(), u"lanternfield.exe"),
        std::u16string(reinterpret_cast<const char16_t*>(GetCommandLineW()))}) {
    output += ToUtf8(field) + '\0';
  }
  for (const std::string& argument : ParseCommandLine()) {
    output += argument + '\0';
  }
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), output.data(), static_cast<DWORD>(output.size()),
            &written, nullptr);
  ExitProcess(0);
}();

// Owns root_, a fresh directory in the temporary directory (absolute, no trailing separator),
// and helper_, a helper copy of this test program in it.
class ScratchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = MakeScratchDirectory();
    ASSERT_FALSE(root_.empty());
    helper_ = root_ + u"\\" + kHelper;
    ASSERT_TRUE(CopyInto(ExecutablePath().value_or(u""), helper_));
  }
  void TearDown() override {
    if (!root_.empty()) {
      RemoveTree(Verbatim(root_));
    }
  }

  std::u16string root_, helper_;
};

// Starts `application` with exactly `line`; the fields it wrote, padded to five. Fails the test
// unless the child ends within 60 s with 0. CreateProcessW under Wine refuses applications past
// MAX_PATH and fills in an empty line: `through_ntdll` (absolute `application`) avoids both.
inline Fields Run(std::u16string application, std::u16string line, bool through_ntdll) {
  UniqueHandle reader, writer, process, thread;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  bool started = CreatePipe(reader.Receive(), writer.Receive(), &inherit, 1 << 16) != FALSE;
  if (started && through_ntdll) {
    const std::u16string nt_path = u"\\??\\" + application;
    UNICODE_STRING image, dos_image, command;
    RtlInitUnicodeString(&image, Wide(nt_path));
    RtlInitUnicodeString(&dos_image, Wide(application));
    RtlInitUnicodeString(&command, Wide(line));
    PRTL_USER_PROCESS_PARAMETERS parameters = nullptr;
    started = RtlCreateProcessParameters(&parameters, &dos_image, nullptr, nullptr, &command,
                                         nullptr, nullptr, nullptr, nullptr, nullptr) == 0;
    if (started) {
      // StandardOutput and StandardError, in the part of the record the headers call reserved.
      reinterpret_cast<PVOID*>(parameters->Reserved2)[3] = writer.Get();
      reinterpret_cast<PVOID*>(parameters->Reserved2)[4] = writer.Get();
      UserProcessInformation info{sizeof(info), nullptr, nullptr, {}};
      started = RtlCreateUserProcess(&image, OBJ_CASE_INSENSITIVE, parameters, nullptr, nullptr,
                                     nullptr, TRUE, nullptr, nullptr, &info) == 0;
      RtlDestroyProcessParameters(parameters);
      process.Reset(info.process);
      thread.Reset(info.thread);
    }
  } else if (started) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = writer.Get();
    PROCESS_INFORMATION info{};
    started = CreateProcessW(Wide(application), AsWide(line.data()), nullptr, nullptr, TRUE, 0,
                             nullptr, nullptr, &startup, &info);
    process.Reset(info.hProcess);
    thread.Reset(info.hThread);
  }
  ResumeThread(thread.Get());
  DWORD exit_code = 1, available = 0;
  if (!started || WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.Get(), &exit_code) || exit_code != 0) {
    TerminateProcess(process.Get(), 1);
    WaitForSingleObject(process.Get(), INFINITE);
    ADD_FAILURE() << "the child did not start, end within 60 s and exit with 0: " << exit_code;
  }
  // Once the child has ended, all it wrote waits in the pipe.
  PeekNamedPipe(reader.Get(), nullptr, 0, nullptr, &available, nullptr);
  std::string output(available, '\0');
  if (available > 0) {
    ReadFile(reader.Get(), output.data(), available, &available, nullptr);
  }
  Fields fields;
  for (std::size_t start = 0, end; (end = output.find('\0', start)) != std::string::npos;
       start = end + 1) {
    fields.push_back(output.substr(start, end - start));
  }
  fields.resize(std::max<std::size_t>(fields.size(), 5));
  return fields;
}

}  // namespace ltf::testing
