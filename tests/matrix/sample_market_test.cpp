#include "matrix/sample_market.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundation/calendar_math.h"
#include "foundation/text_encoding.h"
#include "matrix/matrix_file.h"
#include "matrix/stock_code.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

SampleMarketOptions SmallOptions() {
    SampleMarketOptions options;
    options.years = 2;
    options.securities = 300;
    return options;
}

// One market shared by the read-only tests; building it takes a fraction of a second.
const CMarketMatrix& SmallMarket() {
    static CMarketMatrix market;
    static const bool built = BuildSampleMarket(market, SmallOptions());
    EXPECT_TRUE(built);
    return market;
}

std::uint32_t PriceAt(const SecurityRecord& s, std::size_t i, int field) {
    const std::size_t width = ElementSize(s.prices.elementType) / 4;
    return static_cast<std::uint32_t>(
        ReadUnsigned(s.prices.data.get() + i * width * 4 + field * width, width));
}

std::uint64_t Pow10(unsigned exponent) {
    std::uint64_t value = 1;
    for (unsigned i = 0; i < exponent; ++i)
        value *= 10;
    return value;
}

struct Bar {
    std::uint32_t open, high, low, close;
    std::uint64_t volume;
};

std::vector<Bar> Bars(const SecurityRecord& s) {
    std::vector<Bar> bars(s.prices.count);
    for (std::size_t i = 0; i < bars.size(); ++i)
        bars[i] = {PriceAt(s, i, 0), PriceAt(s, i, 1), PriceAt(s, i, 2), PriceAt(s, i, 3),
                   s.StoredVolume(i)};
    return bars;
}

bool SameArray(const TypedArray& a, const TypedArray& b, std::size_t bytes) {
    return a.elementType == b.elementType && a.attribute == b.attribute && a.count == b.count &&
           (bytes == 0 || std::equal(a.data.get(), a.data.get() + bytes, b.data.get()));
}

bool SameMarket(const CMarketMatrix& a, const CMarketMatrix& b) {
    const CCalendar& ca = a.DailyCalendar();
    const CCalendar& cb = b.DailyCalendar();
    if (ca.Count() != cb.Count() || !std::equal(ca.Data(), ca.Data() + ca.Count(), cb.Data()))
        return false;
    if (a.Companies().size() != b.Companies().size() ||
        a.Securities().size() != b.Securities().size())
        return false;
    for (auto ia = a.Companies().begin(), ib = b.Companies().begin(); ia != a.Companies().end();
         ++ia, ++ib) {
        const CompanyRecord& x = ia->second;
        const CompanyRecord& y = ib->second;
        if (x.code != y.code || x.markets != y.markets || x.industry != y.industry ||
            x.name != y.name || x.text != y.text ||
            !SameArray(x.history, y.history, x.history.HistoryByteSize()))
            return false;
    }
    for (auto ia = a.Securities().begin(), ib = b.Securities().begin(); ia != a.Securities().end();
         ++ia, ++ib) {
        const SecurityRecord& x = ia->second;
        const SecurityRecord& y = ib->second;
        if (ia->first != ib->first || x.tradingUnit != y.tradingUnit ||
            x.listingFlags != y.listingFlags || x.firstDate != y.firstDate ||
            x.lastDate != y.lastDate || !SameArray(x.prices, y.prices, x.prices.ByteSize()) ||
            !SameArray(x.volumes, y.volumes, x.volumes.ByteSize()) ||
            HasAdjustments(x.adjustments) != HasAdjustments(y.adjustments))
            return false;
        if (HasAdjustments(x.adjustments)) {
            const auto& ex = x.adjustments->entries;
            const auto& ey = y.adjustments->entries;
            if (ex.size() != ey.size())
                return false;
            for (std::size_t i = 0; i < ex.size(); ++i)
                if (ex[i].date != ey[i].date || ex[i].kind != ey[i].kind ||
                    ex[i].ratio != ey[i].ratio)
                    return false;
        }
    }
    return true;
}

