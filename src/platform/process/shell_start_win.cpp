// Starting a program through the shell, the one way to the elevation prompt.
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include "platform/process/process.h"
#include "platform/process/program_lookup.h"

namespace ltf {

namespace {

// The shell may hand the start to extensions that need a single-threaded apartment. Every
// successful CoInitializeEx, S_FALSE for "already initialised" included, needs its
// CoUninitialize; a thread already in another apartment keeps it.
class ComApartment {
 public:
  ComApartment()
      : initialised_(
            SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {
  }
  ~ComApartment() {
    if (initialised_) {
      CoUninitialize();
    }
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

}  // namespace

std::expected<void, ProcessError> StartThroughShell(const std::u16string& program, void* owner) {
  // The file CreateProcessW would have been given, so both ways start the same one.
  const std::expected<TerminatedPath, ProcessError> launch =
      ResolveProgram(WindowsLookupSystem(), program);
  if (!launch) {
    return std::unexpected(launch.error());
  }
  const ComApartment apartment;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // NOASYNC: the launcher may end as soon as this returns, which must not cut the start short.
  // FLAG_NO_UI: a failure is the caller's to handle, without the shell's error box. No
  // NOCLOSEPROCESS, so no process handle comes back to be closed.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  info.hwnd = static_cast<HWND>(owner);
  info.lpFile = launch->Wide();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) {
    return std::unexpected(ProcessError::FromWindows(GetLastError()));
  }
  return {};
}

}  // namespace ltf
