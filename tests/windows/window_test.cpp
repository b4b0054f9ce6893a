// LauncherWindowProc called directly on a scratch window, with the recording fake as the System:
// what the end-to-end run cannot see from outside (a brush answer, a quit that leaves the
// window) and what each command does next.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "fake_system.h"
#include "launcher/launcher.h"
#include "window/window_win.h"

namespace ltf {

System& WindowsSystem() {
  static testing::FakeSystem system;
  return system;
}

namespace {

using namespace ltf::testing;

bool QuitPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

TEST(LauncherWindowProcTest, AnswersItsOwnMessagesAndFollowsUpOnCommands) {
  const HDC dc = CreateCompatibleDC(nullptr);
  const struct {
    UINT message;
    WPARAM wparam;
    int answer;
    std::vector<std::string> events;
    bool window_stays, quits;
  } cases[] = {
      // The default handling would answer with the button-face brush.
      {WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), 1, {}, true, false},
      {WM_COMMAND, 999, 1, {}, true, false},
      {WM_COMMAND, 102, 1, {kUpdate}, true, false},
      {WM_COMMAND, MAKEWPARAM(101, 1), 1, {kProbe, kStop}, false, false},
      {WM_COMMAND, 103, 7, {kConfirm}, true, false},
      // Confirmed, uninstaller found: the loop ends, the window is left as it is.
      {WM_COMMAND, 103, 6, {kConfirm, kStop, kStartUninstaller}, true, true},
      {WM_DESTROY, 0, 1, {}, true, true},
  };
  auto& fake = static_cast<FakeSystem&>(WindowsSystem());
  for (const auto& c : cases) {
    fake = FakeSystem();
    fake.probe_result = OutputOf("lanternfield.exe");
    fake.existing_paths = {u"C:\\Apps\\Uninstall.exe"};
    fake.box_answers = {c.answer};
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(LauncherWindowProc(window, c.message, c.wparam, 0), 0) << c.message;
    EXPECT_EQ(fake.events, c.events) << c.wparam;
    EXPECT_EQ(IsWindow(window) != FALSE, c.window_stays) << c.wparam;
    EXPECT_EQ(QuitPosted(), c.quits) << c.message << " " << c.wparam;
    DestroyWindow(window);
  }
  DeleteDC(dc);
}

}  // namespace
}  // namespace ltf
