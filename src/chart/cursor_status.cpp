#include "chart/cursor_status.h"

#include <cstdio>

#include "foundation/number_format.h"
#include "foundation/packed_date.h"

namespace vorn {
namespace {

std::string DateText(std::uintptr_t value) {
    const auto date = static_cast<PackedDate>(value);
    char text[48];
    std::snprintf(text, sizeof text, "日付：%04u/%2u/%2u", DateYear(date), DateMonth(date),
                  DateDay(date));
    return text;
}

std::string Grouped(std::uint64_t value) {
    char text[kGroupedIntegerCapacity];
    FormatGroupedInteger(text, value);
    return text;
}

std::string GroupedHundredths(std::uint64_t value) {
    char text[kGroupedRealCapacity];
    FormatGroupedReal(static_cast<double>(value) / 100.0, "%.02f", text);
    return text;
}

// Reports carry unsigned values; a negative lParam can only come from a damaged report.
std::uint64_t Unsigned(std::intptr_t value) {
    return value < 0 ? 0 : static_cast<std::uint64_t>(value);
}

} // namespace

CursorStatusText FormatCursorStatus(std::uint32_t message, std::uintptr_t wParam,
                                    std::intptr_t lParam) {
    CursorStatusText text;
    switch (message) {
    case kMsgCursorPrice:
        text.first = DateText(wParam);
        text.second = "株価：" + Grouped(Unsigned(lParam));
        break;
    case kMsgCursorPriceHundredths:
        text.first = DateText(wParam);
        text.second = "株価：" + GroupedHundredths(Unsigned(lParam));
        break;
    case kMsgCursorVolume:
        text.first = DateText(wParam);
        text.second = "出来高：" + Grouped(Unsigned(lParam));
        break;
    case kMsgCursorVolumeThousands:
        text.first = DateText(wParam);
        text.second = "出来高：" + Grouped(Unsigned(lParam)) + "千";
        break;
    case kMsgCursorBand:
    case kMsgCursorBandThousands:
    case kMsgCursorBandMillions:
        text.first = "出来高：" + Grouped(wParam);
        if (message == kMsgCursorBandThousands)
            text.first += "千";
        else if (message == kMsgCursorBandMillions)
            text.first += "百万";
        text.second = "価格帯：" + Grouped(Unsigned(lParam));
        break;
    default:
        break;
    }
    return text;
}

} // namespace vorn
