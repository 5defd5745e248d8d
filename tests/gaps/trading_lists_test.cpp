#include "gaps/trading_lists.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/text_encoding.h"
#include "gaps/analysed_market.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

using test::CAnalysedMarket;
using test::CMarketBuilder;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kCode = 1301;

std::string CellText(const CTradeList& list, std::size_t row, int column) {
    const TradeCell cell = list.Cell(row, column);
    return cell.text + ":" + std::to_string(cell.styleClass);
}
// CellText of every cell of a row, joined by " | ".
std::string RowText(const CTradeList& list, std::size_t row) {
    std::string text;
    for (int column = 0; column < 8; ++column)
        text += (column ? " | " : "") + CellText(list, row, column);
    return text;
}

std::size_t EntriesIn(const std::filesystem::path& directory) {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                  std::filesystem::directory_iterator()));
}

TEST(TradingList, RowsOfAnAnalysedStockNewestFirst) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, test::TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    CTradeList list(TradeListKind::Trading);
    list.LoadFrom(market.Performer());
    ASSERT_EQ(list.RowCount(), 2u);
    // Day 4 sells (law 3) at the open of day 5, still open; day 1 bought (law 1) at the open
    // of day 2 and was closed by that sell. Odd rows use the next class.
    EXPECT_EQ(RowText(list, 0), "2007/01/10:12 | 窓空け下落も下方窓到達:0 | 2007/01/11:12 | 売り:8 "
                                "| 96:4 | ---:6 | ---:6 | ---:6");
    EXPECT_EQ(
        RowText(list, 1),
        "2007/01/05:13 | 窓空け上昇:1 | 2007/01/08:13 | 買い:15 | 112:5 | 96:5 | -16:9 | -14.29:9");
    EXPECT_EQ(list.Cell(2, 0).text, ""); // beyond the rows and columns
    EXPECT_EQ(list.Cell(0, 8).text, "");

    const TradeSummary summary = SummariseTrades(list.Rows(), list.Hundredths());
    EXPECT_EQ(summary.counts.text + summary.profit.text + summary.rate.text, "1／0 -16 -14.29 ");
    EXPECT_EQ(summary.counts.colour, kLossColour); // every field takes the sum's colour
    EXPECT_EQ(summary.rate.colour, kLossColour);
}

TEST(TradingList, OnePositionAndNoPositions) {
    // Day 1 opens an upward window: the only position, still open.
    CAnalysedMarket market(
        CMarketBuilder()
            .Company(kCode, 1, Utf8ToCp932("極洋"))
            .Security(kCode, 1, kFirstDay,
                      {{100, 101, 99, 100, 10}, {105, 106, 104, 105, 10}, {105, 106, 104, 105, 10}})
            .Security(kCode, 2, kFirstDay, {{100, 101, 99, 100, 10}}));
    ASSERT_NE(market.Analyse(kCode, 1), nullptr);
    CTradeList list(TradeListKind::Trading);
    list.LoadFrom(market.Performer());
    ASSERT_EQ(list.RowCount(), 1u);
    EXPECT_EQ(list.Cell(0, 4).text, "105");
    for (int column : {5, 6, 7})
        EXPECT_EQ(CellText(list, 0, column), "---:6");
    EXPECT_EQ(TradingWindowTitle(market.Performer().Security()), "トレーディング情報 [極洋]");
    EXPECT_EQ(TradingWindowTitle(nullptr), "トレーディング情報 [#N/A]");

    ASSERT_NE(market.Analyse(kCode, 2), nullptr);
    list.LoadFrom(market.Performer());
    EXPECT_EQ(list.RowCount(), 0u);
    EXPECT_FALSE(list.SetSort(3, true)); // nothing to sort
    const TradeSummary empty = SummariseTrades(list.Rows(), false);
    EXPECT_EQ(empty.counts.text + empty.profit.text + empty.rate.text, "0／0 0 0.00 ");
    EXPECT_EQ(empty.counts.colour, kTextWhite);
    EXPECT_EQ(empty.profit.colour, kTextWhite);
}

