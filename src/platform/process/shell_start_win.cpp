// Starting a program through the shell, the one way to the elevation prompt.
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>

#include "platform/process/process.h"
#include "platform/process/program_lookup.h"
#include "platform/unique_handle_win.h"

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

std::expected<void, ProcessError> StartThroughShell(const ProcessCommand& command,
                                                    const ShellStart& how) {
  // The file CreateProcessW would have been given, so both ways start the same one: the shell's
  // own search would look in the current directory first.
  const std::expected<TerminatedPath, ProcessError> launch =
      ResolveLaunchable(WindowsLookupSystem(), command.program);
  if (!launch) {
    return std::unexpected(launch.error());
  }
  const std::expected<std::u16string, ProcessError> parameters = QuoteArguments(command.arguments);
  if (!parameters) {
    return std::unexpected(parameters.error());
  }
  const std::u16string verb(how.verb);
  const ComApartment apartment;
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  // NOASYNC: the launcher may end as soon as this returns, which must not cut the start short.
  // FLAG_NO_UI: a failure is the caller's to handle, without the shell's error box.
  // NOCLOSEPROCESS only to wait: the process handle it brings back is ours to close.
  info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI | (how.wait ? SEE_MASK_NOCLOSEPROCESS : 0);
  info.hwnd = static_cast<HWND>(how.owner);
  info.lpVerb = verb.empty() ? nullptr : AsWide(verb.c_str());
  info.lpFile = launch->Wide();
  info.lpParameters = parameters->empty() ? nullptr : AsWide(parameters->c_str());
  info.nShow = how.hidden ? SW_HIDE : SW_SHOWNORMAL;
  if (!ShellExecuteExW(&info)) {
    return std::unexpected(ProcessError::FromWindows(GetLastError()));
  }
  // No handle comes back when the start went to a program already running (DDE); there is
  // nothing to wait for then.
  const UniqueHandle process(info.hProcess);
  if (process.Valid() && WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0) {
    return std::unexpected(ProcessError::FromWindows(GetLastError()));
  }
  return {};
}

}  // namespace ltf
