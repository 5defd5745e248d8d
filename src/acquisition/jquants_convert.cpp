#include "acquisition/jquants_convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "acquisition/jquants_json.h"
#include "foundation/date_text.h"
#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"

namespace vorn {

namespace {

constexpr std::uint64_t kLargestStoredPrice = 0xFFFFFFFFu;
constexpr std::uint8_t kKindSplit = 2;                 // "株式分割"
constexpr std::uint8_t kKindAdjustment = 0;            // "調整"
constexpr std::uint8_t kTradingUnit100 = 1 | (2 << 5); // 1 x 10^2
constexpr std::uint64_t kIndexBase = 100000;           // 1,000.00 in hundredths

constexpr std::array<std::string_view, 33> kSector33 = {
    "0050", "1050", "2050", "3050", "3100", "3150", "3200", "3250", "3300", "3350", "3400",
    "3450", "3500", "3550", "3600", "3650", "3700", "3750", "3800", "4050", "5050", "5100",
    "5150", "5200", "5250", "6050", "6100", "7050", "7100", "7150", "7200", "8050", "9050"};

unsigned PriceWidth(std::uint64_t largest) {
    return largest <= 0xFF ? 1 : largest <= 0xFFFF ? 2 : 4;
}
unsigned VolumeWidth(std::uint64_t largest) {
    return largest <= 0xFF ? 1 : largest <= 0xFFFF ? 2 : largest <= 0xFFFFFFFFu ? 4 : 8;
}
std::uint16_t PriceTypeOfWidth(unsigned width) {
    return width == 1 ? kPricesU8 : width == 2 ? kPricesU16 : kPricesU32;
}
std::uint16_t VolumeTypeOfWidth(unsigned width) {
    return width == 1 ? kValueU8 : width == 2 ? kValueU16 : width == 4 ? kValueU32 : kValueU64;
}

std::string DescribeField(const CJsonRow& row, std::string_view name) {
    const JsonField* field = row.Find(name);
    return field == nullptr ? std::string("missing") : "\"" + field->text + "\"";
}

// One day of a series in hundredths, before the width is chosen.
struct DayValues {
    std::uint64_t open, high, low, close, volume;
};

// The close of the last stored day of `security` in hundredths.
std::uint64_t LastCloseInHundredths(const SecurityRecord& security) {
    if (security.prices.Empty() || !IsPriceType(security.prices.elementType))
        return 0;
    const std::size_t width = ElementSize(security.prices.elementType) / 4;
    const std::uint8_t* last = security.prices.data.get() + (security.prices.count - 1) * width * 4;
    std::uint64_t close = ReadUnsigned(last + 3 * width, width);
    if (!(security.listingFlags & kListingHundredths))
        close *= 100;
    for (unsigned i = 0; i < security.prices.attribute && close < (1ull << 56); ++i)
        close *= 10;
    return close;
}

// Rewrites a stored price series in another width and scale.
bool RewritePrices(TypedArray& prices, std::uint64_t scale, std::size_t extraDays) {
    if (!IsPriceType(prices.elementType) || (prices.count > 0 && !prices.data))
        return false;
    const std::size_t width = ElementSize(prices.elementType) / 4;
    std::uint64_t largest = 0;
    for (std::size_t i = 0; i < std::size_t{prices.count} * 4; ++i)
        largest = std::max(largest, ReadUnsigned(prices.data.get() + i * width, width));
    if (largest > kLargestStoredPrice / scale || std::size_t{prices.count} + extraDays > 0xFFFF)
        return false;
    const unsigned target = std::max<unsigned>(PriceWidth(largest * scale), width);
    TypedArray out;
    out.elementType = PriceTypeOfWidth(target);
    out.attribute = prices.attribute;
    out.count = static_cast<std::uint16_t>(prices.count + extraDays);
    out.data = AllocateZeroed(out.ByteSize());
    if (!out.data)
        return false;
    std::uint64_t close = 0;
    for (std::size_t i = 0; i < std::size_t{prices.count} * 4; ++i) {
        const std::uint64_t value = ReadUnsigned(prices.data.get() + i * width, width) * scale;
        WriteUnsigned(out.data.get() + i * target, target, value);
        close = value;
    }
    for (std::size_t i = std::size_t{prices.count} * 4; i < std::size_t{out.count} * 4; ++i)
        WriteUnsigned(out.data.get() + i * target, target, close);
    prices = std::move(out);
    return true;
}

bool ExtendVolumes(TypedArray& volumes, std::size_t extraDays) {
    if (!IsValueType(volumes.elementType) || std::size_t{volumes.count} + extraDays > 0xFFFF)
        return false;
    TypedArray out;
    out.elementType = volumes.elementType;
    out.attribute = volumes.attribute;
    out.count = static_cast<std::uint16_t>(volumes.count + extraDays);
    out.data = AllocateZeroed(out.ByteSize());
    if (!out.data)
        return false;
    if (volumes.data)
        std::copy_n(volumes.data.get(), volumes.ByteSize(), out.data.get());
    volumes = std::move(out);
    return true;
}

bool FillSeries(SecurityRecord& security, const std::vector<DayValues>& days, bool hundredths) {
    std::uint64_t largestPrice = 0;
    std::uint64_t largestVolume = 0;
    const std::uint64_t divisor = hundredths ? 1 : 100;
    for (const DayValues& day : days) {
        largestPrice = std::max({largestPrice, day.open, day.high, day.low, day.close});
        largestVolume = std::max(largestVolume, day.volume);
    }
    largestPrice /= divisor;
    const unsigned priceWidth = PriceWidth(largestPrice);
    const unsigned volumeWidth = VolumeWidth(largestVolume);
    TypedArray& prices = security.prices;
    TypedArray& volumes = security.volumes;
    prices.elementType = PriceTypeOfWidth(priceWidth);
    prices.attribute = 0;
    prices.count = static_cast<std::uint16_t>(days.size());
    prices.data = AllocateZeroed(prices.ByteSize());
    volumes.elementType = VolumeTypeOfWidth(volumeWidth);
    volumes.attribute = 0;
    volumes.count = prices.count;
    volumes.data = AllocateZeroed(volumes.ByteSize());
    if (!prices.data || !volumes.data)
        return false;
    std::uint8_t* p = prices.data.get();
    std::uint8_t* v = volumes.data.get();
    for (const DayValues& day : days) {
        WriteUnsigned(p, priceWidth, day.open / divisor);
        WriteUnsigned(p + priceWidth, priceWidth, day.high / divisor);
        WriteUnsigned(p + 2 * priceWidth, priceWidth, day.low / divisor);
        WriteUnsigned(p + 3 * priceWidth, priceWidth, day.close / divisor);
        WriteUnsigned(v, volumeWidth, day.volume);
        p += 4 * priceWidth;
        v += volumeWidth;
    }
    return true;
}

bool FillHistory(CompanyRecord& company,
                 const std::vector<std::pair<PackedDate, std::uint64_t>>& entries) {
    if (entries.empty())
        return true;
    std::uint64_t largest = 0;
    for (const auto& entry : entries)
        largest = std::max(largest, entry.second);
    TypedArray& history = company.history;
    history.elementType = VolumeTypeOfWidth(VolumeWidth(largest));
    history.attribute = 0;
    history.count = static_cast<std::uint16_t>(std::min<std::size_t>(entries.size(), 0xFFFF));
    history.data = AllocateZeroed(history.HistoryByteSize());
    if (!history.data)
        return false;
    const std::size_t size = HistoryEntrySize(history.elementType);
    for (std::size_t i = 0; i < history.count; ++i) {
        WriteUnsigned(history.data.get() + i * size, 2, entries[i].first);
        WriteUnsigned(history.data.get() + i * size + 2, size - 2, entries[i].second);
    }
    return true;
}

} // namespace

PackedDate ParseApiDate(std::string_view text) {
    // The API writes YYYY-MM-DD or YYYYMMDD, never with slashes.
    if (text.find('/') != std::string_view::npos)
        return kNoDate;
    return ParseDateText(text);
}

std::string FormatApiDate(PackedDate date) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", DateYear(date), DateMonth(date),
                  DateDay(date));
    return text;
}

