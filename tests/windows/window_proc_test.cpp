// LauncherWindowProc called directly on a scratch window, on the fake System: the message table
// and what the window does after each command.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "launcher/companion_actions.h"
#include "launcher/windows_system.h"
#include "native/launcher_fake_system.h"
#include "window/launcher_window_proc_win.h"

namespace ltf {
namespace {

using namespace ltf::testing;

bool QuitPosted() {
  MSG message;
  return PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

TEST(LauncherWindowProcTest, AnswersItsOwnMessagesAndFollowsUpOnCommands) {
  const std::string update = "start cmd [/C] [start] [" + std::string(UpdatePageUrl()) + "]";
  const HDC dc = CreateCompatibleDC(nullptr);
  const struct {
    UINT message;
    WPARAM wparam;
    bool running;
    std::vector<int> answers;
    std::vector<std::string> events;
    bool window_stays, quits;
  } cases[] = {
      // The default handling would answer with the button-face brush.
      {WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc), false, {}, {}, true, false},
      {WM_COMMAND, 999, true, {}, {}, true, false},
      {WM_COMMAND, 102, true, {}, {update}, true, false},
      {WM_COMMAND, MAKEWPARAM(101, 1), true, {}, {kProbe, kStop}, false, false},
      {WM_COMMAND, 103, false, {7}, {kConfirm}, true, false},
      // Confirmed, uninstaller found: the loop ends, the window is left as it is.
      {WM_COMMAND, 103, false, {6}, {kConfirm, kStop, "start C:\\Apps\\Uninstall.exe"}, true, true},
      {WM_DESTROY, 0, false, {}, {}, true, true},
  };
  auto& fake = static_cast<FakeSystem&>(WindowsSystem());
  for (const auto& c : cases) {
    fake = FakeSystem();
    fake.probe_result = OutputOf(c.running ? "lanternfield.exe" : "");
    fake.existing_paths = {u"C:\\Apps\\Uninstall.exe"};
    fake.box_answers.assign(c.answers.begin(), c.answers.end());
    const HWND window =
        CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(LauncherWindowProc(window, c.message, c.wparam, 0), 0)
        << c.message << " " << c.wparam;
    EXPECT_EQ(fake.events, c.events) << c.wparam;
    EXPECT_EQ(IsWindow(window) != FALSE, c.window_stays) << c.wparam;
    EXPECT_EQ(QuitPosted(), c.quits) << c.message << " " << c.wparam;
    DestroyWindow(window);
  }
  // Anything else takes the default path.
  const HWND window = CreateWindowExW(0, L"STATIC", L"Lanternfield", 0, 0, 0, 10, 10, nullptr,
                                      nullptr, nullptr, nullptr);
  EXPECT_EQ(LauncherWindowProc(window, WM_GETTEXTLENGTH, 0, 0), 12);
  DestroyWindow(window);
  DeleteDC(dc);
}

}  // namespace
}  // namespace ltf
