#include <gtest/gtest.h>

#include <string>

#include "launcher/status_probe.h"
#include "launcher_fake_system.h"

namespace ltf {
namespace {

using namespace std::string_literals;

struct ProbeCase {
  const char* name;
  std::string standard_output;
  std::string standard_error;
  std::uint32_t status;
  bool expected;
};

TEST(IsCompanionRunningTest, AnswersFromStandardOutputAlone) {
  const ProbeCase cases[] = {
      {"empty output", "", "", 0, false},
      {"exactly the name", "lanternfield.exe", "", 0, true},
      {"one byte short", "lanternfield.ex", "", 0, false},
      {"a task list row", "\r\nlanternfield.exe            4242 Console    1     9,876 K\r\n", "",
       0, true},
      {"no match notice", "INFO: No tasks are running which match the specified criteria.\r\n", "",
       0, false},
      {"capitals", "LANTERNFIELD.EXE   4242", "", 0, false},
      {"capital first letter", "Lanternfield.exe   4242", "", 0, false},
      {"letters before", "oldlanternfield.exe", "", 0, true},
      {"digit after", "lanternfield.exe2", "", 0, true},
      {"standard error only", "", "lanternfield.exe", 0, false},
      {"non-zero status with the name", "lanternfield.exe", "", 1, true},
      {"zero status without the name", "something else", "", 0, false},
      {"OEM bytes around", "\x81\xFFlanternfield.exe\xA0\xFE", "", 0, true},
      {"truncated sequences around", "\xE2\x82lanternfield.exe\xF0\x9F\x98", "", 0, true},
      {"NUL bytes around", "\0lanternfield.exe\0"s, "", 0, true},
      {"broken by CRLF", "lanternfield\r\n.exe", "", 0, false},
      {"broken by LF", "lantern\nfield.exe", "", 0, false},
      {"invalid byte inside", "lanternfield\x80.exe", "", 0, false},
  };
  for (const ProbeCase& c : cases) {
    testing::FakeSystem system;
    system.probe_result = testing::OutputOf(c.standard_output, c.standard_error, c.status);
    EXPECT_EQ(IsCompanionRunning(system), c.expected) << c.name;
    EXPECT_EQ(system.events, std::vector<std::string>{testing::kProbe}) << c.name;
  }
}

TEST(IsCompanionRunningTest, AFailedRunMeansNotRunning) {
  const ProcessError errors[] = {ProcessError::NotFound("program not found"),
                                 ProcessError::InvalidInput("nul byte found in provided data"),
                                 ProcessError::FromWindows(2)};
  for (const ProcessError& error : errors) {
    testing::FakeSystem system;
    system.probe_result = std::unexpected(error);
    EXPECT_FALSE(IsCompanionRunning(system));
  }
}

}  // namespace
}  // namespace ltf
