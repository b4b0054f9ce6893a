// RunToCompletion against the plainest Windows calls that do the same, on the same child: this
// exe started again with a flag. Prints one line per measurement: name, median, min and max in
// seconds, and the number of runs.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/paths/paths.h"
#include "platform/process/process.h"
#include "platform/text/text.h"
#include "platform/unique_handle_win.h"

namespace {

using ltf::UniqueHandle;

constexpr std::size_t kCaptureBytes = 64u << 20;
constexpr wchar_t kWriteFlag[] = L"--write-standard-output";
constexpr wchar_t kExitFlag[] = L"--exit-at-once";

int WriteToStandardOutput(std::size_t size) {
  static char chunk[64 * 1024];
  std::fill(std::begin(chunk), std::end(chunk), 'x');
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  while (size > 0) {
    DWORD written = 0;
    const auto want = static_cast<DWORD>(std::min(size, sizeof(chunk)));
    if (!WriteFile(out, chunk, want, &written, nullptr) || written == 0) {
      return 1;
    }
    size -= written;
  }
  return 0;
}

std::u16string Units(const std::wstring& text) {
  return {reinterpret_cast<const char16_t*>(text.data()), text.size()};
}

struct Child {
  std::wstring path;
  std::vector<std::wstring> arguments;

  std::wstring CommandLine() const {
    std::wstring line = L"\"" + path + L"\"";
    for (const std::wstring& argument : arguments) {
      line += L" " + argument;
    }
    return line;
  }
  ltf::ProcessCommand Command() const {
    ltf::ProcessCommand command{Units(path), {}};
    for (const std::wstring& argument : arguments) {
      command.arguments.push_back(Units(argument));
    }
    return command;
  }
};

// Returns the bytes captured, or -1 on failure.
long long CaptureWithRunner(const Child& child) {
  const auto output = ltf::RunToCompletion(child.Command());
  if (!output || output->status != 0) {
    return -1;
  }
  return static_cast<long long>(output->standard_output.size());
}

UniqueHandle OpenNull(DWORD access, SECURITY_ATTRIBUTES* inherit) {
  return UniqueHandle(CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, inherit,
                                  OPEN_EXISTING, 0, nullptr));
}

// The same child with standard output on an anonymous pipe read synchronously, 64 KiB a call,
// into a growing buffer; standard input and error on the null device.
long long CaptureWithReadFileLoop(const Child& child) {
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  UniqueHandle reader, writer;
  if (!CreatePipe(reader.Receive(), writer.Receive(), &inherit, 0) ||
      !SetHandleInformation(reader.Get(), HANDLE_FLAG_INHERIT, 0)) {
    return -1;
  }
  const UniqueHandle input = OpenNull(GENERIC_READ, &inherit);
  const UniqueHandle error = OpenNull(GENERIC_WRITE, &inherit);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input.Get();
  startup.hStdOutput = writer.Get();
  startup.hStdError = error.Get();
  std::wstring line = child.CommandLine();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(child.path.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return -1;
  }
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  writer.Reset();  // the child holds the only writer now, so the pipe ends when it exits

  std::vector<unsigned char> bytes;
  std::vector<unsigned char> chunk(64 * 1024uz);
  DWORD read = 0;
  while (ReadFile(reader.Get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) &&
         read > 0) {
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + read);
  }
  DWORD status = 1;
  if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.Get(), &status) || status != 0) {
    return -1;
  }
  return static_cast<long long>(bytes.size());
}

long long SpawnWithRunner(const Child& child) {
  return CaptureWithRunner(child) == 0 ? 0 : -1;
}

// Nothing redirected, nothing inherited: the cheapest start and wait there is.
long long SpawnBare(const Child& child) {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring line = child.CommandLine();
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(child.path.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return -1;
  }
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  DWORD status = 1;
  if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0 ||
      !GetExitCodeProcess(process.Get(), &status) || status != 0) {
    return -1;
  }
  return 0;
}

struct Contender {
  const char* name;
  long long (*run)(const Child&);
  std::vector<double> seconds;
};

// Runs the contenders in turn, `runs` times each after one unmeasured warm-up, so that noise
// from the rest of the machine falls on all of them alike. False when a run failed or
// produced other than `expected` bytes.
bool Measure(const Child& child, long long expected, int runs, std::vector<Contender>& contenders) {
  for (int round = -1; round < runs; ++round) {
    for (Contender& c : contenders) {
      const auto start = std::chrono::steady_clock::now();
      const long long produced = c.run(child);
      const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
      if (produced != expected) {
        std::fprintf(stderr, "%s: got %lld bytes, wanted %lld\n", c.name, produced, expected);
        return false;
      }
      if (round >= 0) {
        c.seconds.push_back(elapsed.count());
      }
    }
  }
  return true;
}

void Print(const std::vector<Contender>& contenders) {
  for (Contender c : contenders) {
    std::sort(c.seconds.begin(), c.seconds.end());
    const std::size_t n = c.seconds.size();
    const double median =
        n % 2 == 1 ? c.seconds[n / 2] : (c.seconds[n / 2 - 1] + c.seconds[n / 2]) / 2;
    std::printf("%s\t%.6f\t%.6f\t%.6f\t%zu\n", c.name, median, c.seconds.front(), c.seconds.back(),
                n);
  }
}

int Usage() {
  std::fputs("usage: ltf_runner_bench [CAPTURE_RUNS [SPAWN_RUNS]]\n", stderr);
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 2 && std::wcscmp(argv[1], kExitFlag) == 0) {
    return 0;
  }
  if (argc >= 3 && std::wcscmp(argv[1], kWriteFlag) == 0) {
    return WriteToStandardOutput(std::wcstoull(argv[2], nullptr, 10));
  }
  const int capture_runs = argc > 1 ? _wtoi(argv[1]) : 7;
  const int spawn_runs = argc > 2 ? _wtoi(argv[2]) : 31;
  if (argc > 3 || capture_runs <= 0 || spawn_runs <= 0) {
    return Usage();
  }

  const std::expected<ltf::Path, ltf::WindowsError> executable = ltf::ExecutablePath();
  if (!executable) {
    return 1;
  }
  const std::wstring self(executable->begin(), executable->end());
  const Child writer{self, {kWriteFlag, std::to_wstring(kCaptureBytes)}};
  std::vector<Contender> capture = {{"capture_runner", CaptureWithRunner, {}},
                                    {"capture_readfile_loop", CaptureWithReadFileLoop, {}}};
  if (!Measure(writer, static_cast<long long>(kCaptureBytes), capture_runs, capture)) {
    return 1;
  }
  const Child quitter{self, {kExitFlag}};
  std::vector<Contender> spawn = {{"spawn_runner", SpawnWithRunner, {}},
                                  {"spawn_bare", SpawnBare, {}}};
  if (!Measure(quitter, 0, spawn_runs, spawn)) {
    return 1;
  }
  std::printf("capture_bytes\t%zu\n", kCaptureBytes);
  Print(capture);
  Print(spawn);
  return 0;
}