bool ParseIncludeList(std::string_view list, JQuantsConvertOptions& options, std::string& unknown) {
    static constexpr std::pair<std::string_view, std::string_view> kWords[] = {
        {"stock", "011"},       {"preferred-equity", "012"}, {"reit", "013"},
        {"etf", "014"},         {"foreign-stock", "021"},    {"foreign-reit", "022"},
        {"foreign-etf", "023"}, {"foreign-dr", "024"}};
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view word = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        if (word.empty())
            continue;
        if (word == "pro-market") {
            options.includeProMarket = true;
            continue;
        }
        if (word == "other-market") {
            options.includeOtherMarket = true;
            continue;
        }
        const auto it = std::find_if(std::begin(kWords), std::end(kWords),
                                     [word](const auto& entry) { return entry.first == word; });
        if (it == std::end(kWords)) {
            unknown = std::string(word);
            return false;
        }
        options.productCategories.insert(std::string(it->second));
    }
    return true;
}

std::uint8_t MarketOfSegment(std::string_view segment, const JQuantsConvertOptions& options) {
    if (segment == "0111" || segment == "0101")
        return 1;
    if (segment == "0112" || segment == "0102")
        return 2;
    if (segment == "0113" || segment == "0104")
        return 3;
    if (segment == "0106" || segment == "0107")
        return 15;
    // Funds and the professional market have no segment of their own in the file; they are
    // shown with the first market when asked for.
    if ((segment == "0105" && options.includeProMarket) ||
        (segment == "0109" && options.includeOtherMarket))
        return 1;
    return 0;
}

