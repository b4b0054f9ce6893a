// Plays every program the launcher starts, chosen by its own file name, and logs each start
// beside itself in calls.log, in UTF-16LE: name, process id, current directory, command line.
//   tasklist.exe      prints tasklist.out, which lies beside it
//   lanternfield.exe  runs until a file named "end" shows beside it, then logs to ended.log
//   taskkill.exe      ends every lanternfield.exe of its session, as the launcher's stop asks,
//                     unless taskkill.exit lies beside it: then it only exits with that status
//   anything else     (Uninstall.exe, cmd.exe) exits at once
#include <windows.h>
// After windows.h, whose types it uses without including it.
#include <tlhelp32.h>

#include <cstdlib>
#include <string>

// One write per line, so stand-ins running at once do not interleave their lines.
static void Log(const std::wstring& file, const std::wstring& name) {
  wchar_t current[MAX_PATH + 1] = {};
  GetCurrentDirectoryW(MAX_PATH + 1, current);
  const std::wstring line = name + L'\t' + std::to_wstring(GetCurrentProcessId()) + L'\t' +
                            current + L'\t' + GetCommandLineW() + L'\n';
  const HANDLE log = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(log, line.data(), DWORD(line.size() * sizeof(wchar_t)), &written, nullptr);
  CloseHandle(log);
}

static void EndCompanions() {
  DWORD own = 0, session = 0;
  ProcessIdToSessionId(GetCurrentProcessId(), &own);
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, L"lanternfield.exe") == 0 &&
        ProcessIdToSessionId(entry.th32ProcessID, &session) && session == own) {
      const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
      TerminateProcess(process, 1);
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
}

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t module[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, module, MAX_PATH + 1);
  const std::wstring path = module, directory = path.substr(0, path.find_last_of(L'\\'));
  const std::wstring name = path.substr(directory.size() + 1);
  Log(directory + L"\\calls.log", name);
  if (lstrcmpiW(name.c_str(), L"tasklist.exe") == 0) {
    char scripted[4096];
    DWORD size = 0;
    const HANDLE file = CreateFileW((directory + L"\\tasklist.out").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (ReadFile(file, scripted, sizeof(scripted), &size, nullptr)) {
      WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), scripted, size, &size, nullptr);
    }
    CloseHandle(file);
  } else if (lstrcmpiW(name.c_str(), L"lanternfield.exe") == 0) {
    while (GetFileAttributesW((directory + L"\\end").c_str()) == INVALID_FILE_ATTRIBUTES) {
      Sleep(50);
    }
    Log(directory + L"\\ended.log", name);
  } else if (lstrcmpiW(name.c_str(), L"taskkill.exe") == 0) {
    char status[16] = {};
    DWORD size = 0;
    const HANDLE file = CreateFileW((directory + L"\\taskkill.exit").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      EndCompanions();
      return 0;
    }
    ReadFile(file, status, sizeof(status) - 1, &size, nullptr);
    CloseHandle(file);
    return atoi(status);
  }
  return 0;
}
