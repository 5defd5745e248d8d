// The screening contents over a small analysed market: preparation, the list and its summary,
// the toggles and the copy of the selected rows.
#include "screening/ui/screening_view.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>

#include "foundation/text_encoding.h"
#include "screening/ui/condition_texts.h"
#include "screening/ui/dialog_screening_toggles.h"
#include "screening/ui/grid_securities.h"
#include "screening/ui/toggle_button.h"
#include "support/market_builder.h"
#include "support/offscreen_application.h"
#include "technical/technical_manager.h"

namespace vorn {
namespace {

using test::CMarketBuilder;
using test::Ohlcv;

constexpr int kDays = 30;
constexpr SecurityKey kLongHistory = MakeSecurityKey(1301, 1);
constexpr SecurityKey kSecondMarket = MakeSecurityKey(1301, 2);
constexpr SecurityKey kShortHistory = MakeSecurityKey(1332, 1);
constexpr SecurityKey kDelisted = MakeSecurityKey(2001, 1);

std::vector<Ohlcv> Rising(int count, std::uint32_t start, std::uint64_t volume) {
    std::vector<Ohlcv> rows;
    for (int day = 0; day < count; ++day) {
        const std::uint32_t price = start + static_cast<std::uint32_t>(day % 7) * 10;
        rows.push_back({price, price + 5, price - 5, price + 2, volume});
    }
    return rows;
}

// 1301 trades on two markets, most on market 1; 1332 holds the last 20 days only; 2001 stopped
// trading five days before the end.
CMarketBuilder ViewMarket() {
    const auto days = test::Weekdays(MakePackedDate(2007, 1, 4), kDays);
    CMarketBuilder builder;
    builder.Calendar(days)
        .Company(1301, 1, Utf8ToCp932("極洋"))
        .Company(1332, 1, Utf8ToCp932("日水"))
        .Company(2001, 2, Utf8ToCp932("日粉"))
        .Security(1301, 1, days[0], Rising(kDays, 300, 50000))
        .Security(1301, 2, days[0], Rising(kDays, 300, 100))
        .Security(1332, 1, days[kDays - 20], Rising(20, 500, 8000))
        .Security(2001, 1, days[0], Rising(kDays - 5, 700, 3000))
        .History(1301, {{days[0], 1000000}})
        .History(1332, {{days[0], 2000000}});
    return builder;
}

// Refuses to start, as when another worker is still running.
class CRefusingWindows : public CMarketWindows {
public:
    bool StartMarketAnalysis(const CMarketMatrix&, AnalysisResults&, IMessageSink* sink) override {
        ++starts;
        sink->Post(kMsgProgress, static_cast<std::uintptr_t>(-1), 1);
        return false;
    }
    int starts = 0;
};

class ScreeningViewTest : public ::testing::Test {
protected:
    ScreeningViewTest() {
        ViewMarket().BuildInto(matrix_);
        windows_->MapMarketWindows(matrix_, nullptr, nullptr);
        manager_.RegisterTechnicals(&matrix_);
        indicators_ = std::make_unique<CIndicatorScreening>(manager_);
        indicators_->PrepareInclinationParameters(settings_.inclinationParameters);
    }

    CScreeningView& View() {
        if (!view_)
            view_ = std::make_unique<CScreeningView>(matrix_, *windows_, analysis_, *indicators_,
                                                     settings_, saved_);
        return *view_;
    }
    std::vector<SecurityKey> Rows() {
        std::vector<SecurityKey> keys;
        for (int row = 0; row < View().Grid().RowCount(); ++row)
            keys.push_back(View().Grid().KeyAt(row));
        return keys;
    }

    struct ApplicationFirst {
        ApplicationFirst() { test::OffscreenApplication(); }
    } application_;
    CMarketMatrix matrix_;
    std::unique_ptr<CMarketWindows> windows_ = std::make_unique<CMarketWindows>();
    CTechnicalManager manager_;
    std::unique_ptr<CIndicatorScreening> indicators_;
    AnalysisResults analysis_;
    ScreeningSettings settings_ = MakeDefaultScreeningSettings();
    CSavedScreenings saved_;
    std::unique_ptr<CScreeningView> view_;
};

TEST_F(ScreeningViewTest, PreparationFillsTheListWithThePassingSecuritiesAndTheSummary) {
    EXPECT_EQ(View().Grid().RowCount(), 0); // nothing is read before the analysis has run
    ASSERT_TRUE(View().EnsurePrepared());
    EXPECT_TRUE(View().List().Prepared());
    EXPECT_TRUE(analysis_.records.count(kLongHistory));
    EXPECT_TRUE(analysis_.records.count(kSecondMarket));
    // The second market is not preferred and 2001 is no longer traded.
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kLongHistory, kShortHistory}));
    EXPECT_EQ(View().SummaryText().toStdString(), View().List().SummaryText());
    EXPECT_EQ(View().SummaryText().left(6), QStringLiteral("銘柄数：2 "));
    EXPECT_FALSE(indicators_->TurnoverRatios().empty()); // the passes ran as well

    // Sorting by the code column descending reverses the rows.
    View().Grid().SetSort(kColumnCode, false);
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kShortHistory, kLongHistory}));
}