TEST(SampleMarket, SameOptionsGiveTheSameMarketAndAnotherSeedAnother) {
    CMarketMatrix again;
    ASSERT_TRUE(BuildSampleMarket(again, SmallOptions()));
    EXPECT_TRUE(SameMarket(SmallMarket(), again));

    SampleMarketOptions other = SmallOptions();
    other.seed += 1;
    CMarketMatrix different;
    ASSERT_TRUE(BuildSampleMarket(different, other));
    EXPECT_EQ(different.Securities().size(), 300u);
    EXPECT_FALSE(SameMarket(SmallMarket(), different));
}

TEST(SampleMarket, RejectsOptionsOutOfRangeAndLeavesTheMatrixEmpty) {
    CMarketMatrix matrix;
    ASSERT_TRUE(BuildSampleMarket(matrix, SmallOptions()));
    const auto rejects = [&](SampleMarketOptions options) {
        const bool built = BuildSampleMarket(matrix, options);
        return !built && matrix.Securities().empty() && matrix.DailyCalendar().Empty();
    };
    SampleMarketOptions options = SmallOptions();
    options.years = 0;
    EXPECT_TRUE(rejects(options));
    options.years = 31;
    EXPECT_TRUE(rejects(options));
    options = SmallOptions();
    options.securities = 0;
    EXPECT_TRUE(rejects(options));
    options.securities = 9001;
    EXPECT_TRUE(rejects(options));
    options = SmallOptions();
    options.end = MakePackedDate(2026, 2, 30);
    EXPECT_TRUE(rejects(options));
    options.end = MakePackedDate(1960, 6, 1);
    options.years = 20; // would start in 1940
    EXPECT_TRUE(rejects(options));
}

TEST(SampleMarket, OneSecurityIsTheBenchmarkAlone) {
    SampleMarketOptions options = SmallOptions();
    options.securities = 1;
    CMarketMatrix matrix;
    ASSERT_TRUE(BuildSampleMarket(matrix, options));
    ASSERT_EQ(matrix.Securities().size(), 1u);
    EXPECT_EQ(matrix.Securities().begin()->first, MakeSecurityKey(1002, 1));
}

TEST(SampleMarket, CalendarHoldsTradingWeekdaysUpToTheEnd) {
    const CCalendar& calendar = SmallMarket().DailyCalendar();
    ASSERT_GT(calendar.Count(), 470);
    EXPECT_LE(calendar.Count(), 500);
    EXPECT_EQ(*calendar.Last(), MakePackedDate(2026, 11, 27));
    EXPECT_GE(calendar[0], MakePackedDate(2024, 11, 28));
    EXPECT_LE(calendar[0], MakePackedDate(2024, 12, 2));
    for (std::uint16_t i = 0; i < calendar.Count(); ++i) {
        const PackedDate d = calendar[i];
        const unsigned weekday = WeekdayOfPackedDate(d);
        EXPECT_TRUE(weekday >= 1 && weekday <= 5) << i;
        const unsigned m = DateMonth(d), day = DateDay(d);
        EXPECT_FALSE((m == 12 && day == 31) || (m == 1 && day <= 3)) << i;
        EXPECT_FALSE(m == 11 && (day == 3 || day == 23)) << i;
        EXPECT_FALSE(m == 5 && day >= 3 && day <= 5) << i;
    }
    // 2025/11/23 is a Sunday: the Monday after is a substitute holiday.
    EXPECT_LT(calendar.PositionOf(MakePackedDate(2025, 11, 24)), 0);
    EXPECT_GE(calendar.PositionOf(MakePackedDate(2025, 11, 25)), 0);
    EXPECT_GT(SmallMarket().WeeklyCalendar().Count(), 90);
    EXPECT_EQ(SmallMarket().MonthlyCalendar().Count(), 25);

    // An end date on a holiday ends the calendar on the trading day before it.
    SampleMarketOptions options = SmallOptions();
    options.securities = 1;
    options.end = MakePackedDate(2026, 1, 2);
    CMarketMatrix matrix;
    ASSERT_TRUE(BuildSampleMarket(matrix, options));
    EXPECT_EQ(*matrix.DailyCalendar().Last(), MakePackedDate(2025, 12, 30));
}

