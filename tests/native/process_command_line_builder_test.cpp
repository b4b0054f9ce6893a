#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/companion_actions.h"
#include "launcher/status_probe.h"
#include "platform/process/command_line_builder.h"

namespace ltf {
namespace {

using namespace std::string_literals;

std::u16string Line(const ProcessCommand& command) {
  auto line = BuildCommandLine(command.program, command.arguments);
  EXPECT_TRUE(line.has_value());
  return line ? *line : std::u16string();
}

TEST(BuildCommandLineTest, QuotesOnlyWhatTheChildWouldSplit) {
  const std::u16string cases[][2] = {
      {u"a", u"a"},
      {u"a b", u"\"a b\""},
      {u"a\tb", u"\"a\tb\""},
      {u"", u"\"\""},
      {u"a\"b", u"a\\\"b"},
      {u"a\\\"b", u"a\\\\\\\"b"},
      {u"C:\\dir\\", u"C:\\dir\\"},
      {u"C:\\my dir\\", u"\"C:\\my dir\\\\\""},
      {u"a\\\\b", u"a\\\\b"},
      {u"a b\"", u"\"a b\\\"\""},
      {u"a\nb", u"a\nb"},
  };
  for (const auto& [argument, expected] : cases) {
    EXPECT_EQ(Line({u"p", {argument}}), u"\"p\" " + expected + u'\0') << argument.size();
  }
  const auto refused = BuildCommandLine(u"p", std::vector<std::u16string>{u"ok", u"a\0b"s});
  ASSERT_FALSE(refused.has_value());
  EXPECT_EQ(refused.error().message, "nul byte found in provided data");
}

TEST(BuildCommandLineTest, TheLauncherChildrenGetExactLines) {
  EXPECT_EQ(Line(ProbeCommand()),
            u"\"tasklist\" /FI \"IMAGENAME eq lanternfield.exe\" /NH"s + u'\0');
  EXPECT_EQ(Line(StopCommand()), u"\"taskkill\" /F /IM lanternfield.exe"s + u'\0');
  EXPECT_EQ(Line({u"C:\\Apps\\lanternfield.exe", {}}), u"\"C:\\Apps\\lanternfield.exe\""s + u'\0');
  EXPECT_TRUE(Line(UpdatePageCommand()).starts_with(u"\"cmd\" /C start https://"));
}

}  // namespace
}  // namespace ltf