TEST_F(ScreeningViewTest, ToggleChangesTheSettingsRecordsAndRebuilds) {
    ASSERT_TRUE(View().EnsurePrepared());
    settings_.analysisPeriod.flags |= kRangeLowerSet;
    settings_.analysisPeriod.lower = 25; // 1332 holds 20 days
    int changes = 0;
    QObject::connect(&View(), &CScreeningView::settingsChanged, [&] { ++changes; });

    CToggleButton* toggle = View().RangeToggle(kRangeAnalysisPeriod);
    ASSERT_FALSE(toggle->isChecked());
    toggle->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(settings_.analysisPeriod.IsOn());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kLongHistory}));

    toggle->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(settings_.analysisPeriod.IsOn());
    EXPECT_EQ(Rows().size(), 2u);

    // Clearing market 1 leaves only the preferred securities.
    settings_.preferred = {kShortHistory};
    View().HandleConditionMessage(kMsgMarketToggle, 0, 1);
    EXPECT_EQ(settings_.markets, kAllMarkets & ~1u);
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kShortHistory}));
    EXPECT_EQ(changes, 3);

    // Out-of-range values change nothing.
    View().HandleConditionMessage(kMsgSectorToggle, 1, 35);
    View().HandleConditionMessage(kMsgRangeToggle, 1, 7);
    EXPECT_EQ(changes, 3);

    View().ResetConditions();
    EXPECT_EQ(settings_.markets, kAllMarkets);
    EXPECT_EQ(Rows().size(), 2u);
}

TEST_F(ScreeningViewTest, CandleShapeDialogKeepsTheButtonOrderAndAppliesAtOnce) {
    ASSERT_TRUE(View().EnsurePrepared());
    int changes = 0;
    QObject::connect(&View(), &CScreeningView::settingsChanged, [&] { ++changes; });
    const auto dialog = View().CreateToggleDialog(ToggleFamily::CandleShapes);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("スクリーニング－[ローソク足]"));
    const std::uint16_t order[] = {1, 2, 4, 8, 64, 16, 32, 128, 2048, 256, 512, 1024, 0x8000};
    ASSERT_EQ(dialog->ToggleCount(), 13);
    for (int i = 0; i < 13; ++i) {
        EXPECT_EQ(dialog->Toggle(i)->toolTip().toStdString(), CandleShapeName(order[i])) << i;
        EXPECT_TRUE(dialog->Toggle(i)->isChecked());
    }
    EXPECT_EQ(dialog->Toggle(12)->toolTip(), QStringLiteral("無効な形状"));

    dialog->Toggle(4)->click(); // the doji
    QCoreApplication::processEvents();
    EXPECT_EQ(settings_.candleShapes, kAllCandleShapes & ~64u);
    EXPECT_EQ(changes, 1);

    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("クリア"))
            button->click();
    EXPECT_EQ(settings_.candleShapes, 0);
    EXPECT_FALSE(dialog->Toggle(0)->isChecked());
    EXPECT_EQ(Rows().size(), 0u); // a mask of 0 passes nothing
    EXPECT_EQ(changes, 2);
}

TEST_F(ScreeningViewTest, MarketDialogLabelsAndItsAllButton) {
    settings_.markets = 0;
    const auto dialog = View().CreateToggleDialog(ToggleFamily::Markets);
    ASSERT_EQ(dialog->ToggleCount(), 15);
    EXPECT_EQ(dialog->Toggle(5)->text(), QStringLiteral("ヘラクレスＳｔｄ"));
    EXPECT_EQ(dialog->Toggle(6)->text(), QStringLiteral("ヘラクレスＧｒｓ"));
    EXPECT_EQ(dialog->Toggle(0)->text(), QStringLiteral("東証一部"));
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("全市場"))
            button->click();
    EXPECT_EQ(settings_.markets, kAllMarkets);
    EXPECT_TRUE(dialog->Toggle(14)->isChecked());
}