std::uint8_t IndustryOfSector33(std::string_view sector) {
    for (std::size_t i = 0; i < kSector33.size(); ++i)
        if (kSector33[i] == sector)
            return static_cast<std::uint8_t>(i + 1);
    return 0;
}

CJQuantsMarket::CJQuantsMarket(JQuantsConvertOptions options) : options_(std::move(options)) {}

ConvertResult CJQuantsMarket::Fail(ConvertResult result, JQuantsConvertReport& report,
                                   std::string error) {
    report.error = std::move(error);
    return result;
}

bool CJQuantsMarket::AddCalendarPage(std::string_view body, PackedDate from, PackedDate to,
                                     std::string& error) {
    JsonEnvelope envelope;
    std::string bad;
    const bool ok = ParseEnvelope(
        body,
        [&](const CJsonRow& row) {
            const PackedDate date = ParseApiDate(row.Text("Date"));
            const std::string_view kind = row.Text("HolDiv");
            if (date == kNoDate || kind.empty()) {
                bad = "calendar row with Date " + DescribeField(row, "Date");
                return false;
            }
            if ((kind == "1" || kind == "2") && date >= from && date <= to)
                days_.push_back(date);
            return true;
        },
        envelope, error);
    if (!bad.empty())
        error = bad;
    std::sort(days_.begin(), days_.end());
    days_.erase(std::unique(days_.begin(), days_.end()), days_.end());
    return ok;
}

bool CJQuantsMarket::AddBarsPage(std::string_view body, std::string& error) {
    JsonEnvelope envelope;
    std::string bad;
    const bool ok = ParseEnvelope(
        body,
        [&](const CJsonRow& row) {
            Bar bar;
            bar.date = ParseApiDate(row.Text("Date"));
            const std::string_view code = row.Text("Code");
            if (bar.date == kNoDate || code.empty() || code.size() > 8) {
                bad = "bar with Date " + DescribeField(row, "Date") + " and Code " +
                      DescribeField(row, "Code");
                return false;
            }
            std::uint64_t* targets[] = {&bar.open, &bar.high, &bar.low, &bar.close};
            static constexpr const char* kNames[] = {"O", "H", "L", "C"};
            unsigned missing = 0;
            for (int i = 0; i < 4; ++i) {
                const DecimalStatus status =
                    ParseScaledDecimal(row.Find(kNames[i]), 2, *targets[i]);
                if (status == DecimalStatus::Missing) {
                    ++missing;
                } else if (status != DecimalStatus::Ok) {
                    bad = std::string(code) + " on " + std::string(row.Text("Date")) + ": " +
                          kNames[i] + " " + DescribeField(row, kNames[i]) +
                          (status == DecimalStatus::TooPrecise ? " has more than two decimal places"
                           : status == DecimalStatus::TooLarge ? " is too large"
                                                               : " is not a price");
                    return false;
                }
            }
            std::uint64_t volume = 0;
            const DecimalStatus volumeStatus = ParseScaledDecimal(row.Find("Vo"), 0, volume);
            if (volumeStatus != DecimalStatus::Ok && volumeStatus != DecimalStatus::Missing) {
                bad = std::string(code) + " on " + std::string(row.Text("Date")) + ": Vo " +
                      DescribeField(row, "Vo") + " is not a share count";
                return false;
            }
            bar.traded = missing == 0 && bar.high != 0;
            if (bar.traded) {
                bar.volume = volume;
                bar.hundredths = bar.open % 100 != 0 || bar.high % 100 != 0 || bar.low % 100 != 0 ||
                                 bar.close % 100 != 0;
            } else {
                bar.open = bar.high = bar.low = bar.close = 0;
            }
            if (const auto factor = FieldAsDouble(row.Find("AdjFactor"));
                factor && *factor > 0 && std::isfinite(*factor))
                bar.factor = *factor;
            bars_[std::string(code)].push_back(bar);
            return true;
        },
        envelope, error);
    if (!bad.empty())
        error = bad;
    return ok;
}

