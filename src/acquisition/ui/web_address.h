#pragma once
// Web addresses that announcements bring from the feed server are untrusted: only plain
// http and https addresses are handed to the system's browser.
#include <QUrl>
#include <string_view>

namespace vorn {

// The address as a URL when it may be opened; an invalid QUrl otherwise.
QUrl OpenableWebUrl(std::string_view address);
// Opens the address in the system's default browser; false when it was refused or the
// system could not open it.
bool OpenWebAddress(std::string_view address);

} // namespace vorn