// Positions laid by hand over the builder's calendar (2007/01/04 is position 0).
class HandPositions : public ::testing::Test {
protected:
    const CCalendar& Calendar() const { return matrix_->DailyCalendar(); }
    void Load(std::vector<PositionEntry> positions, std::int64_t scale = 1,
              const SecurityRecord* security = nullptr) {
        list_.LoadPositions(security, positions, Calendar(), 0, scale);
        list_.SetSort(0, true);
    }
    std::unique_ptr<CMarketMatrix> matrix_ = CMarketBuilder().Build();
    CTradeList list_{TradeListKind::Trading};
};

TEST_F(HandPositions, BuyAndSellResultsAndTheirSigns) {
    Load({{2, kUpWindowOpened, 1, 1000},
          {5, kDownWindowFilled, 2, 1100},
          {9, kUpWindowReached, 2, 1100},
          {12, kDownWindowOpened, 3, 1000}});
    EXPECT_EQ(CellText(list_, 0, 6), "+100:14");
    EXPECT_EQ(list_.Cell(0, 7).text, "+10.00");
    EXPECT_EQ(list_.Cell(1, 1).text, "上方窓到達");
    EXPECT_EQ(CellText(list_, 1, 6), "0:5");
    EXPECT_EQ(list_.Cell(1, 7).text, "0.00");
    EXPECT_EQ(list_.Cell(2, 1).text, "下方窓到達");
    EXPECT_EQ(CellText(list_, 2, 6), "-100:8");
    EXPECT_EQ(list_.Cell(2, 7).text, "-9.09");
    const TradeSummary summary = SummariseTrades(list_.Rows(), false);
    EXPECT_EQ(summary.counts.text + summary.profit.text, "2／1 0 ");
    EXPECT_EQ(summary.counts.colour, kTextWhite); // a zero sum colours nothing

    // The same prices on a sell row.
    Load({{2, kDownWindowOpened, 1, 1000}, {5, kUpWindowOpened, 1, 1100}});
    EXPECT_EQ(list_.Cell(0, 6).text + " " + list_.Cell(0, 7).text, "-100 -10.00");
    EXPECT_EQ(SummariseTrades(list_.Rows(), false).rate.text, "-10.00 ");
}

TEST_F(HandPositions, ScalesHundredthsZeroEntriesAndMissingDays) {
    // Position 59 is the calendar's last day: no execution day, no entry price.
    Load({{10, kUpWindowOpened, 1, 123456}, {59, kDownWindowOpened, 1, kNoEntryPrice}}, 10);
    EXPECT_EQ(list_.Cell(0, 4).text, "1,234,560");
    EXPECT_EQ(list_.Cell(0, 5).text, "---");
    EXPECT_EQ(CellText(list_, 1, 2), "----/--/--:7");

    SecurityRecord hundredths;
    hundredths.listingFlags = kListingHundredths;
    Load({{1, kUpWindowOpened, 1, 123456}, {3, kDownWindowOpened, 1, 123356}}, 1, &hundredths);
    EXPECT_EQ(list_.Cell(0, 4).text + " " + list_.Cell(0, 5).text + " " + list_.Cell(0, 6).text,
              "1,234.56 1,233.56 -1.00");
    EXPECT_EQ(SummariseTrades(list_.Rows(), list_.Hundredths()).profit.text, "-1.00 ");

    // A zero entry price gives no rate rather than an infinite one.
    Load({{1, kUpWindowOpened, 1, 0}, {3, kDownWindowOpened, 1, 50}});
    EXPECT_EQ(list_.Cell(0, 6).text + " " + list_.Cell(0, 7).text, "+50 0.00");
    EXPECT_EQ(SummariseTrades(list_.Rows(), false).rate.text, "0.00 ");
}

TEST_F(HandPositions, SortsStablyByEachColumnsKey) {
    list_.LoadPositions(nullptr,
                        std::vector<PositionEntry>{{1, kUpWindowOpened, 3, 100},
                                                   {2, kDownWindowOpened, 1, 120},
                                                   {3, kUpWindowOpened, 1, 110},
                                                   {4, kDownWindowReached, 2, 130},
                                                   {5, kUpWindowFilled, 4, 100}},
                        Calendar(), 0, 1);
    const auto days = [&] {
        std::vector<unsigned> out;
        for (const TradeRow& row : list_.Rows())
            out.push_back(DateDay(row.firstDate));
        return out;
    };
    EXPECT_EQ(days(), (std::vector<unsigned>{11, 10, 9, 8, 5})); // initially newest first
    list_.SetSort(1, true);                                      // law: by signal, then law number
    EXPECT_EQ(days(), (std::vector<unsigned>{9, 5, 8, 10, 11}));
    // Side: equal keys keep their order; descending is that order reversed.
    list_.SetSort(0, true);
    list_.SetSort(3, true);
    EXPECT_EQ(days(), (std::vector<unsigned>{5, 9, 11, 8, 10}));
    list_.SetSort(0, true);
    list_.SetSort(3, false);
    EXPECT_EQ(days(), (std::vector<unsigned>{10, 8, 11, 9, 5}));
    // Results: the open position's missing result sorts below every number.
    list_.SetSort(6, true);
    EXPECT_EQ(days(), (std::vector<unsigned>{11, 8, 9, 5, 10}));
}