bool CJQuantsMarket::AddMasterPage(std::string_view body, std::string& error) {
    JsonEnvelope envelope;
    return ParseEnvelope(
        body,
        [&](const CJsonRow& row) {
            const std::string_view code = row.Text("Code");
            if (code.empty() || code.size() > 8)
                return true;
            Master master;
            master.date = ParseApiDate(row.Text("Date"));
            auto& held = masters_[std::string(code)];
            if (!held.name.empty() && held.date > master.date)
                return true;
            master.name = row.Text("CoName");
            master.sector33 = row.Text("S33");
            master.segment = row.Text("Mkt");
            master.margin = row.Text("Mrgn");
            master.category = row.Text("ProdCat");
            held = std::move(master);
            return true;
        },
        envelope, error);
}

bool CJQuantsMarket::AddStatementsPage(std::string_view body, std::string& error) {
    JsonEnvelope envelope;
    return ParseEnvelope(
        body,
        [&](const CJsonRow& row) {
            const PackedDate date = ParseApiDate(row.Text("DiscDate"));
            const std::string_view code = row.Text("Code");
            std::uint64_t shares = 0;
            // Revisions of forecasts carry no share count; those rows are passed over.
            if (date == kNoDate || code.empty() || code.size() > 8 ||
                ParseScaledDecimal(row.Find("ShOutFY"), 0, shares) != DecimalStatus::Ok ||
                shares == 0)
                return true;
            shares_[std::string(code)].emplace_back(date, shares);
            return true;
        },
        envelope, error);
}

bool CJQuantsMarket::AddTopixPage(std::string_view body, std::string& error) {
    JsonEnvelope envelope;
    std::string bad;
    const bool ok = ParseEnvelope(
        body,
        [&](const CJsonRow& row) {
            Bar bar;
            bar.date = ParseApiDate(row.Text("Date"));
            if (bar.date == kNoDate) {
                bad = "TOPIX row with Date " + DescribeField(row, "Date");
                return false;
            }
            std::uint64_t* targets[] = {&bar.open, &bar.high, &bar.low, &bar.close};
            static constexpr const char* kNames[] = {"O", "H", "L", "C"};
            bar.traded = true;
            for (int i = 0; i < 4; ++i)
                if (ParseScaledDecimal(row.Find(kNames[i]), 2, *targets[i]) != DecimalStatus::Ok)
                    bar.traded = false;
            if (bar.traded)
                topix_.push_back(bar);
            return true;
        },
        envelope, error);
    if (!bad.empty())
        error = bad;
    return ok;
}

PackedDate CJQuantsMarket::LastDayWithBars() {
    PackedDate last = kNoDate;
    for (const auto& [code, bars] : bars_)
        for (const Bar& bar : bars)
            if (std::binary_search(days_.begin(), days_.end(), bar.date))
                last = std::max(last, bar.date);
    days_.erase(std::upper_bound(days_.begin(), days_.end(), last), days_.end());
    return last;
}

