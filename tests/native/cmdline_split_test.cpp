#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/cmdline/split_command_line.h"

namespace ltf {
namespace {

using Arguments = std::vector<std::string>;

TEST(SplitCommandLineTest, SplitsByTheProgramNameAndArgumentRules) {
  const struct {
    std::u16string line;
    Arguments arguments;
  } cases[] = {
      {u"launcher.exe", {"launcher.exe"}},
      {u"launcher.exe --silent", {"launcher.exe", "--silent"}},
      {u"launcher.exe   --silent   ", {"launcher.exe", "--silent"}},
      {u"\"C:\\Program Files\\App\\launcher.exe\" --silent",
       {"C:\\Program Files\\App\\launcher.exe", "--silent"}},
      {u"\"C:\\dir\\\"launcher.exe x", {"C:\\dir\\launcher.exe", "x"}},
      {u"launcher.exe \"--silent\"", {"launcher.exe", "--silent"}},
      {u"launcher.exe --si\"lent\"", {"launcher.exe", "--silent"}},
      {u"--silent", {"--silent"}},
      {u"launcher.exe \"\"", {"launcher.exe", ""}},
      {u"launcher.exe \"\" x", {"launcher.exe", "", "x"}},
      {u"launcher.exe a\\b", {"launcher.exe", "a\\b"}},
      {u"launcher.exe a\\\\\\\"b", {"launcher.exe", "a\\\"b"}},
      {u"launcher.exe a\\\\\"b c\"", {"launcher.exe", "a\\b c"}},
      {u"launcher.exe \"a\\\"b\"", {"launcher.exe", "a\"b"}},
      {u"launcher.exe \"a\"\"b\"", {"launcher.exe", "a\"b"}},
      {u"launcher.exe a\"\"b", {"launcher.exe", "ab"}},
      {u"launcher.exe \"a b", {"launcher.exe", "a b"}},
      // Beyond the usual table: blanks, runs, ends of line, and the program name's own rules.
      {u"", {""}},
      {u"\"\" x", {"", "x"}},
      {u" x", {"", "x"}},
      {u"\"a b\"c\\\" d", {"a bc\\ d"}},
      {u"p\t\ta\tb", {"p", "a", "b"}},
      {u"p a\nb\r\vc\u00A0d",
       {"p",
        "a\nb\r\vc\xC2\xA0"
        "d"}},
      {u"p a\\\\\\\\\"b\"", {"p", "a\\\\b"}},
      {u"p a\\\\\\", {"p", "a\\\\\\"}},
      {u"p \"a\\\\\"", {"p", "a\\"}},
      {u"p \"\"\"\"", {"p", "\""}},
      {u"p \"", {"p", ""}},
      {std::u16string(u"p a\0b c", 7), {"p", "a"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.line.begin(), c.line.end()));
    EXPECT_EQ(SplitCommandLine(c.line), c.arguments);
  }
}

TEST(ToUtf8Test, EncodesEachLengthAndReplacesHalfPairs) {
  const struct {
    std::u16string units;
    std::string utf8;
  } cases[] = {
      {u"A\u007F", "A\x7F"},
      {u"\u0080\u07FF", "\xC2\x80\xDF\xBF"},
      {u"\u0800\uFFFF", "\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
      {u"\xD800", "\xEF\xBF\xBD"},
      {u"\xDC00x", "\xEF\xBF\xBDx"},
      {u"\xDC00\xD800", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {u"\xD800\xD800\xDC00", "\xEF\xBF\xBD\xF0\x90\x80\x80"},
      {u"--silent\xD800", "--silent\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToUtf8(c.units), c.utf8);
  }
}

TEST(SplitCommandLineTest, ConvertsEveryArgumentToUtf8) {
  EXPECT_EQ(SplitCommandLine(u"\xD800p \xD800--silent \u00E9"),
            (Arguments{"\xEF\xBF\xBDp", "\xEF\xBF\xBD--silent", "\xC3\xA9"}));
}

}  // namespace
}  // namespace ltf
