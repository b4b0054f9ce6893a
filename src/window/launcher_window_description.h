#pragma once

#include <cstdint>
#include <string_view>

namespace ltf {

struct WindowClassDescription {
  std::string_view class_name;
  std::uint32_t style;
  int extra_class_bytes;
  int extra_window_bytes;
  std::uint16_t icon_id;    // a stock icon: IDI_APPLICATION
  std::uint16_t cursor_id;  // a stock cursor: IDC_ARROW
  int background_stock_object;
};

struct TopLevelWindowDescription {
  std::uint32_t extended_style;
  std::string_view title;
  std::uint32_t style;
  int x, y;           // CW_USEDEFAULT: Windows places the window
  int width, height;  // the outer size, frame and caption included
};

// No class styles: no redraw on resize (the window cannot be resized) and no double clicks.
inline constexpr WindowClassDescription kLauncherClass{
    .class_name = "LTF_Launcher",
    .style = 0,
    .extra_class_bytes = 0,
    .extra_window_bytes = 0,
    .icon_id = 32512,              // IDI_APPLICATION
    .cursor_id = 32512,            // IDC_ARROW
    .background_stock_object = 0,  // WHITE_BRUSH
};

inline constexpr int kUseDefault = static_cast<int>(0x80000000u);

// WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_VISIBLE: a close box, but no sizing border and
// no minimise or maximise box, so the size stays fixed.
inline constexpr TopLevelWindowDescription kLauncherWindow{
    .extended_style = 0,
    .title = "Lanternfield",
    .style = 0x10C80000,
    .x = kUseDefault,
    .y = kUseDefault,
    .width = 360,
    .height = 240,
};

}  // namespace ltf
