#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "launcher/launcher.h"

namespace ltf {

// Window mode: returns once the window's message loop has ended. The window asks `system`
// whatever it needs to know, and acts through it.
void RunLauncherWindow(System& system);

// A COLORREF: 0x00BBGGRR, blue in the high byte.
using ColourRef = std::uint32_t;

inline constexpr std::uint16_t ID_TOGGLE = 101;
inline constexpr std::uint16_t ID_UPDATE = 102;
inline constexpr std::uint16_t ID_UNINSTALL = 103;

// In the launcher window's client coordinates, in pixels.
struct PixelRect {
  int x, y, width, height;
};

struct LauncherButton {
  std::uint16_t id;
  // Constant UTF-16; empty for the toggle, whose label is ToggleLabel(running).
  const char16_t* fixed_label;
  PixelRect bounds;
};

// In creation order.
std::span<const LauncherButton> LauncherButtons();

// Every text line starts at this x; its y is the top of the text.
inline constexpr int kTextLeft = 20;
inline constexpr int kTitleTop = 20;
inline constexpr int kStatusTop = 50;
// The window's title, which its client area shows too.
inline constexpr std::string_view kTitleText = "Lanternfield";

inline constexpr ColourRef kBackgroundColour = 0x002E1E1E;
inline constexpr ColourRef kTitleColour = 0x00F2F8F8;
inline constexpr ColourRef kRunningColour = 0x0000CC55;
inline constexpr ColourRef kStoppedColour = 0x005555FF;

struct StatusText {
  std::string_view text;
  ColourRef colour;
};

std::string_view ToggleLabel(bool running);
StatusText StatusLine(bool running);

// What the window does once a command has run.
enum class CommandFollowUp { Stay, DestroyWindow, Quit };

// `command` is WM_COMMAND's wParam: the control identifier is its low 16 bits, and the
// notification code above them is not looked at. `window` owns the uninstall flow's boxes.
CommandFollowUp HandleLauncherCommand(System& system, WindowHandle window, std::uintptr_t command);

}  // namespace ltf
