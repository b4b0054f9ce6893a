// Plays every program the launcher starts, chosen by its own file name, and logs each start
// beside itself in calls.log: name, process id, current directory and raw command line.
//   tasklist.exe      prints tasklist.out / tasklist.err and exits with tasklist.code when
//                     tasklist.out is beside it; otherwise lists the running processes,
//                     honouring /FI "IMAGENAME eq NAME" and /NH (Wine's own prints nothing).
//   lanternfield.exe  stays alive until it is ended, so a task list can find it.
//   anything else     (Uninstall.exe, cmd.exe, taskkill.exe) exits at once with 0.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cwctype>
#include <string>

#include "utf8_text_win.h"

namespace {

std::wstring Directory(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring Lower(std::wstring text) {
  for (wchar_t& unit : text) {
    unit = static_cast<wchar_t>(std::towlower(unit));
  }
  return text;
}

bool ReadWhole(const std::wstring& path, std::string& bytes) {
  const HANDLE file =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0) {
    bytes.append(chunk, read);
  }
  CloseHandle(file);
  return true;
}

void WriteTo(DWORD id, const std::string& bytes) {
  DWORD written = 0;
  WriteFile(GetStdHandle(id), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

// One append per start, so concurrent stand-ins do not interleave their lines.
void Log(const std::wstring& directory, const std::wstring& name) {
  wchar_t current[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, current);
  const std::string line = Utf8(name) + '\t' + std::to_string(GetCurrentProcessId()) + '\t' +
                           Utf8(current) + '\t' + Utf8(GetCommandLineW()) + '\n';
  const HANDLE log =
      CreateFileW((directory + L"\\calls.log").c_str(), FILE_APPEND_DATA,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(log);
}

// The image name after /FI "IMAGENAME eq ", or empty for no filter.
std::wstring FilteredName(int count, wchar_t** arguments, bool& headings) {
  std::wstring name;
  const std::wstring prefix = L"imagename eq ";
  for (int i = 1; i < count; ++i) {
    const std::wstring argument = Lower(arguments[i]);
    if (argument == L"/nh") {
      headings = false;
    } else if (argument == L"/fi" && i + 1 < count && Lower(arguments[i + 1]).starts_with(prefix)) {
      name = Lower(arguments[++i]).substr(prefix.size());
    }
  }
  return name;
}

int ListProcesses() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  bool headings = true;
  const std::wstring wanted = FilteredName(count, arguments, headings);
  LocalFree(arguments);

  std::string output =
      headings ? "\r\nImage Name                     PID Session Name\r\n" : "\r\n";
  bool any = false;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (wanted.empty() || Lower(entry.szExeFile) == wanted) {
      std::string image = Utf8(entry.szExeFile);
      image.resize(std::max<std::size_t>(image.size(), 25), ' ');
      output += image + ' ' + std::to_string(entry.th32ProcessID) + " Console\r\n";
      any = true;
    }
  }
  CloseHandle(snapshot);
  if (!any) {
    output = "INFO: No tasks are running which match the specified criteria.\r\n";
  }
  WriteTo(STD_OUTPUT_HANDLE, output);
  return 0;
}

int ScriptedTaskList(const std::wstring& directory, const std::string& output) {
  std::string error, code;
  ReadWhole(directory + L"\\tasklist.err", error);
  ReadWhole(directory + L"\\tasklist.code", code);
  WriteTo(STD_OUTPUT_HANDLE, output);
  WriteTo(STD_ERROR_HANDLE, error);
  return code.empty() ? 0 : std::stoi(code);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t module[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH + 1);
  const std::wstring path = module, directory = Directory(path);
  const std::wstring name = path.substr(directory.size() + 1);
  Log(directory, name);
  if (Lower(name) == L"tasklist.exe") {
    std::string output;
    return ReadWhole(directory + L"\\tasklist.out", output) ? ScriptedTaskList(directory, output)
                                                            : ListProcesses();
  }
  if (Lower(name) == L"lanternfield.exe") {
    Sleep(INFINITE);
  }
  return 0;
}