TEST(SampleMarket, EveryArrayMatchesItsDatesAndTypes) {
    const CMarketMatrix& market = SmallMarket();
    const CCalendar& calendar = market.DailyCalendar();
    std::size_t narrowestPrices = 0;
    for (const auto& [key, s] : market.Securities()) {
        ASSERT_NE(s.company, nullptr);
        const int first = calendar.PositionOf(s.firstDate);
        const int last = calendar.PositionOf(s.lastDate);
        ASSERT_GE(first, 0);
        ASSERT_GE(last, first);
        EXPECT_EQ(s.prices.count, last - first + 1) << key;
        EXPECT_EQ(s.volumes.count, s.prices.count) << key;
        ASSERT_TRUE(IsPriceType(s.prices.elementType));
        ASSERT_TRUE(IsValueType(s.volumes.elementType));
        ASSERT_FALSE(s.prices.Empty());
        ASSERT_FALSE(s.volumes.Empty());
        EXPECT_TRUE(s.company->markets & (1u << (s.market - 1)));
        std::uint32_t largest = 0;
        for (const Bar& bar : Bars(s)) {
            EXPECT_GT(bar.low, 0u) << key;
            EXPECT_LE(bar.low, std::min(bar.open, bar.close)) << key;
            EXPECT_GE(bar.high, std::max(bar.open, bar.close)) << key;
            largest = std::max(largest, bar.high);
        }
        const unsigned narrowest = largest <= 0xFF ? 0 : largest <= 0xFFFF ? 1 : 2;
        EXPECT_GE(s.prices.elementType, narrowest);
        narrowestPrices += s.prices.elementType == narrowest;
        if (HasAdjustments(s.adjustments)) {
            const auto& entries = s.adjustments->entries;
            for (std::size_t i = 0; i < entries.size(); ++i) {
                EXPECT_GT(entries[i].date, s.firstDate);
                EXPECT_LE(entries[i].date, s.lastDate);
                if (i > 0) {
                    EXPECT_GT(entries[i].date, entries[i - 1].date);
                }
            }
        }
    }
    // A few are stored wider on purpose; most take the narrowest type.
    EXPECT_GT(narrowestPrices, market.Securities().size() * 8 / 10);
    for (const auto& [code, company] : market.Companies()) {
        EXPECT_EQ(company.code, code);
        const unsigned listings = std::popcount(company.markets);
        unsigned found = 0;
        for (unsigned m = 1; m <= 15; ++m)
            found +=
                market.FindSecurity(MakeSecurityKey(code, static_cast<std::uint8_t>(m))) != nullptr;
        EXPECT_EQ(found, listings) << code;
    }
}

