#pragma once

// Starting a child through ntdll, for what CreateProcessW will not do: under Wine it refuses
// applications past MAX_PATH and replaces an empty command line with one of its own.
#include <windows.h>
#include <winternl.h>

#include <memory>
#include <optional>
#include <string>

#include "windows/helpers/paths_cmdline_support.h"

extern "C" {
struct UserProcessInformation {
  ULONG length;
  HANDLE process;
  HANDLE thread;
  CLIENT_ID client;
  BYTE image_information[128];
};
NTSTATUS NTAPI RtlCreateProcessParameters(PRTL_USER_PROCESS_PARAMETERS*, PUNICODE_STRING,
                                          PUNICODE_STRING, PUNICODE_STRING, PUNICODE_STRING, PVOID,
                                          PUNICODE_STRING, PUNICODE_STRING, PUNICODE_STRING,
                                          PUNICODE_STRING);
NTSTATUS NTAPI RtlDestroyProcessParameters(PRTL_USER_PROCESS_PARAMETERS);
NTSTATUS NTAPI RtlCreateUserProcess(PUNICODE_STRING, ULONG, PRTL_USER_PROCESS_PARAMETERS,
                                    PSECURITY_DESCRIPTOR, PSECURITY_DESCRIPTOR, HANDLE, BOOLEAN,
                                    HANDLE, HANDLE, UserProcessInformation*);
}

namespace ltf::testing {

inline UNICODE_STRING Counted(std::u16string& text) {
  const auto bytes = static_cast<USHORT>(text.size() * sizeof(char16_t));
  return {bytes, bytes, reinterpret_cast<PWSTR>(text.data())};
}

struct ParametersDeleter {
  void operator()(PRTL_USER_PROCESS_PARAMETERS parameters) const {
    RtlDestroyProcessParameters(parameters);
  }
};

// Starts `application` (absolute, no prefix) with exactly `command_line`, however long or
// empty, and collects what it writes until it ends.
inline std::optional<ChildRun> RunThroughNtPath(std::u16string application,
                                                std::u16string command_line) {
  std::u16string nt_path = u"\\??\\" + application;
  UNICODE_STRING image = Counted(nt_path);
  UNICODE_STRING dos_image = Counted(application);
  UNICODE_STRING line = Counted(command_line);
  PRTL_USER_PROCESS_PARAMETERS created = nullptr;
  if (RtlCreateProcessParameters(&created, &dos_image, nullptr, nullptr, &line, nullptr, nullptr,
                                 nullptr, nullptr, nullptr) != 0) {
    return std::nullopt;
  }
  const std::unique_ptr<RTL_USER_PROCESS_PARAMETERS, ParametersDeleter> parameters(created);
  OutputPipe pipe;
  if (!pipe.Open()) {
    return std::nullopt;
  }
  // StandardOutput and StandardError, in the part of the record the headers call reserved.
  PVOID* slots = reinterpret_cast<PVOID*>(parameters->Reserved2);
  slots[3] = pipe.writer.Get();
  slots[4] = pipe.writer.Get();
  UserProcessInformation information{};
  information.length = sizeof(information);
  if (RtlCreateUserProcess(&image, OBJ_CASE_INSENSITIVE, parameters.get(), nullptr, nullptr,
                           nullptr, TRUE, nullptr, nullptr, &information) != 0) {
    return std::nullopt;
  }
  const UniqueHandle process(information.process);
  const UniqueHandle thread(information.thread);
  pipe.writer.Reset();
  ResumeThread(thread.Get());
  return Collect(std::move(pipe.reader), process);
}

}  // namespace ltf::testing
