#include "foundation/text_encoding.h"

#include <cerrno>
#include <iconv.h>

namespace vorn {
namespace {

std::string Convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in);
    out.reserve(in.size() * 3 / 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buffer[1024];
    while (srcLeft > 0) {
        char* dst = buffer;
        size_t dstLeft = sizeof buffer;
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<size_t>(dst - buffer));
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // Invalid or truncated sequence: replace one byte and go on.
            out.append(replacement);
            ++src;
            --srcLeft;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    return Convert(cp932, "CP932", "UTF-8", "\xEF\xBF\xBD");
}

std::string Utf8ToCp932(std::string_view utf8) { return Convert(utf8, "UTF-8", "CP932", "?"); }

} // namespace vorn
