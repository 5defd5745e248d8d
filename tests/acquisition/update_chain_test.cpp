// A market published as an older full package plus an update, restored and merged the way
// the start-up does it, must come out as the market itself.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "acquisition/matrix_publisher.h"
#include "matrix/matrix_file.h"
#include "matrix/sample_market.h"
#include "matrix/update_merge.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

struct Scaled {
    std::vector<std::uint64_t> values; // open, high, low, close, volume per day, in real units
};

template <class Price> void AppendCandles(const SeriesSet& set, Scaled& out) {
    std::uint64_t scale = 1;
    for (unsigned i = 0; i < set.priceExponent; ++i)
        scale *= 10;
    const auto* candles = set.daily.Candles<Price>();
    for (std::uint32_t i = 0; i < set.daily.count; ++i) {
        out.values.insert(out.values.end(),
                          {candles[i].open * scale, candles[i].high * scale, candles[i].low * scale,
                           candles[i].close * scale, set.daily.volumes[i]});
    }
}

Scaled DailyOf(const CMarketMatrix& matrix, const SecurityRecord& security) {
    SeriesSet set;
    Scaled out;
    if (!matrix.GetSeries(set, &security, security.firstDate, security.lastDate))
        return out;
    switch (set.priceEncoding) {
    case kPricesU8:
        AppendCandles<std::uint8_t>(set, out);
        break;
    case kPricesU16:
        AppendCandles<std::uint16_t>(set, out);
        break;
    default:
        AppendCandles<std::uint32_t>(set, out);
        break;
    }
    return out;
}

class UpdateChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("vorn-update-chain-" +
                std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Writes `matrix` and reads it back, as a download and restore would.
    void RoundTrip(const CMarketMatrix& matrix, const char* name, CMarketMatrix& out) {
        const fs::path path = dir_ / name;
        ASSERT_EQ(GenerateMatrix(const_cast<CMarketMatrix&>(matrix), path, nullptr, nullptr),
                  kMatrixOk);
        ASSERT_EQ(RestoreMatrix(out, path, nullptr, nullptr), kMatrixOk);
    }

    fs::path dir_;
};

TEST_F(UpdateChainTest, OlderPackagePlusUpdateEqualsTheWholeMarket) {
    CMarketMatrix whole;
    SampleMarketOptions options;
    options.years = 2;
    options.securities = 160;
    ASSERT_TRUE(BuildSampleMarket(whole, options));
    const CCalendar& calendar = whole.DailyCalendar();
    const std::uint16_t days = calendar.Count();
    ASSERT_GT(days, 100);
    const PackedDate lastOld = calendar[days - 16];
    // The update starts a few days before the main file ends, as published updates may.
    const PackedDate updateFrom = calendar[days - 20];

    CMarketMatrix olderPart, updatePart;
    ASSERT_TRUE(SliceMatrix(whole, calendar[0], lastOld, olderPart));
    ASSERT_TRUE(SliceMatrix(whole, updateFrom, *calendar.Last(), updatePart));

    CMarketMatrix mainMatrix, update;
    RoundTrip(olderPart, "older.kbx", mainMatrix);
    RoundTrip(updatePart, "update.kbx", update);
    ASSERT_EQ(MergeUpdate(nullptr, nullptr, mainMatrix, update), kMergeOk);

    CMarketMatrix merged;
    RoundTrip(mainMatrix, "merged.kbx", merged);

    ASSERT_EQ(merged.DailyCalendar().Count(), days);
    for (std::uint16_t i = 0; i < days; ++i)
        ASSERT_EQ(merged.DailyCalendar()[i], calendar[i]) << i;
    ASSERT_EQ(merged.Companies().size(), whole.Companies().size());
    for (const auto& [code, company] : whole.Companies()) {
        const CompanyRecord* got = merged.FindCompany(code);
        ASSERT_NE(got, nullptr) << code;
        EXPECT_EQ(got->industry, company.industry) << code;
        EXPECT_EQ(got->markets, company.markets) << code;
        EXPECT_EQ(got->name, company.name) << code;
        EXPECT_EQ(got->HistoryValueAt(*calendar.Last()), company.HistoryValueAt(*calendar.Last()))
            << code;
    }
    ASSERT_EQ(merged.Securities().size(), whole.Securities().size());
    for (const auto& [key, security] : whole.Securities()) {
        const SecurityRecord* got = merged.FindSecurity(key);
        ASSERT_NE(got, nullptr) << key;
        EXPECT_EQ(got->firstDate, security.firstDate) << key;
        EXPECT_EQ(got->lastDate, security.lastDate) << key;
        EXPECT_EQ(got->listingFlags, security.listingFlags) << key;
        EXPECT_EQ(got->tradingUnit, security.tradingUnit) << key;
        const Scaled expected = DailyOf(whole, security);
        ASSERT_FALSE(expected.values.empty()) << key;
        EXPECT_EQ(DailyOf(merged, *got).values, expected.values) << key;
    }
}

} // namespace
} // namespace vorn