TEST(SampleMarket, CoversTheRecordKindsTheEngineHandles) {
    const CMarketMatrix& market = SmallMarket();
    const PackedDate firstDay = market.DailyCalendar()[0];
    const PackedDate lastDay = *market.DailyCalendar().Last();
    EXPECT_EQ(market.Securities().size(), 300u);

    std::set<unsigned> markets, industries, priceTypes, volumeTypes, historyTypes, listingCounts;
    bool priceExponent = false, volumeExponent = false, hundredths = false, margin = false;
    bool delisted = false, late = false, tradingDaySplit = false, closedDaySplit = false;
    bool zeroVolume = false;
    for (const auto& [key, s] : market.Securities()) {
        markets.insert(s.market);
        priceTypes.insert(s.prices.elementType);
        volumeTypes.insert(s.volumes.elementType);
        priceExponent = priceExponent || s.prices.attribute != 0;
        volumeExponent = volumeExponent || s.volumes.attribute != 0;
        hundredths = hundredths || (s.listingFlags & kListingHundredths) != 0;
        margin = margin || (s.listingFlags & kListingMarginTradable) != 0;
        delisted = delisted || s.lastDate < lastDay;
        late = late || s.firstDate > firstDay;
        for (std::size_t i = 0; i < s.volumes.count; ++i)
            zeroVolume = zeroVolume || s.StoredVolume(i) == 0;
        if (HasAdjustments(s.adjustments))
            for (const AdjustmentEntry& e : s.adjustments->entries) {
                const bool trading = market.DayPosition(e.date) >= 0;
                tradingDaySplit = tradingDaySplit || (trading && e.kind == 2 && e.ratio == 2.0);
                closedDaySplit = closedDaySplit || !trading;
            }
    }
    for (const auto& [code, company] : market.Companies()) {
        industries.insert(company.industry);
        listingCounts.insert(static_cast<unsigned>(std::popcount(company.markets)));
        if (!company.history.Empty())
            historyTypes.insert(company.history.elementType);
        ASSERT_TRUE(company.name.has_value());
        EXPECT_FALSE(company.name->empty());
    }
    EXPECT_EQ(markets.size(), 15u);
    EXPECT_EQ(industries.size(), 34u);
    EXPECT_EQ(priceTypes, (std::set<unsigned>{0, 1, 2}));
    EXPECT_EQ(volumeTypes, (std::set<unsigned>{3, 4, 5, 6}));
    EXPECT_GE(historyTypes.size(), 2u);
    EXPECT_TRUE(listingCounts.count(2) && listingCounts.count(3));
    EXPECT_TRUE(priceExponent);
    EXPECT_TRUE(volumeExponent);
    EXPECT_TRUE(hundredths);
    EXPECT_TRUE(margin);
    EXPECT_TRUE(delisted);
    EXPECT_TRUE(late);
    EXPECT_TRUE(tradingDaySplit);
    EXPECT_TRUE(closedDaySplit);
    EXPECT_TRUE(zeroVolume);

    const CompanyRecord* benchmark = market.FindCompany(1002);
    ASSERT_NE(benchmark, nullptr);
    EXPECT_EQ(benchmark->industry, 34);
    const SecurityRecord* index = market.FindSecurity(MakeSecurityKey(1002, 1));
    ASSERT_NE(index, nullptr);
    EXPECT_EQ(index->firstDate, firstDay);
    EXPECT_EQ(index->lastDate, lastDay);
    EXPECT_GT(PriceAt(*index, 0, 3), 500000u); // thousands of points, in hundredths
}

// Companies listed since 2024 carry codes with a letter; a market that ends earlier has none.
TEST(SampleMarket, CompaniesListedSince2024HaveLetterCodes) {
    const PackedDate since = MakePackedDate(2024, 1, 1);
    auto lettered = [](const CMarketMatrix& market) {
        std::vector<std::uint16_t> codes;
        for (const auto& [code, company] : market.Companies())
            if (code >= kFirstLetterCode)
                codes.push_back(code);
        return codes;
    };
    const std::vector<std::uint16_t> codes = lettered(SmallMarket());
    ASSERT_EQ(codes.size(), 3u);
    for (std::uint16_t code : codes) {
        const std::string written = FormatStockCode(code);
        EXPECT_TRUE(written[3] >= 'A' && written[3] <= 'Z') << written;
        for (auto it = SmallMarket().Securities().lower_bound(MakeSecurityKey(code, 0));
             it != SmallMarket().Securities().end() && it->second.Code() == code; ++it)
            EXPECT_GE(it->second.firstDate, since) << written;
    }

    // A ten-year market lists late companies with letters; one ending in 2023 has none.
    SampleMarketOptions options;
    options.years = 10;
    options.securities = 80;
    CMarketMatrix longer;
    ASSERT_TRUE(BuildSampleMarket(longer, options));
    EXPECT_FALSE(lettered(longer).empty());
    options.end = MakePackedDate(2023, 12, 29);
    ASSERT_TRUE(BuildSampleMarket(longer, options));
    EXPECT_TRUE(lettered(longer).empty());
}

