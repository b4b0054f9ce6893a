#pragma once

// Arguments and how a command line holds them; the Windows suites have the system's own parsers
// read each back.
#include <string_view>
#include <utility>

namespace ltf::testing {

inline constexpr std::pair<std::u16string_view, std::u16string_view> kQuotingCases[] = {
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

}  // namespace ltf::testing
