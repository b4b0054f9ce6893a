#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/cmdline/cmdline.h"

namespace ltf {
namespace {

TEST(SplitCommandLineTest, SplitsByTheProgramNameAndArgumentRulesIntoUtf8) {
  const std::pair<std::u16string, std::vector<std::string>> cases[] = {
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
      // Beyond those: blanks, runs and ends of line, the program name's own rules, UTF-8.
      {u"", {""}},
      {u" x", {"", "x"}},
      {u"p a\nb\r\vc\u00A0d",
       {"p",
        "a\nb\r\vc\xC2\xA0"
        "d"}},
      {u"p a\\\\\\\\\"b\"", {"p", "a\\\\b"}},
      {u"p \"", {"p", ""}},
      {std::u16string(u"p a\0b c", 7), {"p", "a"}},
      {u"\u007F\u0080 \u07FF\u0800 \uFFFF\U00010000 \U0010FFFF\U0001F600",
       {"\x7F\xC2\x80", "\xDF\xBF\xE0\xA0\x80", "\xEF\xBF\xBF\xF0\x90\x80\x80",
        "\xF4\x8F\xBF\xBF\xF0\x9F\x98\x80"}},
      // A surrogate that is not half of a high-then-low pair becomes U+FFFD.
      {u"\xD800p --silent\xD800 \xDC00\xD800\xDC00",
       {"\xEF\xBF\xBDp", "--silent\xEF\xBF\xBD", "\xEF\xBF\xBD\xF0\x90\x80\x80"}},
  };
  for (const auto& [line, arguments] : cases) {
    EXPECT_EQ(SplitCommandLine(line), arguments) << std::string(line.begin(), line.end());
  }
}

}  // namespace
}  // namespace ltf
