#pragma once
// Stored text is cp932; the screen, the terminal and the clipboard take UTF-8.
#include <string>
#include <string_view>

namespace vorn {

// Undecodable bytes become U+FFFD ("?" for the reverse direction) rather than failing.
std::string Cp932ToUtf8(std::string_view cp932);
std::string Utf8ToCp932(std::string_view utf8);

} // namespace vorn
