// Plays every program the launcher starts, chosen by its own file name, and logs each start
// beside itself in calls.log, in UTF-16LE: name, process id, current directory, command line.
// Built twice: for the GUI subsystem, and for the console, as the system's own programs are.
//   tasklist.exe      prints tasklist.out, which lies beside it
//   lanternfield.exe  runs until a file named "end" shows beside it, then logs to ended.log;
//                     after ten minutes without one it ends by itself
//   taskkill.exe      ends every lanternfield.exe of its session, as the launcher's stop asks,
//                     unless taskkill.refuses lies beside it: then it exits with 1, as taskkill
//                     does when it may not end a process
//   anything else     (Uninstall.exe, cmd.exe) exits at once
#include <windows.h>
// After windows.h, whose types it uses.
#include <tlhelp32.h>

#include <string>

#include "platform/growing_buffer_win.h"
#include "platform/paths/paths.h"

// One write per line, so stand-ins running at once do not interleave their lines.
static void Log(const std::wstring& file, const std::wstring& name) {
  const std::u16string current = ltf::ReadWindowsText([](wchar_t* buffer, DWORD size) {
                                   return GetCurrentDirectoryW(size, buffer);
                                 }).value_or(u"?");
  const std::wstring line = name + L'\t' + std::to_wstring(GetCurrentProcessId()) + L'\t' +
                            ltf::AsWide(current.c_str()) + L'\t' + GetCommandLineW() + L'\n';
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

int wmain() {
  const std::wstring path = ltf::AsWide(ltf::ExecutablePath().value_or(u"").c_str());
  const std::wstring directory = path.substr(0, path.find_last_of(L'\\'));
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
    const std::wstring end = directory + L"\\end";
    for (const ULONGLONG until = GetTickCount64() + 600000;
         GetFileAttributesW(end.c_str()) == INVALID_FILE_ATTRIBUTES && GetTickCount64() < until;) {
      Sleep(50);
    }
    Log(directory + L"\\ended.log", name);
  } else if (lstrcmpiW(name.c_str(), L"taskkill.exe") == 0) {
    if (GetFileAttributesW((directory + L"\\taskkill.refuses").c_str()) !=
        INVALID_FILE_ATTRIBUTES) {
      return 1;
    }
    EndCompanions();
  }
  return 0;
}
