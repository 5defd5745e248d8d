#pragma once
// The 32 by 32 tool bar icons, drawn rather than loaded so that the program has no image
// files to lose.
#include <QIcon>
#include <cstdint>

namespace vorn {

constexpr int kToolButtonSize = 32;

// An icon for a tool bar command; a plain framed square for a command without a picture.
QIcon CommandIcon(std::uint32_t command);

} // namespace vorn
