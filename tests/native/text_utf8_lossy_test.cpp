#include <gtest/gtest.h>

#include <span>
#include <string_view>

#include "platform/text/utf8_lossy.h"

namespace ltf {
namespace {

using namespace std::literals;

std::span<const unsigned char> Bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

struct LossyCase {
  std::string_view input;
  std::string_view expected;
};

TEST(DecodeUtf8LossyTest, ReplacesEachMaximalSubpart) {
  const LossyCase cases[] = {
      {"\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64"sv,
       "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"
       "c\xEF\xBF\xBD\xEF\xBF\xBD"
       "d"sv},
      {"\xED\xA0\x80"sv, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"sv},
      {"\xC0\xAF"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
      {"\xE0\x80"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
      {"\xF4\x90\x80\x80"sv, "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"sv},
      {"\xF5\x80"sv, "\xEF\xBF\xBD\xEF\xBF\xBD"sv},
      {"euro \xE2\x82"sv, "euro \xEF\xBF\xBD"sv},
      {"face \xF0\x9F\x98"sv, "face \xEF\xBF\xBD"sv},
      {"a\x81z"sv, "a\xEF\xBF\xBDz"sv},
      // An ASCII byte always ends the run before it and survives.
      {"\xE2\x82lanternfield.exe\xF0\x9F\x98."sv, "\xEF\xBF\xBDlanternfield.exe\xEF\xBF\xBD."sv},
      {"\x80\x00\xC3"sv, "\xEF\xBF\xBD\x00\xEF\xBF\xBD"sv},
  };
  for (const LossyCase& c : cases) {
    const DecodedText decoded = DecodeUtf8Lossy(Bytes(c.input));
    EXPECT_EQ(decoded.View(), c.expected) << "input size " << c.input.size();
    EXPECT_FALSE(decoded.IsBorrowed());
  }
}

TEST(DecodeUtf8LossyTest, BorrowsWellFormedInput) {
  const std::string_view inputs[] = {
      ""sv,
      "Stopped"sv,
      "a\x00z"sv,
      "\xC2\x80\xDF\xBF"sv,
      "\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80"sv,
      "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"sv,
      "\xEF\xBF\xBD"sv,
  };
  for (const std::string_view input : inputs) {
    const DecodedText decoded = DecodeUtf8Lossy(Bytes(input));
    EXPECT_TRUE(decoded.IsBorrowed()) << "input size " << input.size();
    EXPECT_EQ(decoded.View().data(), input.data());
    EXPECT_EQ(decoded.View().size(), input.size());
  }
}

}  // namespace
}  // namespace ltf
