#include <gtest/gtest.h>

#include <string>

#include "launcher/status_probe.h"
#include "launcher_fake_system.h"

namespace ltf {
namespace {

using namespace std::string_literals;

TEST(IsCompanionRunningTest, AnswersFromStandardOutputAlone) {
  const struct {
    std::string out, err;
    std::uint32_t status;
    bool expected;
  } cases[] = {
      {"", "", 0, false},
      {"lanternfield.exe", "", 0, true},
      {"lanternfield.ex", "", 0, false},
      {"\r\nlanternfield.exe            4242 Console    1     9,876 K\r\n", "", 0, true},
      {"INFO: No tasks are running which match the specified criteria.\r\n", "", 0, false},
      {"LANTERNFIELD.EXE", "", 0, false},
      {"Lanternfield.exe", "", 0, false},
      {"oldlanternfield.exe2", "", 0, true},
      {"", "lanternfield.exe", 0, false},
      {"lanternfield.exe", "", 1, true},
      {"\x81\xFFlanternfield.exe\xA0", "", 0, true},
      {"\xE2\x82lanternfield.exe\xF0\x9F\x98", "", 0, true},
      {"\0lanternfield.exe\0"s, "", 0, true},
      {"lanternfield\r\n.exe", "", 0, false},
      {"lanternfield\x80.exe", "", 0, false},
  };
  for (const auto& c : cases) {
    testing::FakeSystem system;
    system.probe_result = testing::OutputOf(c.out, c.err, c.status);
    EXPECT_EQ(IsCompanionRunning(system), c.expected) << c.out << "|" << c.err;
    EXPECT_EQ(system.events, std::vector<std::string>{testing::kProbe});
  }
  testing::FakeSystem failing;
  failing.probe_result = std::unexpected(ProcessError::FromWindows(2));
  EXPECT_FALSE(IsCompanionRunning(failing));
}

}  // namespace
}  // namespace ltf
