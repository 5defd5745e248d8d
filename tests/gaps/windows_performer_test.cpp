#include "gaps/windows_performer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/log_channels.h"
#include "foundation/text_encoding.h"
#include "gaps/analysed_market.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;

using test::CAnalysedMarket;
using test::CMarketBuilder;
using test::Ohlcv;
using test::TwoWindowRows;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4); // a Thursday
constexpr std::uint16_t kCode = 1301;

struct Expected {
    std::uint16_t identifier;
    std::uint8_t state;
    std::uint16_t day;
    std::uint32_t price;
};

void ExpectHistory(const CWindowsPerformer& performer, const std::vector<Expected>& expected) {
    const auto& history = performer.History();
    ASSERT_EQ(history.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(history[i].identifier, expected[i].identifier);
        EXPECT_EQ(history[i].state, expected[i].state);
        EXPECT_EQ(history[i].day, expected[i].day);
        EXPECT_EQ(history[i].price, expected[i].price);
    }
}

const std::vector<Expected> kTwoWindowHistory = {
    {0, 1, 1, 105}, {0, 0, 1, 108}, {0, 16, 3, 107}, {0, 64, 4, 105},
    {1, 2, 4, 107}, {1, 0, 4, 101}, {1, 32, 7, 104}, {1, 128, 8, 107},
};

TEST(WindowReplay, GivesIdentifiersAndStateHistory) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    const CWindowsPerformer& performer = market.Performer();
    // Identifiers run on across directions; reaching writes no record.
    ExpectHistory(performer, kTwoWindowHistory);
    EXPECT_EQ(performer.WindowCount(), 2u);
    EXPECT_EQ(performer.RecordsOf(1).size(), 4u);
    EXPECT_TRUE(performer.RecordsOf(2).empty());
    EXPECT_EQ(performer.FirstPosition(), 0);
    EXPECT_EQ(performer.LastPosition(), 9);
}

TEST(WindowReplay, EveryPriceWidthGivesTheSameHistoryScaledByTheExponent) {
    for (int type : {int{kPricesU8}, int{kPricesU16}, int{kPricesU32}})
        for (std::uint8_t exponent : {0, 2}) {
            SCOPED_TRACE(testing::Message() << type << " " << int{exponent});
            CAnalysedMarket market(CMarketBuilder().Security(
                kCode, 1, kFirstDay, TwoWindowRows(), type, CMarketBuilder::kNarrowest, exponent));
            ASSERT_NE(market.Analyse(kCode), nullptr);
            std::vector<Expected> scaled = kTwoWindowHistory;
            for (auto& e : scaled)
                e.price *= exponent ? 100 : 1;
            ExpectHistory(market.Performer(), scaled);
            // Position entry prices stay in stored units.
            EXPECT_EQ(market.Performer().Positions().at(0).entryPrice, 112u);
        }
}

TEST(OpenWindows, OpenFromTheOpeningDayUntilTheDayBeforeTheFill) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    const CWindowsPerformer& performer = market.Performer();
    const CCalendar& calendar = market.Calendar();

    const std::vector<OpenWindowList> expected = {
        {},                            // 0
        {{kUpwardWindow, 108, 105}},   // 1: the opening day
        {{kUpwardWindow, 108, 105}},   // 2
        {{kUpwardWindow, 107, 105}},   // 3: reduced that day
        {{kDownwardWindow, 107, 101}}, // 4: the fill day closes the upward one
        {{kDownwardWindow, 107, 101}}, // 5
        {{kDownwardWindow, 107, 101}}, // 6: reaching changes nothing
        {{kDownwardWindow, 107, 104}}, // 7
        {},                            // 8
        {},                            // 9
    };
    OpenWindowList open;
    for (int day = 0; day < 10; ++day) {
        SCOPED_TRACE(day);
        performer.CollectOpenWindows(open, calendar[day]);
        ASSERT_EQ(open.size(), expected[day].size());
        for (std::size_t i = 0; i < open.size(); ++i) {
            EXPECT_EQ(open[i].direction, expected[day][i].direction);
            EXPECT_EQ(open[i].upperBound, expected[day][i].upperBound);
            EXPECT_EQ(open[i].lowerBound, expected[day][i].lowerBound);
        }
    }

    using Bounds = std::array<std::uint32_t, 4>;
    EXPECT_EQ(performer.GetLatestWindows(calendar[3]), (Bounds{0, 0, 107, 105}));
    EXPECT_EQ(performer.GetLatestWindows(calendar[5]), (Bounds{107, 101, 0, 0}));
    EXPECT_EQ(performer.GetLatestWindowsAt(4), (Bounds{107, 101, 0, 0}));
}

TEST(OpenWindows, UpwardWindowsComeFirstAndTheLatestOfEachDirectionWins) {
    // Two upward windows and one downward one, all open on the last day.
    CAnalysedMarket market(
        CMarketBuilder().Security(kCode, 1, kFirstDay,
                                  {{100, 101, 99, 100, 10},
                                   {105, 106, 104, 105, 10},    // up 104/101
                                   {110, 111, 109, 110, 10},    // up 109/106
                                   {103, 107, 107, 107, 10},    // down 109/107 (high 107 < low 109)
                                   {107, 107, 107, 107, 10}})); // reaches both, moves neither
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    OpenWindowList open;
    market.Performer().CollectOpenWindowsAt(open, 4);
    ASSERT_EQ(open.size(), 3u);
    EXPECT_EQ(open[0].direction, kUpwardWindow);
    EXPECT_EQ(open[0].upperBound, 104u);
    EXPECT_EQ(open[1].upperBound, 107u);
    EXPECT_EQ(open[2].direction, kDownwardWindow);
    EXPECT_EQ(record->latestWindows, (std::array<std::uint32_t, 4>{109, 107, 107, 106}));
}