TEST(SampleMarket, NamesAreJapaneseCp932) {
    for (const auto& [code, company] : SmallMarket().Companies()) {
        const std::string& name = *company.name;
        const std::string utf8 = Cp932ToUtf8(name);
        EXPECT_EQ(utf8.find("\xEF\xBF\xBD"), std::string::npos) << code;
        EXPECT_EQ(Utf8ToCp932(utf8), name) << code;
        EXPECT_TRUE(static_cast<unsigned char>(name[0]) >= 0x81) << code;
    }
}

TEST(SampleMarket, ZeroVolumeDaysRepeatThePreviousClose) {
    std::size_t zeroDays = 0;
    for (const auto& [key, s] : SmallMarket().Securities()) {
        const std::vector<Bar> bars = Bars(s);
        EXPECT_GT(bars[0].volume, 0u) << key;
        for (std::size_t i = 1; i < bars.size(); ++i) {
            if (bars[i].volume != 0)
                continue;
            ++zeroDays;
            const std::uint32_t close = bars[i - 1].close;
            EXPECT_TRUE(bars[i].open == close && bars[i].high == close && bars[i].low == close &&
                        bars[i].close == close)
                << key << " day " << i;
        }
    }
    EXPECT_GT(zeroDays, 100u);
}

// The exchange's tick for a price in yen; market 15 has its own table.
std::uint64_t TickYen(std::uint64_t yen, unsigned market) {
    if (market == 15) {
        for (auto [above, tick] : {std::pair<std::uint64_t, std::uint64_t>{10000000, 50000},
                                   {1000000, 10000},
                                   {100000, 1000},
                                   {10000, 100},
                                   {1000, 10}})
            if (yen > above)
                return tick;
        return 1;
    }
    for (auto [above, tick] : {std::pair<std::uint64_t, std::uint64_t>{30000000, 100000},
                               {20000000, 50000},
                               {1000000, 10000},
                               {100000, 1000},
                               {50000, 100},
                               {30000, 50},
                               {3000, 10},
                               {2000, 5}})
        if (yen > above)
            return tick;
    return 1;
}

TEST(SampleMarket, PricesLieOnTheExchangeTickGrid) {
    std::size_t checked = 0;
    for (const auto& [key, s] : SmallMarket().Securities()) {
        if (s.company->industry == 34)
            continue;
        const std::uint64_t scale = Pow10(s.prices.attribute);
        const bool hundredths = (s.listingFlags & kListingHundredths) != 0;
        for (const Bar& bar : Bars(s))
            for (std::uint32_t price : {bar.open, bar.high, bar.low, bar.close}) {
                const std::uint64_t real = price * scale; // yen, or hundredths of a yen
                const std::uint64_t yen = hundredths ? real / 100 : real;
                const std::uint64_t tick =
                    hundredths ? TickYen(yen, s.market) * 10 : TickYen(yen, s.market);
                ASSERT_EQ(real % tick, 0u) << key << " price " << price;
                ++checked;
            }
    }
    EXPECT_GT(checked, 100000u);
}

TEST(SampleMarket, SplitsLineUpOnceAdjusted) {
    std::size_t splits = 0;
    const CMarketMatrix& market = SmallMarket();
    for (const auto& [key, s] : market.Securities()) {
        if (!HasAdjustments(s.adjustments))
            continue;
        const std::vector<Bar> bars = Bars(s);
        const int first = market.DayPosition(s.firstDate);
        for (const AdjustmentEntry& e : s.adjustments->entries) {
            // The first trading day on the new basis.
            const CCalendar& calendar = market.DailyCalendar();
            const int at =
                static_cast<int>(calendar.Lookup(e.date, SearchMode::LowerBound) - calendar.Data());
            // Compare the last close before it with the first open from it, skipping days
            // without trades (their candle only repeats the close).
            std::size_t i = static_cast<std::size_t>(at - first);
            ASSERT_GT(i, 0u);
            std::size_t previous = i - 1;
            while (previous > 0 && bars[previous].volume == 0)
                --previous;
            while (i + 1 < bars.size() && bars[i].volume == 0)
                ++i;
            const double before = bars[previous].close / e.ratio;
            const double after = bars[i].open;
            EXPECT_NEAR(before / after, 1.0, 0.25) << key << " ratio " << e.ratio;
            ++splits;
        }
    }
    EXPECT_GE(splits, 2u);
}

