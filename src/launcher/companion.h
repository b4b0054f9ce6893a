#pragma once

#include <string_view>

namespace ltf {

// The companion's file name, and the image name the probe and the stop action look for.
inline constexpr std::string_view kCompanionImageName = "lanternfield.exe";
inline constexpr std::u16string_view kCompanionFileName = u"lanternfield.exe";
inline constexpr std::u16string_view kUninstallerFileName = u"Uninstall.exe";

}  // namespace ltf