TEST(OpenWindows, PositionsAndDatesOutsideTheSeriesGiveNothing) {
    CAnalysedMarket market(
        CMarketBuilder().Security(kCode, 1, test::Weekdays(kFirstDay, 60)[2], TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    const CWindowsPerformer& performer = market.Performer();
    OpenWindowList open{{kUpwardWindow, 1, 2}};
    performer.CollectOpenWindowsAt(open, 1); // before the series' first day
    EXPECT_TRUE(open.empty());
    open = {{kUpwardWindow, 1, 2}};
    performer.CollectOpenWindowsAt(open, -1);
    EXPECT_TRUE(open.empty());
    open = {{kUpwardWindow, 1, 2}};
    performer.CollectOpenWindows(open, MakePackedDate(2007, 1, 6)); // a Saturday
    EXPECT_TRUE(open.empty());
    const std::array<std::uint32_t, 4> none{};
    EXPECT_EQ(performer.GetLatestWindows(MakePackedDate(2007, 1, 6)), none);
    EXPECT_EQ(performer.GetLatestWindows(MakePackedDate(2030, 1, 4)), none);
    // Shifted by two calendar days, the upward window is open at calendar position 3.
    EXPECT_EQ(performer.GetLatestWindowsAt(3), (std::array<std::uint32_t, 4>{0, 0, 108, 105}));

    CWindowsPerformer empty;
    EXPECT_EQ(empty.GetLatestWindows(kFirstDay), none);
}

TEST(WindowReplay, EventsThatDoNotFitTheSeriesStopTheReplay) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, TwoWindowRows()));
    ASSERT_TRUE(market.Mapped());
    // The matrix changes under the mapped events: day 4's high now lies above the previous
    // low, so the downward opening of day 4 has no gap.
    std::vector<Ohlcv> changed = TwoWindowRows();
    changed[4].high = 108;
    CMarketBuilder().Security(kCode, 1, kFirstDay, changed).BuildInto(market.Matrix());
    const ListingAnalysis* record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr); // analysed with what was found so far
    const auto& positions = market.Performer().Positions();
    ASSERT_EQ(positions.size(), 1u);
    EXPECT_EQ(positions[0].day, 1);
    EXPECT_EQ(record->position, kPositionHoldBuy);
    EXPECT_EQ(record->daysHeld, 8);
    EXPECT_EQ(record->lastEventSignal, 0);
    EXPECT_EQ(record->daysSinceEvent, 0);
    EXPECT_EQ(record->candleShape, 0);
    EXPECT_EQ(record->volumeChange, 0.0);

    // A shorter series than the events cover: nothing is read beyond its last day.
    std::vector<Ohlcv> shorter = TwoWindowRows();
    shorter.resize(6);
    CMarketBuilder().Security(kCode, 1, kFirstDay, shorter).BuildInto(market.Matrix());
    record = market.Analyse(kCode);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(market.Performer().History().size(), 6u); // days 1, 3 and 4
    EXPECT_EQ(record->candleShape, 0);
}

// The log file's text with the time stamps taken out.
std::string ReadLogText(const std::filesystem::path& path) {
    const std::string text = ReadWholeFile(path);
    static const std::regex stamp(R"(\[\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] )");
    return std::regex_replace(text, stamp, "");
}

TEST(WindowDumps, WriteTheExactTexts) {
    CAnalysedMarket market(CMarketBuilder().Security(kCode, 1, kFirstDay, TwoWindowRows()));
    ASSERT_NE(market.Analyse(kCode), nullptr);
    const auto directory =
        std::filesystem::temp_directory_path() /
        ("vorn_dump_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
         std::to_string(reinterpret_cast<std::uintptr_t>(&market)));
    const auto path = directory / "Agent.inf";
    ASSERT_TRUE(OpenLogChannel(1, path));
    market.Performer().DumpHistory();
    OpenWindowList open;
    market.Performer().CollectOpenWindowsAt(open, 7);
    open.push_back({3, 5, 4});
    market.Performer().DumpOpenWindows(open);
    CloseLogChannels();

    std::ostringstream expected;
    expected << "<窓>\n";
    const char* dates[] = {"", "2007/01/05", "",           "2007/01/09", "2007/01/10",
                           "", "",           "2007/01/15", "2007/01/16"};
    const char* states[] = {"\t\t<状態：上方窓発生>\n", "\t\t<状態：不明>\n",
                            "\t\t<状態：上方窓削減>\n", "\t\t<状態：上方窓埋め>\n",
                            "\t\t<状態：下方窓発生>\n", "\t\t<状態：不明>\n",
                            "\t\t<状態：下方窓削減>\n", "\t\t<状態：下方窓埋め>\n"};
    for (std::size_t i = 0; i < kTwoWindowHistory.size(); ++i) {
        if (i % 4 == 0)
            expected << "\t<ID：" << i / 4 << ">\n";
        expected << states[i] << "\t\t\t日付：" << dates[kTwoWindowHistory[i].day] << "\n"
                 << "\t\t\t価格：" << kTwoWindowHistory[i].price << "\n"
                 << "\t\t</状態>\n";
        if (i % 4 == 3)
            expected << "\t</ID>\n";
    }
    expected << "</窓>\n\n";
    expected << "<窓： ×2>\n"
             << "\t<状態：下方窓発生>\n\t\t上限：107、下限：104\n\t<状態>\n"
             << "\t<状態：不明>\n\t\t上限：5、下限：4\n\t<状態>\n"
             << "</窓>\n\n";
    EXPECT_EQ(ReadLogText(path), Utf8ToCp932(expected.str()));
    std::filesystem::remove_all(directory);
}

} // namespace
} // namespace vorn
