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
  struct Case {
    std::u16string argument;
    std::u16string expected;
  };
  const Case cases[] = {
      {u"a", u"a"},
      {u"a b", u"\"a b\""},
      {u"a\tb", u"\"a\tb\""},
      {u"", u"\"\""},
      {u"a\"b", u"a\\\"b"},
      {u"a\\\"b", u"a\\\\\\\"b"},
      {u"C:\\dir\\", u"C:\\dir\\"},
      {u"C:\\my dir\\", u"\"C:\\my dir\\\\\""},
      {u"a\\\\b", u"a\\\\b"},
      {u"\"", u"\\\""},
      {u"a b\"", u"\"a b\\\"\""},
      {u"a\nb", u"a\nb"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Line({u"p", {c.argument}}), u"\"p\" " + c.expected + u'\0') << c.argument.size();
  }
}

TEST(BuildCommandLineTest, TheLauncherChildrenGetExactLines) {
  const std::u16string probe = Line(ProbeCommand());
  EXPECT_EQ(probe, u"\"tasklist\" /FI \"IMAGENAME eq lanternfield.exe\" /NH"s + u'\0');
  EXPECT_EQ(probe.size() - 1, 50u);
  EXPECT_EQ(Line(StopCommand()), u"\"taskkill\" /F /IM lanternfield.exe"s + u'\0');
  EXPECT_EQ(Line({u"C:\\Apps\\Tool\\lanternfield.exe", {}}),
            u"\"C:\\Apps\\Tool\\lanternfield.exe\""s + u'\0');
  const std::u16string update = Line(UpdatePageCommand());
  EXPECT_TRUE(update.starts_with(u"\"cmd\" /C start https://")) << update.size();
}

TEST(BuildCommandLineTest, RefusesAnArgumentHoldingNul) {
  const auto line = BuildCommandLine(u"p", std::vector<std::u16string>{u"ok", u"a\0b"s});
  ASSERT_FALSE(line.has_value());
  EXPECT_EQ(line.error().kind, ProcessErrorKind::InvalidInput);
  EXPECT_EQ(line.error().message, "nul byte found in provided data");
}

}  // namespace
}  // namespace ltf