TEST_F(ScreeningViewTest, MarketDialogAndTextsFollowTheFilesLastDay) {
    struct Case {
        PackedDate last;
        const char* first;
        const char* text;
    };
    for (const Case& c :
         {Case{MakePackedDate(2022, 4, 1), "東証一部", "東証一、東証マ、名証セ"},
          Case{MakePackedDate(2022, 4, 4), "東証プライム", "東証Ｐ、東証Ｇ、名証Ｎ"},
          Case{MakePackedDate(2022, 4, 5), "東証プライム", "東証Ｐ、東証Ｇ、名証Ｎ"}}) {
        view_.reset();
        const std::vector<PackedDate> days = {MakePackedDate(2022, 3, 31), c.last};
        CMarketBuilder()
            .Calendar(days)
            .Company(1301, 1, Utf8ToCp932("極洋"))
            .Security(1301, 1, days[0], Rising(2, 300, 100))
            .BuildInto(matrix_);
        settings_.markets = 1u | 4u | (1u << 9); // markets 1, 3 and 10
        const auto dialog = View().CreateToggleDialog(ToggleFamily::Markets);
        ASSERT_EQ(dialog->ToggleCount(), 15);
        EXPECT_EQ(dialog->Toggle(0)->text().toStdString(), c.first);
        EXPECT_EQ(dialog->Toggle(5)->text(), QStringLiteral("ヘラクレスＳｔｄ"));
        EXPECT_EQ(dialog->Toggle(14)->text(), QStringLiteral("ＪＡＳＤＡＱ"));
        EXPECT_EQ(MarketsText(settings_.markets, MarketNamingOf(matrix_)), c.text);
    }
    view_.reset();
}

TEST(ConditionTexts, IndicatorSummariesAndBounds) {
    EXPECT_EQ(InclinationSummaryText({60, kSelectorClose, 80, 10}),
              "[終値 60日] 価格帯分割数：80、分析価格帯数：10");
    EXPECT_EQ(TurnoverSummaryText({3, 15}), "評価日数：3日、基準日数：15日");
    EXPECT_EQ(BoundText(true, 1.5, false, 0), "1.5％以上");
    EXPECT_EQ(BoundText(false, 0, true, -20), "-20％以下");
    EXPECT_EQ(BoundText(true, -5, true, 5), "-5％以上、 5％以下");
    EXPECT_EQ(BoundText(false, 1, false, 2), "");
    EXPECT_EQ(SecurityCountText(12345), "12,345 銘柄");
    EXPECT_EQ(RangeText({kRangeRankMode | kRangeUpperSet | kRangeLowerSet, 100, 1}, kRangeBeta),
              "1位から100位まで");
    EXPECT_EQ(RangeText({kRangeLowerSet, 10, 0}, kRangeMarketCap), "10億円以上");
}

TEST_F(ScreeningViewTest, SelectedRowsGoToTheClipboardAsUtf8Csv) {
    ASSERT_TRUE(View().EnsurePrepared());
    EXPECT_FALSE(View().CopySelection());
    ASSERT_TRUE(View().SelectListing(kShortHistory));
    EXPECT_EQ(View().CurrentSecurity(), kShortHistory);
    ASSERT_TRUE(View().CopySelection());
    const std::size_t row = View().Grid().SelectedListRows().at(0);
    const std::string expected = Cp932ToUtf8(View().List().CopySelectionAsCsv({&row, 1}));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), expected);
    EXPECT_NE(expected.find("1332,日水"), std::string::npos);
    EXPECT_TRUE(View().SelectCode(1301));
    EXPECT_EQ(View().CurrentSecurity(), kLongHistory);
}

TEST_F(ScreeningViewTest, FailedPreparationIsNotTakenForDoneAndIsTriedAgain) {
    auto refusing = std::make_unique<CRefusingWindows>();
    CRefusingWindows* windows = refusing.get();
    windows_ = std::move(refusing);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(View().EnsurePrepared());
    EXPECT_GE(timer.elapsed(), 900); // the red bar stays for a second
    EXPECT_FALSE(View().Prepared());
    EXPECT_FALSE(View().List().Prepared());
    EXPECT_FALSE(View().EnsurePrepared());
    EXPECT_EQ(windows->starts, 2);
}

} // namespace
} // namespace vorn