std::vector<std::pair<std::string, PackedDate>> CJQuantsMarket::CodesWithoutMaster() const {
    std::vector<std::pair<std::string, PackedDate>> codes;
    for (const auto& [code, bars] : bars_) {
        if (masters_.count(code) != 0 || bars.empty())
            continue;
        PackedDate last = kNoDate;
        for (const Bar& bar : bars)
            last = std::max(last, bar.date);
        codes.emplace_back(code, last);
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

struct CJQuantsMarket::Issue {
    std::uint16_t code = 0;
    std::uint8_t market = 0;
};

ConvertResult CJQuantsMarket::Build(CMarketMatrix& matrix, JQuantsConvertReport& report) {
    matrix.Clear();
    report = JQuantsConvertReport{};
    if (days_.empty())
        return Fail(ConvertResult::NoData, report,
                    "the calendar holds no trading day in the range");
    if (days_.size() > CCalendar::kMaxKeys)
        return Fail(ConvertResult::TooLarge, report, "more than 65534 trading days");
    for (PackedDate day : days_)
        matrix.AddTradingDay(day);
    if (matrix.DailyCalendar().Count() != days_.size())
        return Fail(ConvertResult::NoMemory, report, "out of memory");
    matrix.RebuildPeriodCalendars();
    const ConvertResult result = Convert(matrix, nullptr, report);
    if (result != ConvertResult::Ok)
        matrix.Clear();
    return result;
}

ConvertResult CJQuantsMarket::BuildUpdate(CMarketMatrix& main, CMarketMatrix& update,
                                          JQuantsConvertReport& report) {
    update.Clear();
    report = JQuantsConvertReport{};
    const CCalendar& held = main.DailyCalendar();
    if (held.Empty())
        return Fail(ConvertResult::NoData, report, "the file holds no trading day");
    const PackedDate lastDay = *held.Last();
    std::vector<PackedDate> all(held.Data(), held.Data() + held.Count());
    for (PackedDate day : days_)
        if (day > lastDay)
            all.push_back(day);
    if (all.size() == held.Count())
        return Fail(ConvertResult::NoData, report,
                    "no trading day after " + FormatApiDate(lastDay));
    if (all.size() > CCalendar::kMaxKeys)
        return Fail(ConvertResult::TooLarge, report, "more than 65534 trading days");
    days_ = std::move(all);
    update.AssignCalendar(held);
    for (std::size_t i = held.Count(); i < days_.size(); ++i)
        update.AddTradingDay(days_[i]);
    if (update.DailyCalendar().Count() != days_.size())
        return Fail(ConvertResult::NoMemory, report, "out of memory");
    update.RebuildPeriodCalendars();
    return Convert(update, &main, report);
}

// The securities of the answers, day by day over the calendar; with `main`, only the days
// after its last day go into `target`.
ConvertResult CJQuantsMarket::Convert(CMarketMatrix& target, CMarketMatrix* main,
                                      JQuantsConvertReport& report) {
    const std::size_t dayCount = days_.size();
    const std::size_t firstNew = main ? main->DailyCalendar().Count() : 0;
    std::vector<std::int32_t> positionOf(0x10000, -1);
    for (std::size_t i = 0; i < dayCount; ++i)
        positionOf[days_[i]] = static_cast<std::int32_t>(i);

    // Index contributions by day: sums of the day's ratios to the previous close.
    std::vector<std::array<double, 4>> ratioSums(dayCount, {0, 0, 0, 0});
    std::vector<std::uint32_t> contributors(dayCount, 0);
    std::vector<std::uint64_t> marketVolume(dayCount, 0);

    std::vector<std::string> codes;
    codes.reserve(bars_.size());
    for (const auto& entry : bars_)
        codes.push_back(entry.first);
    std::sort(codes.begin(), codes.end());

    std::vector<DayValues> series;
    std::vector<const Issue*> domestic;
    std::vector<Issue> issues;
    issues.reserve(codes.size());
    for (const std::string& code5 : codes) {
        std::vector<Bar>& bars = bars_[code5];
        const auto masterIt = masters_.find(code5);
        if (masterIt == masters_.end()) {
            ++report.withoutMaster;
            continue;
        }
        const Master& master = masterIt->second;
        if (options_.productCategories.count(master.category) == 0) {
            ++report.otherCategories;
            continue;
        }
        const std::optional<std::uint16_t> code = ParseDeliveredStockCode(code5);
        if (!code) {
            ++report.otherClasses;
            continue;
        }
        const std::uint8_t market = MarketOfSegment(master.segment, options_);
        if (market == 0) {
            ++report.otherSegments;
            continue;
        }
        std::uint8_t industry = IndustryOfSector33(master.sector33);
        if (industry == 0)
            industry = kIndexIndustry; // funds: no sector of their own
        std::stable_sort(bars.begin(), bars.end(),
                         [](const Bar& a, const Bar& b) { return a.date < b.date; });

        // The days this security covers in `target`.
        SecurityRecord* held = main ? main->FindSecurity(MakeSecurityKey(*code, market)) : nullptr;
        std::int32_t first = -1, last = -1;
        for (const Bar& bar : bars) {
            const std::int32_t position = positionOf[bar.date];
            if (position < 0 || static_cast<std::size_t>(position) < firstNew)
                continue;
            if (first < 0 && (bar.traded || held))
                first = position;
            if (first >= 0)
                last = position;
        }
        if (first < 0) {
            if (!main)
                ++report.noTrades;
            continue;
        }
        std::uint64_t close = 0;
        bool hundredths = false;
        if (held) {
            const int heldLast = main->DailyCalendar().PositionOf(held->lastDate);
            const std::size_t missed =
                heldLast < 0 ? 0 : firstNew - 1 - static_cast<std::size_t>(heldLast);
            close = LastCloseInHundredths(*held);
            hundredths = (held->listingFlags & kListingHundredths) != 0;
            first = static_cast<std::int32_t>(firstNew);
            if (missed > 0) {
                // Brought up to the file's last day as days without trading, so that the
                // merge continues it.
                if (!RewritePrices(held->prices, 1, missed) ||
                    !ExtendVolumes(held->volumes, missed))
                    return Fail(ConvertResult::TooLarge, report,
                                FormatStockCode(*code) + ": its series cannot be extended");
                held->lastDate = days_[firstNew - 1];
            }
        }
        series.clear();
        series.reserve(static_cast<std::size_t>(last - first + 1));
        auto adjustments = std::make_unique<AdjustmentList>();
        std::size_t next = 0;
        for (std::int32_t position = first; position <= last; ++position) {
            const PackedDate day = days_[static_cast<std::size_t>(position)];
            while (next < bars.size() && bars[next].date < day)
                ++next;
            const Bar* bar = nullptr;
            while (next < bars.size() && bars[next].date == day)
                bar = &bars[next++];
            const double factor = bar ? bar->factor : 1.0;
            if (bar && std::fabs(factor - 1.0) > 1e-9)
                adjustments->entries.push_back(
                    {day, factor < 1.0 ? kKindSplit : kKindAdjustment, 1.0 / factor});
            const std::size_t p = static_cast<std::size_t>(position);
            if (bar && bar->traded) {
                for (const std::uint64_t value : {bar->open, bar->high, bar->low, bar->close})
                    if (value / 100 > kLargestStoredPrice)
                        return Fail(ConvertResult::TooLarge, report,
                                    FormatStockCode(*code) + " on " + FormatApiDate(day) +
                                        ": the price " + std::to_string(value / 100) +
                                        " is more than the file can hold");
                if (master.category == "011" && close != 0) {
                    const double base = static_cast<double>(close) * factor;
                    ratioSums[p][0] += static_cast<double>(bar->open) / base;
                    ratioSums[p][1] += static_cast<double>(bar->high) / base;
                    ratioSums[p][2] += static_cast<double>(bar->low) / base;
                    ratioSums[p][3] += static_cast<double>(bar->close) / base;
                    ++contributors[p];
                }
                if (master.category == "011")
                    marketVolume[p] += bar->volume;
                series.push_back({bar->open, bar->high, bar->low, bar->close, bar->volume});
                hundredths = hundredths || bar->hundredths;
                close = bar->close;
                ++report.rows;
            } else {
                series.push_back({close, close, close, close, 0});
            }
        }
        if (hundredths) {
            std::uint64_t largest = 0;
            for (const DayValues& day : series)
                largest = std::max(largest, day.high);
            if (largest > kLargestStoredPrice)
                return Fail(ConvertResult::TooLarge, report,
                            FormatStockCode(*code) + ": its prices have decimals but are too "
                                                     "large to store in hundredths");
            if (held && !(held->listingFlags & kListingHundredths)) {
                if (!RewritePrices(held->prices, 100, 0))
                    return Fail(ConvertResult::TooLarge, report,
                                FormatStockCode(*code) + ": its prices gain decimals but are "
                                                         "too large to store in hundredths");
                held->listingFlags |= kListingHundredths;
            }
        }

        CompanyRecord* company = target.FindOrAddCompany(*code, industry);
        if (company == nullptr)
            return Fail(ConvertResult::NoMemory, report, "out of memory");
        company->industry = industry;
        if (!company->name) {
            company->name = Utf8ToCp932(master.name);
            auto shares = shares_.find(code5);
            if (shares != shares_.end()) {
                auto& entries = shares->second;
                std::stable_sort(entries.begin(), entries.end(),
                                 [](const auto& a, const auto& b) { return a.first < b.first; });
                std::vector<std::pair<PackedDate, std::uint64_t>> history;
                for (const auto& entry : entries) {
                    if (!history.empty() && history.back().first == entry.first)
                        history.back().second = entry.second; // the later disclosure holds
                    else
                        history.push_back(entry);
                }
                // Repeats of the same count add nothing.
                history.erase(
                    std::unique(history.begin(), history.end(),
                                [](const auto& a, const auto& b) { return a.second == b.second; }),
                    history.end());
                if (!FillHistory(*company, history))
                    return Fail(ConvertResult::NoMemory, report, "out of memory");
            }
        }
        SecurityRecord* security = target.FindOrAddSecurity(*code, market);
        if (security == nullptr)
            return Fail(ConvertResult::NoMemory, report, "out of memory");
        security->tradingUnit = kTradingUnit100;
        security->listingFlags =
            static_cast<std::uint8_t>((master.margin == "2" ? kListingMarginTradable : 0) |
                                      (hundredths ? kListingHundredths : 0));
        security->firstDate = days_[static_cast<std::size_t>(first)];
        security->lastDate = days_[static_cast<std::size_t>(last)];
        if (!FillSeries(*security, series, hundredths))
            return Fail(ConvertResult::NoMemory, report, "out of memory");
        if (!adjustments->entries.empty())
            security->adjustments = std::move(adjustments);
        issues.push_back({*code, market});
    }
    report.securities = target.Securities().size();
    report.companies = target.Companies().size();

    // The benchmark index.
    std::uint64_t close = kIndexBase;
    bool haveClose = false;
    if (main) {
        if (const SecurityRecord* index =
                main->FindSecurity(MakeSecurityKey(kBenchmarkIndexCode, 1))) {
            close = LastCloseInHundredths(*index);
            haveClose = close != 0;
        }
    }
    series.clear();
    const bool topix = !topix_.empty();
    std::sort(topix_.begin(), topix_.end(),
              [](const Bar& a, const Bar& b) { return a.date < b.date; });
    std::size_t next = 0;
    for (std::size_t p = firstNew; p < dayCount; ++p) {
        DayValues day{close, close, close, close, marketVolume[p]};
        if (topix) {
            while (next < topix_.size() && topix_[next].date < days_[p])
                ++next;
            if (next < topix_.size() && topix_[next].date == days_[p]) {
                const Bar& bar = topix_[next];
                day = {bar.open, bar.high, bar.low, bar.close, marketVolume[p]};
            }
        } else if (!haveClose) {
            day = {kIndexBase, kIndexBase, kIndexBase, kIndexBase, marketVolume[p]};
        } else if (contributors[p] > 0) {
            // Chained from the stored close, so that a later append continues exactly.
            std::uint64_t* fields[] = {&day.open, &day.high, &day.low, &day.close};
            for (int i = 0; i < 4; ++i)
                *fields[i] = static_cast<std::uint64_t>(
                    std::llround(static_cast<double>(close) * ratioSums[p][i] / contributors[p]));
            day.high = std::max({day.high, day.open, day.close});
            day.low = std::min({day.low, day.open, day.close});
        }
        haveClose = true;
        close = day.close;
        series.push_back(day);
    }
    if (!series.empty() && !issues.empty()) {
        CompanyRecord* company = target.FindOrAddCompany(kBenchmarkIndexCode, kIndexIndustry);
        if (company == nullptr)
            return Fail(ConvertResult::NoMemory, report, "out of memory");
        company->name = Utf8ToCp932(topix ? kTopixName : kStandInIndexName);
        SecurityRecord* security = target.FindOrAddSecurity(kBenchmarkIndexCode, 1);
        if (security == nullptr)
            return Fail(ConvertResult::NoMemory, report, "out of memory");
        security->tradingUnit = 1;
        security->listingFlags = kListingHundredths;
        security->firstDate = days_[firstNew];
        security->lastDate = days_.back();
        if (!FillSeries(*security, series, true))
            return Fail(ConvertResult::NoMemory, report, "out of memory");
        report.standInIndex = !topix;
    }
    if (report.securities == 0)
        return Fail(ConvertResult::NoData, report, "no security could be taken");
    report.days = static_cast<std::uint16_t>(dayCount - firstNew);
    report.firstDay = days_[firstNew];
    report.lastDay = days_.back();
    return ConvertResult::Ok;
}

} // namespace vorn
