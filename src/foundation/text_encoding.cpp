#include "foundation/text_encoding.h"

#include <cerrno>
#include <iconv.h>
#include <memory>

namespace vorn {
namespace {

// Bytes of the UTF-8 sequence that starts at `p`: the lead byte and the continuation bytes
// it announces, as far as they are present.
std::size_t Utf8SequenceLength(const char* p, std::size_t left) {
    const auto lead = static_cast<unsigned char>(p[0]);
    std::size_t expected = lead >= 0xF0 && lead <= 0xF7   ? 4
                           : lead >= 0xE0 && lead <= 0xEF ? 3
                           : lead >= 0xC0 && lead <= 0xDF ? 2
                                                          : 1;
    std::size_t length = 1;
    while (length < expected && length < left &&
           (static_cast<unsigned char>(p[length]) & 0xC0) == 0x80)
        ++length;
    return length;
}

std::string Convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement, bool fromUtf8) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(in);
    const std::unique_ptr<void, int (*)(iconv_t)> closer(cd, iconv_close);
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
            // Invalid, unrepresentable or truncated: replace it and go on. A UTF-8 character
            // is skipped whole so that it yields one replacement, not one per byte.
            out.append(replacement);
            const std::size_t skip = fromUtf8 ? Utf8SequenceLength(src, srcLeft) : 1;
            src += skip;
            srcLeft -= skip;
        }
    }
    return out;
}

} // namespace

std::string Cp932ToUtf8(std::string_view cp932) {
    return Convert(cp932, "CP932", "UTF-8", "\xEF\xBF\xBD", false);
}

std::string Utf8ToCp932(std::string_view utf8) {
    return Convert(utf8, "UTF-8", "CP932", "?", true);
}

} // namespace vorn
