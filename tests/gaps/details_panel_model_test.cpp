#include "gaps/details_panel_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/text_encoding.h"
#include "gaps/analysed_market.h"

namespace vorn {
namespace {

using test::CAnalysedMarket;
using test::CMarketBuilder;
using test::Ohlcv;
using test::TwoWindowRows;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kCode = 1301;

// Twenty days whose open is 100 + 2d and close 101 + 2d: the last close is 139.
std::vector<Ohlcv> RisingRows(std::uint32_t base = 100) {
    std::vector<Ohlcv> rows;
    for (std::uint32_t d = 0; d < 20; ++d)
        rows.push_back({base + 2 * d, base + 2 * d + 2, base + 2 * d, base + 2 * d + 1, 1000});
    return rows;
}

// A performer holding a security's daily series with positions laid by hand, as the chart's
// analysis leaves it.
class HandAnalysis {
public:
    explicit HandAnalysis(const CMarketBuilder& builder) : matrix_(builder.Build()) {
        const SecurityRecord* security = matrix_->FindSecurity(MakeSecurityKey(kCode, 1));
        performer_.SetSecurity(security);
        performer_.SetPeriod(PeriodKind::Daily);
        performer_.SetCalendar(&matrix_->DailyCalendar());
        loaded_ =
            security != nullptr && matrix_->GetSeries(performer_.Series(), security,
                                                      security->firstDate, security->lastDate);
        if (loaded_)
            performer_.SetPositions(0, performer_.Series().daily.count - 1);
    }
    HandAnalysis& Position(std::uint16_t day, std::uint8_t signal, std::uint32_t entry) {
        performer_.AddPosition({day, signal, 1, entry});
        return *this;
    }
    bool Loaded() const { return loaded_; }
    const CWindowsPerformer& Performer() const { return performer_; }
    const CMarketMatrix& Matrix() const { return *matrix_; }

private:
    std::unique_ptr<CMarketMatrix> matrix_;
    CWindowsPerformer performer_;
    bool loaded_ = false;
};

CMarketBuilder Rising(std::uint8_t exponent = 0) {
    return std::move(
        CMarketBuilder().Security(kCode, 1, kFirstDay, RisingRows(), -1, -1, exponent));
}

TradeTally Tally(std::int64_t buyProfit, std::uint32_t buyCount, double buyGrowth,
                 std::int64_t sellProfit, std::uint32_t sellCount, double sellGrowth) {
    TradeTally t;
    t.buyProfit = buyProfit;
    t.buyCount = buyCount;
    t.buyGrowth = buyGrowth;
    t.sellProfit = sellProfit;
    t.sellCount = sellCount;
    t.sellGrowth = sellGrowth;
    return t;
}

void ExpectTally(const TradeTally& actual, const TradeTally& expected) {
    EXPECT_EQ(actual.buyProfit, expected.buyProfit);
    EXPECT_EQ(actual.buyCount, expected.buyCount);
    EXPECT_DOUBLE_EQ(actual.buyGrowth, expected.buyGrowth);
    EXPECT_EQ(actual.sellProfit, expected.sellProfit);
    EXPECT_EQ(actual.sellCount, expected.sellCount);
    EXPECT_DOUBLE_EQ(actual.sellGrowth, expected.sellGrowth);
}

TEST(DetailsTallies, NothingEnteredShowsEmptyCells) {
    HandAnalysis none(Rising());
    ASSERT_TRUE(none.Loaded());
    EXPECT_EQ(ComputeTradeTallies(none.Performer(), 5), TradeTallies{});

    // The only position was signalled on the last day: not entered yet.
    HandAnalysis lastDay(Rising());
    lastDay.Position(19, kUpWindowOpened, kNoEntryPrice);
    EXPECT_EQ(ComputeTradeTallies(lastDay.Performer(), 5), TradeTallies{});
    const DetailsTable table = BuildDetailsTable(lastDay.Performer(), 5);
    for (const DetailsTableColumn& column : table.columns) {
        EXPECT_TRUE(column.blank);
        EXPECT_EQ(column.profits[2], "");
    }
    EXPECT_EQ(table.columns[0].heading, "5日");
    EXPECT_EQ(table.columns[2].heading, "15日");
    EXPECT_EQ(table.columns[3].heading, "Max日");
    EXPECT_EQ(table.columns[2].days, 15u);
    EXPECT_EQ(table.columns[3].days, 20u);
    EXPECT_EQ(table.profitLabel, "損益(円)");
}

TEST(DetailsTallies, AnOpenPositionBeforeTheBoundariesFillsEveryRow) {
    HandAnalysis analysis(Rising());
    analysis.Position(2, kUpWindowOpened, 106);
    const TradeTally open = Tally(33, 1, 1.0 + 33.0 / 106.0, 0, 0, 1.0);
    const TradeTallies tallies = ComputeTradeTallies(analysis.Performer(), 5);
    for (const TradeTally& tally : tallies)
        ExpectTally(tally, open);

    // With u = 7 the third boundary (day -2) lies before the series: that row stays empty.
    const TradeTallies wide = ComputeTradeTallies(analysis.Performer(), 7);
    ExpectTally(wide[1], open);
    EXPECT_FALSE(wide[2].HasTrades());
    ExpectTally(wide[3], open);
    const DetailsTable table = BuildDetailsTable(analysis.Performer(), 7);
    EXPECT_TRUE(table.columns[2].blank);
    EXPECT_EQ(table.columns[1].profits, (std::array<std::string, 3>{"33", "0", "33"}));
    EXPECT_EQ(table.columns[1].rates, (std::array<std::string, 3>{"31.13", "0.00", "31.13"}));
    EXPECT_EQ(table.columns[1].profitSigns, (std::array<int, 3>{1, 0, 1}));
}

// A sell entered at 108 (day 4), a buy at 118 (day 9) and a sell at 130 (day 15), still open
// against the last close of 139.
HandAnalysis& ThreePositions(HandAnalysis& analysis) {
    return analysis.Position(3, kDownWindowOpened, 108)
        .Position(8, kUpWindowOpened, 118)
        .Position(14, kDownWindowOpened, 130);
}

TEST(DetailsTallies, ClosedTradesCountFromTheBoundaryOpen) {
    HandAnalysis analysis(Rising());
    ThreePositions(analysis);
    const double openSell = 1.0 - 9.0 / 130.0;
    const TradeTally whole = Tally(12, 1, 130.0 / 118.0, -19, 2, openSell * (1.0 - 10.0 / 108.0));

    // u = 3: boundaries at days 16, 13 and 10. Day 16 lies in the open sell, which counts
    // whole and alone; days 13 and 10 cut the buy at their opens (126, 120).
    const TradeTallies tallies = ComputeTradeTallies(analysis.Performer(), 3);
    ExpectTally(tallies[0], Tally(0, 0, 1.0, -9, 1, openSell));
    ExpectTally(tallies[1], Tally(4, 1, 130.0 / 126.0, -9, 1, openSell));
    ExpectTally(tallies[2], Tally(10, 1, 130.0 / 120.0, -9, 1, openSell));
    ExpectTally(tallies[3], whole);

    // u = 6: day 13 cuts the buy, day 7 the first sell (open 114 to 118), day 1 lies before
    // every position and sees the whole period.
    const TradeTallies six = ComputeTradeTallies(analysis.Performer(), 6);
    ExpectTally(six[0], Tally(4, 1, 130.0 / 126.0, -9, 1, openSell));
    ExpectTally(six[1], Tally(12, 1, 130.0 / 118.0, -13, 2, openSell * (1.0 - 4.0 / 114.0)));
    ExpectTally(six[2], whole);
    ExpectTally(six[3], whole);

    const DetailsTable table = BuildDetailsTable(analysis.Performer(), 3);
    EXPECT_FALSE(table.columns[0].blank);
    EXPECT_EQ(table.columns[0].profits, (std::array<std::string, 3>{"0", "-9", "-9"}));
    EXPECT_EQ(table.columns[0].rates, (std::array<std::string, 3>{"0.00", "-6.92", "-6.92"}));
    EXPECT_EQ(table.columns[0].rateSigns, (std::array<int, 3>{0, -1, -1}));
    EXPECT_EQ(table.columns[3].profits, (std::array<std::string, 3>{"12", "-19", "-7"}));
}

TEST(DetailsTallies, ScaledAndHundredthsProfits) {
    // Price exponent 3: stored 5039 - 3000 is 2,039,000 yen, shown in thousands.
    HandAnalysis scaled(
        std::move(CMarketBuilder().Security(kCode, 1, kFirstDay, RisingRows(5000), -1, -1, 3)));
    scaled.Position(2, kUpWindowOpened, 3000);
    EXPECT_EQ(ComputeTradeTallies(scaled.Performer(), 5)[3].buyProfit, 2039000);
    const DetailsTable table = BuildDetailsTable(scaled.Performer(), 5);
    EXPECT_EQ(table.profitLabel, "損益(千円)");
    EXPECT_EQ(table.columns[3].profits, (std::array<std::string, 3>{"2,039", "0", "2,039"}));

    const TradeTallies hundredths = {TradeTally{}, TradeTally{}, TradeTally{},
                                     Tally(123456, 1, 1.5, -100, 1, 0.5)};
    const DetailsTable cents = BuildDetailsTable(hundredths, 5, 100, 0, true);
    EXPECT_EQ(cents.columns[3].profits,
              (std::array<std::string, 3>{"1,234.56", "-1.00", "1,233.56"}));
    EXPECT_EQ(cents.columns[3].rates, (std::array<std::string, 3>{"50.00", "-50.00", "-25.00"}));
}

TEST(DetailsTallies, PositionsOfAnotherSeriesAreIgnored) {
    HandAnalysis analysis(Rising());
    analysis.Position(2, kUpWindowOpened, 106).Position(40, kDownWindowOpened, 120);
    EXPECT_EQ(ComputeTradeTallies(analysis.Performer(), 5), TradeTallies{});
}

TEST(DetailsTallies, FollowTheAnalysis) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    // The buy of day 1 entered at 112 and ended at 96; the sell from 96 stands against the
    // last close 107.
    const TradeTallies tallies = ComputeTradeTallies(market.Performer(), 20);
    ExpectTally(tallies[3], Tally(-16, 1, 96.0 / 112.0, -11, 1, 1.0 - 11.0 / 96.0));
    EXPECT_FALSE(tallies[0].HasTrades()); // day -10
    EXPECT_EQ(BuildDetailsTable(market.Performer(), 20).columns[3].days, 10u);
}

TEST(DetailsTexts, HeadingsPeriodAndAnnualFigures) {
    EXPECT_EQ(DetailsHeadingFlashText(60), "60日");
    EXPECT_EQ(DetailsAnalysisPeriodText("2007/01/04", 250), " ： 2007/01/04 (250日間)");
    ListingAnalysis record;
    record.annualReturn = 1234.567;
    record.annualRisk = 8.5;
    EXPECT_EQ(DetailsAnnualTexts(record), (std::array<std::string, 2>{"1,234.57", "8.50"}));
}

TEST(DetailsQuoteData, CompanyPriceChangeAndMarkets) {
    std::vector<Ohlcv> rows = RisingRows();
    rows.back().volume = 1500;
    const auto matrix =
        CMarketBuilder()
            .Company(kCode, 1, Utf8ToCp932("極洋"))
            .History(kCode, {{kFirstDay, 1000000}})
            .Security(kCode, 1, kFirstDay, rows)
            .Flags(kCode, 1, (2 << 5) | 1, kListingMarginTradable)
            .Security(kCode, 3, kFirstDay, RisingRows())
            .Security(kCode, 8, kFirstDay, RisingRows())
            .Security(kCode, 9, kFirstDay, {{500, 500, 500, 500, 0}})
            .Security(1332, 1, kFirstDay,
                      {{12400, 12400, 12300, 12395, 10}, {12390, 12400, 12300, 12345, 10}})
            .Flags(1332, 1, 1, kListingHundredths)
            .Build();
    matrix->PreferredMarkets()[kCode] = 3;
    DetailsQuote quote;
    const auto build = [&](std::uint16_t code, std::uint8_t market) {
        return BuildDetailsQuote(*matrix, *matrix->FindSecurity(MakeSecurityKey(code, market)),
                                 quote);
    };
    ASSERT_TRUE(build(kCode, 1));
    EXPECT_EQ(quote.name + " " + quote.code + " " + quote.sector, "極洋 1301 水産・農林業");
    EXPECT_EQ(quote.shares + quote.unit + quote.status, "1,000,000株100株貸借銘柄");
    EXPECT_EQ(quote.price + quote.change + quote.volume, "139円 +2 (+1.46%) 1,500株 ");
    EXPECT_EQ(quote.changeSign, 1);
    EXPECT_EQ(quote.marketCap, "139,000,000");
    ASSERT_EQ(quote.markets.size(), 3u); // at most three boxes, in market order
    EXPECT_TRUE(quote.markets[0].market == 1 && quote.markets[0].shown &&
                !quote.markets[0].preferred);
    EXPECT_TRUE(quote.markets[1].market == 3 && !quote.markets[1].shown &&
                quote.markets[1].preferred);
    EXPECT_EQ(quote.markets[2].market, 8);

    // A single day: unchanged.
    ASSERT_TRUE(build(kCode, 9));
    EXPECT_EQ(quote.price + quote.change + quote.volume, "500円 0 (0.00%) 0株 ");
    EXPECT_EQ(quote.changeSign, 0);

    // Hundredths, without shares or a name.
    ASSERT_TRUE(build(1332, 1));
    EXPECT_EQ(quote.name + " " + quote.status + " " + quote.marketCap, "#N/A ― －");
    EXPECT_EQ(quote.price + quote.change, "123.45円 -0.50 (-0.40%) ");
    EXPECT_EQ(quote.changeSign, -1);
    // With shares: the capitalisation keeps the decimals of the price (3 x 123.45 = 370.35,
    // shown in whole yen), not 3 x 123.
    const auto priced = CMarketBuilder()
                            .Company(1332, 1)
                            .History(1332, {{kFirstDay, 3}})
                            .Security(1332, 1, kFirstDay, {{12345, 12345, 12345, 12345, 10}})
                            .Flags(1332, 1, 1, kListingHundredths)
                            .Build();
    ASSERT_TRUE(BuildDetailsQuote(*priced, *priced->FindSecurity(MakeSecurityKey(1332, 1)), quote));
    EXPECT_EQ(quote.marketCap, "370");
    // Saturated rather than dropped when the product does not fit.
    const auto huge = CMarketBuilder()
                          .Company(1332, 1)
                          .History(1332, {{kFirstDay, 12'345'678'901'234ull}}, kValueU64)
                          .Security(1332, 1, kFirstDay,
                                    {{4000000000u, 4000000000u, 4000000000u, 4000000000u, 10}})
                          .Build();
    ASSERT_TRUE(BuildDetailsQuote(*huge, *huge->FindSecurity(MakeSecurityKey(1332, 1)), quote));
    EXPECT_EQ(quote.marketCap, "18,446,744,073,709,551,615");
}

} // namespace
} // namespace vorn
