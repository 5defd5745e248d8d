#include "technical/technical_result.h"

#include <algorithm>
#include <cstdio>

#include "foundation/file_replacement.h"
#include "foundation/text_encoding.h"

namespace vorn {
namespace {

// The header lines in cp932: "日付,移動平均\n", "日付,傾斜\n", "日付,売買高平均値\n".
constexpr std::string_view kMovingAverageHeader =
    "\x93\xfa\x95\x74,\x88\xda\x93\xae\x95\xbd\x8b\xcf\n";
constexpr std::string_view kInclinationHeader = "\x93\xfa\x95\x74,\x8c\x58\x8e\xce\n";
constexpr std::string_view kTurnoverHeader =
    "\x93\xfa\x95\x74,\x94\x84\x94\x83\x8d\x82\x95\xbd\x8b\xcf\x92\x6c\n";

} // namespace

void CDatedValues::Set(PackedDate date, double value) {
    if (values_.empty() || date < values_.back().date) {
        values_.push_back({date, value});
        return;
    }
    const auto at = std::lower_bound(values_.begin(), values_.end(), date,
                                     [](const DatedValue& v, PackedDate d) { return v.date > d; });
    if (at != values_.end() && at->date == date)
        at->value = value;
    else
        values_.insert(at, {date, value});
}

const double* CDatedValues::Find(PackedDate date) const {
    const auto at = std::lower_bound(values_.begin(), values_.end(), date,
                                     [](const DatedValue& v, PackedDate d) { return v.date > d; });
    return at != values_.end() && at->date == date ? &at->value : nullptr;
}

std::string CTechnicalResult::CsvText(const CsvUnit& unit) const {
    std::string text(CsvHeader());
    if (!unit.unit.empty())
        text.insert(text.size() - 1, Utf8ToCp932("(" + std::string(unit.unit) + ")"));
    const double divisor = unit.divisor > 0 ? unit.divisor : 1.0;
    char line[400];
    for (const DatedValue& entry : values_.NewestFirst()) {
        // Adding +0.0 turns a negative zero into zero, which prints without a sign.
        const int length =
            std::snprintf(line, sizeof line, "%04u%02u%02u,%f\n", DateYear(entry.date),
                          DateMonth(entry.date), DateDay(entry.date), entry.value / divisor + 0.0);
        if (length > 0)
            text.append(line,
                        std::min<std::size_t>(static_cast<std::size_t>(length), sizeof line - 1));
    }
    return text;
}

bool CTechnicalResult::ExportCsv(const std::filesystem::path& path) const {
    return ReplaceFileWith(path, CsvText());
}

std::string_view CTechnicalMovingAverage::CsvHeader() const {
    return kMovingAverageHeader;
}
std::string_view CTechnicalInclinationIndex::CsvHeader() const {
    return kInclinationHeader;
}
std::string_view CTechnicalTurnoverAverage::CsvHeader() const {
    return kTurnoverHeader;
}

} // namespace vorn
