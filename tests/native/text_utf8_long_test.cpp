// Long inputs, where well-formed stretches are skipped in bulk: every alignment of a character,
// of an ill-formed run and of the end of the input against the bulk check's blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <random>
#include <span>
#include <string>
#include <string_view>

#include "platform/text/utf8_lossy.h"
#include "platform/text/utf8_prefix.h"
#include "text_guarded_buffer.h"

namespace ltf {
namespace {

using namespace std::literals;

struct Piece {
  std::string_view bytes;
  std::string_view decoded;  // each '?' stands for U+FFFD
};

// Each decodes to itself: one byte to four, at the edges of the narrower second-byte ranges.
constexpr std::string_view kCharacters[] = {"a"sv,
                                            "\0"sv,
                                            "\x7F"sv,
                                            "\xC2\x80"sv,
                                            "\xDF\xBF"sv,
                                            "\xE0\xA0\x80"sv,
                                            "\xE2\x82\xAC"sv,
                                            "\xED\x9F\xBF"sv,
                                            "\xEE\x80\x80"sv,
                                            "\xEF\xBF\xBF"sv,
                                            "\xF0\x90\x80\x80"sv,
                                            "\xF0\x9F\x98\x80"sv,
                                            "\xF3\xBF\xBF\xBF"sv,
                                            "\xF4\x8F\xBF\xBF"sv};

// Ill-formed runs, each closed by an ASCII byte so that what follows cannot extend it.
constexpr Piece kRuns[] = {{"\x80z"sv, "?z"},
                           {"\xBFz"sv, "?z"},
                           {"\xC0\xAFz"sv, "??z"},
                           {"\xC1\xBFz"sv, "??z"},
                           {"\xC3z"sv, "?z"},
                           {"\xE0\x9F\xBFz"sv, "???z"},
                           {"\xE2\x82z"sv, "?z"},
                           {"\xED\xA0\x80z"sv, "???z"},
                           {"\xF0\x8F\xBF\xBFz"sv, "????z"},
                           {"\xF0\x9F\x98z"sv, "?z"},
                           {"\xF4\x90\x80\x80z"sv, "????z"},
                           {"\xF5\x80z"sv, "??z"},
                           {"\xF5\x80\x80\x80z"sv, "????z"},
                           {"\xF7\xBF\xBF\xBFz"sv, "????z"},
                           {"\xF8\x88\x80\x80\x80z"sv, "?????z"},
                           {"\xFFz"sv, "?z"}};

std::string Expand(std::string_view decoded) {
  std::string text;
  for (const char c : decoded) {
    text += c == '?' ? "\xEF\xBF\xBD"sv : std::string_view(&c, 1);
  }
  return text;
}

std::span<const unsigned char> Bytes(std::string_view text) {
  return {reinterpret_cast<const unsigned char*>(text.data()), text.size()};
}

struct Input {
  std::string text;
  std::string expected;
  std::size_t well_formed_start;  // the length of its longest well-formed start
};

// Random well-formed text with ill-formed runs between its characters at `run_odds` (1 in n,
// 0 for none), and what it decodes to.
Input MakeInput(std::mt19937& rng, std::size_t characters, unsigned run_odds) {
  std::string input;
  std::string expected;
  std::size_t well_formed_start = std::string::npos;
  for (std::size_t i = 0; i < characters; ++i) {
    if (run_odds != 0 && rng() % run_odds == 0) {
      const Piece& run = kRuns[rng() % std::size(kRuns)];
      well_formed_start = std::min(well_formed_start, input.size());
      input += run.bytes;
      expected += Expand(run.decoded);
    }
    // Mostly ASCII, as real output is, in runs long enough to fill whole blocks now and then.
    const std::string ascii_run(16 + rng() % 64, 'a');
    const std::string_view c = rng() % 16 == 0  ? std::string_view(ascii_run)
                               : rng() % 2 == 0 ? "a"sv
                                                : kCharacters[rng() % std::size(kCharacters)];
    input += c;
    expected += c;
  }
  return {input, expected, std::min(well_formed_start, input.size())};
}

TEST(Utf8LongInputTest, DecodesLikeItsPiecesAtEveryAlignment) {
  testing::GuardedBuffer buffer;
  std::mt19937 rng(0x5EED);
  for (const unsigned run_odds : {0u, 40u, 8u}) {
    for (int round = 0; round < 1500; ++round) {
      const auto [text, expected, _] = MakeInput(rng, 1 + rng() % 160, run_odds);
      const std::string_view input = buffer.PlaceAtEnd(text);
      const DecodedText decoded = DecodeUtf8Lossy(Bytes(input));
      ASSERT_EQ(decoded.View(), expected) << "odds " << run_odds << ", round " << round;
      ASSERT_EQ(decoded.IsBorrowed(), text == expected);
    }
  }
}

// A well-formed text cut at any byte: a last character cut short is one run.
TEST(Utf8LongInputTest, ReplacesACharacterCutShortByTheEndOnce) {
  testing::GuardedBuffer buffer;
  std::mt19937 rng(0xC07);
  for (int round = 0; round < 40; ++round) {
    const std::string text = MakeInput(rng, 80, 0).text;
    std::size_t boundary = 0;
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
      if (cut == text.size() || (static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80) {
        boundary = cut;
      }
      const std::string expected = text.substr(0, boundary) + (cut == boundary ? "" : "\uFFFD");
      const DecodedText decoded = DecodeUtf8Lossy(Bytes(buffer.PlaceAtEnd(text.substr(0, cut))));
      ASSERT_EQ(decoded.View(), expected) << "round " << round << ", cut " << cut;
    }
  }
}

// The bulk check never passes an ill-formed byte, ends on a character boundary and, where the
// vector unit has its blocks, gives up less than a block and a character before the end.
TEST(Utf8LongInputTest, BulkCheckStopsOnlyNearTheFirstIllFormedByte) {
  testing::GuardedBuffer buffer;
  std::mt19937 rng(0xB1C);
  for (const unsigned run_odds : {0u, 20u}) {
    for (int round = 0; round < 1500; ++round) {
      const auto [text, expected, longest] = MakeInput(rng, 1 + rng() % 100, run_odds);
      const std::string_view input = buffer.PlaceAtEnd(text);
      const std::size_t skipped = utf8::WellFormedPrefixLength(Bytes(input).data(), input.size());
      ASSERT_LE(skipped, longest) << "round " << round;
      ASSERT_TRUE(skipped == longest || (static_cast<unsigned char>(text[skipped]) & 0xC0) != 0x80);
#ifdef __SSE2__
      ASSERT_LT(longest - skipped, 19u) << "round " << round;
#endif
    }
  }
}

}  // namespace
}  // namespace ltf