TEST(SampleMarket, HistoriesGiveACapitalisation) {
    const CMarketMatrix& market = SmallMarket();
    for (const auto& [key, s] : market.Securities()) {
        const CompanyRecord& company = *s.company;
        if (company.industry == 34)
            continue;
        ASSERT_FALSE(company.history.Empty()) << key;
        for (std::size_t i = 1; i < company.history.count; ++i)
            EXPECT_GT(company.HistoryDate(i), company.HistoryDate(i - 1));
        const std::uint64_t shares = company.HistoryValueAt(s.lastDate);
        double yen =
            static_cast<double>(PriceAt(s, s.prices.count - 1, 3) * Pow10(s.prices.attribute));
        if (s.listingFlags & kListingHundredths)
            yen /= 100;
        const double capitalisation = yen * static_cast<double>(shares);
        EXPECT_GT(capitalisation, 1e8) << key;
        EXPECT_LT(capitalisation, 1e15) << key;
    }
}

// The windows a plain scan of the stored candles finds: how many open per traded day, how many
// of those fill within 20 trading days, and how often a later day touches a bound exactly.
TEST(SampleMarket, WindowsOpenFillAndGetTouchedAtMarketRates) {
    std::size_t tradedDays = 0, opened = 0, filledSoon = 0, touches = 0;
    for (const auto& [key, s] : SmallMarket().Securities()) {
        const std::vector<Bar> bars = Bars(s);
        for (std::size_t i = 1; i < bars.size(); ++i) {
            if (bars[i].volume == 0)
                continue;
            ++tradedDays;
            const bool up = bars[i - 1].high < bars[i].low;
            const bool down = bars[i].high < bars[i - 1].low;
            if (!up && !down)
                continue;
            ++opened;
            const std::uint32_t near = up ? bars[i].low : bars[i].high;
            const std::uint32_t far = up ? bars[i - 1].high : bars[i - 1].low;
            for (std::size_t j = i + 1; j < bars.size() && j <= i + 20; ++j) {
                if (bars[j].volume == 0)
                    continue;
                const std::uint32_t reach = up ? bars[j].low : bars[j].high;
                touches += reach == near;
                if (up ? reach <= far : reach >= far) {
                    ++filledSoon;
                    break;
                }
            }
        }
    }
    const double openRate = static_cast<double>(opened) / static_cast<double>(tradedDays);
    const double fillRate = static_cast<double>(filledSoon) / static_cast<double>(opened);
    EXPECT_GT(openRate, 0.02);
    EXPECT_LT(openRate, 0.08);
    EXPECT_GT(fillRate, 0.6);
    EXPECT_GT(touches, opened / 50);
}

TEST(SampleMarket, PreferredMarketIsDecidedByVolumeNotByOrder) {
    const CMarketMatrix& market = SmallMarket();
    std::size_t laterMarketLeads = 0, multiListed = 0;
    for (const auto& [code, company] : market.Companies()) {
        if (std::popcount(company.markets) < 2)
            continue;
        ++multiListed;
        std::vector<std::uint64_t> sums;
        for (unsigned m = 1; m <= 15; ++m) {
            const SecurityRecord* s =
                market.FindSecurity(MakeSecurityKey(code, static_cast<std::uint8_t>(m)));
            if (s == nullptr)
                continue;
            std::uint64_t sum = 0;
            const std::size_t n = s->volumes.count;
            for (std::size_t i = n > 20 ? n - 20 : 0; i < n; ++i)
                sum += s->StoredVolume(i) * Pow10(s->volumes.attribute);
            sums.push_back(sum);
        }
        const auto lead = std::max_element(sums.begin(), sums.end());
        EXPECT_EQ(std::count(sums.begin(), sums.end(), *lead), 1) << code;
        laterMarketLeads += lead != sums.begin();
    }
    EXPECT_GT(multiListed, 10u);
    EXPECT_GT(laterMarketLeads, 0u);
}