TEST_F(HandPositions, MonthlyRowsFromSegmentPairs) {
    CTradeList monthly(TradeListKind::Monthly);
    EXPECT_EQ(monthly.SortColumn(), 2);
    // Calendar positions 20 (2007/02/01), 25 (2007/02/08) and 40 (2007/03/01).
    const std::vector<MonthlySegment> segments = {{20, kUpWindowOpened, 500, 500},
                                                  {25, kUpWindowOpened, 500, 540},
                                                  {40, kDownWindowFilled, 540, 520}};
    monthly.LoadSegments(nullptr, segments, Calendar(), 1);
    EXPECT_EQ(RowText(monthly, 0), "上方窓到達:0 | 売り:8 | 2007/02/08:12 | 540:4 | 2007/03/01:12 "
                                   "| 520:4 | +20:14 | +3.70:14");
    EXPECT_EQ(RowText(monthly, 1), "窓空け上昇:1 | 買い:15 | 2007/02/01:13 | 500:5 | 2007/02/08:13 "
                                   "| 540:5 | +40:15 | +8.00:15");
    monthly.LoadSegments(nullptr, std::span(segments).first(1), Calendar(), 1);
    EXPECT_EQ(monthly.RowCount(), 0u); // a single segment pairs with nothing
}

TEST(MonthlyExport, WritesCp932LinesThroughACompleteFile) {
    const std::vector<TradeRow> rows = {
        {kUpWindowOpened, 0, MakePackedDate(2007, 2, 1), 1000, MakePackedDate(2007, 3, 1), 1100},
        {kDownWindowFilled, 0, kOpenEnd, 1100, kOpenEnd, -1},
        {0, 0, kNoDate, -1, kNoDate, -1},
    };
    const std::string expected =
        Utf8ToCp932("窓空け上昇,買い,2007/02/01,1000,2007/03/01,1100,100,0.100000\n"
                    "上方窓到達,売り,9999/99/99,1100,0000/00/00,-1,0,0.000000\n"
                    "開口なし,売り,0000/00/00,-1,0000/00/00,-1,0,0.000000\n");
    const std::string csv = MonthlyTradesCsv(rows);
    EXPECT_EQ(csv, expected);
    EXPECT_EQ(csv.substr(0, 16), // "窓空け上昇,買い," in cp932
              std::string("\x91\x8b\x8b\xf3\x82\xaf\x8f\xe3\x8f\xb8,\x94\x83\x82\xa2,", 16));

    char pattern[] = "/tmp/vorn-trading-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::filesystem::path directory = pattern;
    const std::filesystem::path path = directory / "monthly.csv";
    std::ofstream(path) << "previous contents";
    ASSERT_TRUE(ExportMonthlyTrades(path, rows));
    EXPECT_EQ(ReadWholeFile(path), expected);
    EXPECT_EQ(EntriesIn(directory), 1u); // no temporary file left behind

    // A target that cannot be replaced stays as it was, with nothing left beside it.
    const std::filesystem::path occupied = directory / "occupied";
    std::filesystem::create_directory(occupied);
    std::ofstream(occupied / "keep") << "x";
    EXPECT_FALSE(ExportMonthlyTrades(occupied, rows));
    EXPECT_EQ(ReadWholeFile(occupied / "keep"), "x");
    EXPECT_EQ(EntriesIn(directory), 2u);
    EXPECT_FALSE(ExportMonthlyTrades(directory / "missing" / "monthly.csv", rows));
    std::filesystem::remove_all(directory);
}

} // namespace
} // namespace vorn
