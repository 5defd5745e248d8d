// First: the core headers it pulls in must come before any Qt header.
#include "gaps/ui/market_windows_details.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <chrono>
#include <gtest/gtest.h>

#include "foundation/text_encoding.h"
#include "gaps/analysed_market.h"
#include "matrix/stock_code.h"
#include "support/offscreen_application.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::CAnalysedMarket;
using test::CMarketBuilder;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uint16_t kCode = 1301;

void Click(QWidget& widget, QPoint at) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), widget.mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
}

template <class Condition> bool PumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class DetailsPanelTest : public ::testing::Test {
protected:
    DetailsPanelTest()
        : market_(CMarketBuilder()
                      .Company(kCode, 1, Utf8ToCp932("極洋"))
                      .Security(kCode, 1, kFirstDay, test::TwoWindowRows())
                      .Security(kCode, 3, kFirstDay, test::TwoWindowRows())) {
        test::OffscreenApplication();
    }
    CAnalysedMarket market_;
    test::CRecordingSink parent_;
};

TEST_F(DetailsPanelTest, ShowsTheAnalysedStockAndAsksForOtherMarketsAndPeriods) {
    ASSERT_NE(market_.Analyse(kCode, 1), nullptr);
    CMarketWindowsDetails panel(market_.Matrix(), market_.Performer(), &parent_);
    panel.resize(panel.sizeHint());
    panel.show();
    EXPECT_FALSE(panel.HasSecurity()); // nothing until the chart refreshes it
    panel.SetPeriodUnit(3);
    panel.Refresh();
    ASSERT_TRUE(panel.HasSecurity());
    EXPECT_EQ(panel.Quote().name, "極洋");
    EXPECT_EQ(panel.Table().columns[0].heading, "3日");
    EXPECT_FALSE(panel.Table().columns[3].blank);
    EXPECT_EQ(panel.Table().columns[3].days, 10u);
    EXPECT_FALSE(panel.grab().isNull());

    // The box of the security shown does nothing; the other market's box asks for it.
    ASSERT_FALSE(panel.MarketBoxRect(1).isEmpty());
    Click(panel, panel.MarketBoxRect(0).center());
    Click(panel, panel.MarketBoxRect(1).center());
    auto messages = parent_.Messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].message, kMsgDetailsSelectListing);
    EXPECT_EQ(messages[0].wParam, kCode);
    EXPECT_EQ(messages[0].lParam, 3);

    // A heading flashes its days, then asks for them; the last column is the whole period.
    Click(panel, panel.HeadingRect(1).center());
    EXPECT_EQ(panel.FlashingColumn(), 1);
    ASSERT_TRUE(PumpUntil([&] { return parent_.Messages().size() == 2; }));
    EXPECT_EQ(panel.FlashingColumn(), -1);
    Click(panel, panel.HeadingRect(3).center());
    ASSERT_TRUE(PumpUntil([&] { return parent_.Messages().size() == 3; }));
    messages = parent_.Messages();
    EXPECT_EQ(messages[1].message, kMsgDetailsSelectDays);
    EXPECT_EQ(messages[1].wParam, 6u);
    EXPECT_EQ(messages[2].wParam, 10u);
}

// The market boxes name the markets as the file's last day has them; codes with a letter show
// as written.
TEST(DetailsPanelNames, MarketBoxesFollowTheFilesLastDay) {
    test::OffscreenApplication();
    const std::uint16_t code = *ParseStockCode("130A");
    struct Case {
        PackedDate first; // thirty weekdays from here end on the day named
        const char* tokyo;
        const char* nagoya;
    };
    for (const Case& c : {Case{MakePackedDate(2022, 2, 21), "東証一", "名証一"},    // ends 04/01
                          Case{MakePackedDate(2022, 2, 22), "東証Ｐ", "名証Ｐ"},    // ends 04/04
                          Case{MakePackedDate(2022, 2, 23), "東証Ｐ", "名証Ｐ"}}) { // ends 04/05
        const std::vector<PackedDate> days = test::Weekdays(c.first, 30);
        CAnalysedMarket market(CMarketBuilder()
                                   .Calendar(days)
                                   .Company(code, 1, Utf8ToCp932("ベリフォ"))
                                   .Security(code, 1, days[0], test::TwoWindowRows())
                                   .Security(code, 8, days[0], test::TwoWindowRows()));
        ASSERT_NE(market.Analyse(code, 1), nullptr);
        test::CRecordingSink parent;
        CMarketWindowsDetails panel(market.Matrix(), market.Performer(), &parent);
        panel.resize(panel.sizeHint());
        panel.Refresh();
        ASSERT_TRUE(panel.HasSecurity());
        EXPECT_EQ(panel.Quote().code, "130A");
        ASSERT_EQ(panel.Quote().markets.size(), 2u);
        EXPECT_STREQ(panel.Quote().markets[0].shortName, c.tokyo) << DateDay(days.back());
        EXPECT_STREQ(panel.Quote().markets[1].shortName, c.nagoya) << DateDay(days.back());
        EXPECT_FALSE(panel.grab().isNull());
    }
}

TEST_F(DetailsPanelTest, WithoutAStockThePanelIsEmptyAndIgnoresClicks) {
    CMarketWindowsDetails panel(market_.Matrix(), market_.Performer(), &parent_);
    panel.resize(panel.sizeHint());
    panel.show();
    panel.Refresh();
    EXPECT_FALSE(panel.HasSecurity());
    for (int column = 0; column < kDetailsColumnCount; ++column)
        Click(panel, panel.HeadingRect(column).center());
    EXPECT_EQ(panel.FlashingColumn(), -1);
    EXPECT_TRUE(parent_.Messages().empty());
    EXPECT_FALSE(panel.grab().isNull());
}

} // namespace
} // namespace vorn