TEST(SampleMarket, DefaultMarketIsFullSize) {
#ifndef NDEBUG
    GTEST_SKIP() << "the full-size market is checked in optimised builds only";
#endif
    CMarketMatrix matrix;
    ASSERT_TRUE(BuildSampleMarket(matrix, SampleMarketOptions{}));
    EXPECT_EQ(matrix.Securities().size(), 3800u);
    EXPECT_GT(matrix.Companies().size(), 2500u);
    EXPECT_GT(matrix.DailyCalendar().Count(), 2400);
    EXPECT_EQ(*matrix.DailyCalendar().Last(), MakePackedDate(2026, 11, 27));
}

// A directory of its own under the system's temporary directory, removed afterwards.
class CScratchDirectory {
public:
    CScratchDirectory()
        : path_(std::filesystem::temp_directory_path() /
                ("vorn-sample-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
    }
    ~CScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

int RunVornctl(const std::string& arguments) {
    const std::string command =
        std::string(VORN_CTL_PATH) + " sample " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(VornctlSample, RejectsBadArgumentsWithoutWritingAFile) {
    CScratchDirectory scratch;
    const std::string out = (scratch.Path() / "bad.kbx").string();
    for (const std::string& arguments :
         {std::string(), "--out " + out + " --years 0", "--out " + out + " --years 31",
          "--out " + out + " --years two", "--out " + out + " --securities 9001",
          "--out " + out + " --securities 0", "--out " + out + " --seed 12x",
          "--out " + out + " --end 2026/11/28", "--out " + out + " --end 2026/02/30",
          "--out " + out + " --end 1960/06/01 --years 20", "--out " + out + " --colour red",
          "--out " + out + " extra"}) {
        EXPECT_EQ(RunVornctl(arguments), 2) << arguments;
        EXPECT_FALSE(std::filesystem::exists(out)) << arguments;
    }
}

// The command's exit status is the writer's result code; when the writer succeeds, the file
// is the same byte for byte on every run and restores to the same market.
TEST(VornctlSample, WritesTheMarketOrReportsTheWritersResult) {
    CScratchDirectory scratch;
    SampleMarketOptions options = SmallOptions();
    options.years = 1;
    options.securities = 40;
    options.seed = 7;
    options.end = MakePackedDate(2026, 6, 5);
    CMarketMatrix matrix;
    ASSERT_TRUE(BuildSampleMarket(matrix, options));
    const std::filesystem::path direct = scratch.Path() / "direct.kbx";
    const std::uint8_t expected = GenerateMatrix(matrix, direct, nullptr, nullptr);

    const std::filesystem::path viaCommand = scratch.Path() / "command.kbx";
    EXPECT_EQ(RunVornctl("--out " + viaCommand.string() +
                         " --years 1 --securities 40 --seed 0x7 --end 2026-06-05"),
              expected);
    if (expected == kMatrixOk) {
        const std::string bytes = ReadWholeFile(viaCommand);
        EXPECT_GT(bytes.size(), kMatrixHeaderSize);
        EXPECT_EQ(bytes, ReadWholeFile(direct));
        CMarketMatrix restored;
        ASSERT_EQ(RestoreMatrix(restored, viaCommand, nullptr, nullptr), kMatrixOk);
        EXPECT_TRUE(SameMarket(matrix, restored));
    }
}

} // namespace
} // namespace vorn
