// The window class, the one top-level window and its message loop.
#include <windows.h>

#include "platform/text/text.h"
#include "window/window.h"
#include "window/window_win.h"

namespace ltf {

namespace {

constexpr std::string_view kClassName = "LTF_Launcher";
// A close box, but no sizing border and no minimise or maximise box, so the size stays fixed.
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
// The outer size, frame and caption included.
constexpr int kWidth = 360;
constexpr int kHeight = 240;

System* running_system = nullptr;

// Bound before the window is made, since WM_CREATE already probes, and until the loop has ended;
// no message that needs the System can reach the window after that.
class RunningSystemScope {
 public:
  explicit RunningSystemScope(System& system) { running_system = &system; }
  ~RunningSystemScope() { running_system = nullptr; }
  RunningSystemScope(const RunningSystemScope&) = delete;
  RunningSystemScope& operator=(const RunningSystemScope&) = delete;
};

}  // namespace

System& RunningSystem() {
  return *running_system;
}

void RunLauncherWindow(System& system) {
  const RunningSystemScope bound(system);
  const HINSTANCE instance = HandleResult(GetModuleHandleW(nullptr)).value_or(nullptr);
  const WideString class_name = ToWideString(kClassName);
  // The caption shows the system's generic icon; the exe's own icon group is for the shell.
  WNDCLASSEXW record{};
  record.cbSize = sizeof(record);
  record.style = 0;  // no redraw on resizing, which cannot happen, and no double clicks
  record.lpfnWndProc = LauncherWindowProc;
  record.hInstance = instance;
  record.hIcon = HandleResult(LoadIconW(nullptr, IDI_APPLICATION), HandleFailure::NullOrAllBits)
                     .value_or(nullptr);
  record.hCursor =
      HandleResult(LoadCursorW(nullptr, IDC_ARROW), HandleFailure::NullOrAllBits).value_or(nullptr);
  record.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  record.lpszClassName = class_name.Wide();
  // A failed registration shows up as the failed creation below.
  (void)RegisterClassExW(&record);

  const WideString title = ToWideString(kTitleText);
  const HWND window = HandleResult(CreateWindowExW(0, class_name.Wide(), title.Wide(), kStyle,
                                                   CW_USEDEFAULT, CW_USEDEFAULT, kWidth, kHeight,
                                                   nullptr, nullptr, instance, nullptr))
                          .value_or(nullptr);
  (void)ShowWindow(window, SW_SHOW);
  (void)SetForegroundWindow(window);
  // Without a window nothing could ever post WM_QUIT, and the loop would wait for ever.
  if (window == nullptr) {
    return;
  }

  MSG message{};
  while (GetMessageW(&message, nullptr, 0, 0) != 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace ltf
