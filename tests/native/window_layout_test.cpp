#include <gtest/gtest.h>

#include <string_view>

#include "window/launcher_layout.h"

namespace ltf {
namespace {

constexpr ColourRef Rgb(unsigned red, unsigned green, unsigned blue) {
  return red | green << 8 | blue << 16;
}

TEST(LauncherButtonsTest, ThreeButtonsInCreationOrder) {
  const struct {
    std::uint16_t id;
    std::u16string_view label;
    PixelRect bounds;
  } expected[] = {
      {101, u"", {20, 90, 310, 38}},
      {102, u"Check for Updates", {20, 140, 148, 34}},
      {103, u"Uninstall", {182, 140, 148, 34}},
  };
  const auto buttons = LauncherButtons();
  ASSERT_EQ(buttons.size(), std::size(expected));
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const LauncherButton& b = buttons[i];
    const PixelRect& want = expected[i].bounds;
    EXPECT_EQ(b.id, expected[i].id) << i;
    EXPECT_EQ(b.fixed_label, expected[i].label) << i;
    // The label goes to CreateWindowExW as a C string.
    EXPECT_EQ(b.fixed_label.data()[b.fixed_label.size()], u'\0') << i;
    EXPECT_EQ((std::array{b.bounds.x, b.bounds.y, b.bounds.width, b.bounds.height}),
              (std::array{want.x, want.y, want.width, want.height}))
        << i;
  }
}

TEST(LauncherTextsTest, LabelAndStatusFollowTheProbe) {
  const struct {
    bool running;
    std::string_view label, status;
    ColourRef colour;
  } cases[] = {
      {true, "Stop Lanternfield", "Running", Rgb(85, 204, 0)},
      {false, "Start Lanternfield", "Stopped", Rgb(255, 85, 85)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToggleLabel(c.running), c.label);
    EXPECT_EQ(StatusLine(c.running).text, c.status);
    EXPECT_EQ(StatusLine(c.running).colour, c.colour) << c.status;
  }
  EXPECT_EQ(kBackgroundColour, Rgb(30, 30, 46));
  EXPECT_EQ(kTitleColour, Rgb(248, 248, 242));
}

}  // namespace
}  // namespace ltf
