// The dialogs of the screening: range bounds, indicator settings, window tests, the report,
// the saved settings and the specific-stock selection.
// The core headers come before Qt's, which defines `slots` as a macro.
#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"
#include "screening/screening_market.h"
#include "screening/signal_report.h"
#include "screening/ui/condition_texts.h"
#include "screening/ui/dialog_inclination_index.h"
#include "screening/ui/dialog_report.h"
#include "screening/ui/dialog_screening.h"
#include "screening/ui/dialog_screening_range.h"
#include "screening/ui/dialog_security_selector.h"
#include "screening/ui/dialog_turnover_average.h"
#include "screening/ui/dialog_windows_and_shadows.h"
#include "screening/ui/grid_listings.h"
#include "screening/ui/grid_screening_filters.h"
#include "support/offscreen_application.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabBar>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using test::AddListing;
using test::CMarketBuilder;
using test::Flat;
using test::ScreeningMarket;

struct ApplicationFirst {
    ApplicationFirst() { test::OffscreenApplication(); }
};

class DialogTest : public ::testing::Test {
protected:
    ApplicationFirst application_;
};

// --- Range groups ---

TEST_F(DialogTest, RangeDialogWritesValueBoundsAndRefusesAnInvertedPair) {
    ScreeningRange range{kRangeOn, 0.0, 0.0};
    {
        CDialogScreeningRange dialog(kRangePrice, range);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("投資金額"));
        dialog.FromEdit()->setText(QStringLiteral("500"));
        dialog.ToEdit()->setText(QStringLiteral("100"));
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(range, (ScreeningRange{kRangeOn, 0.0, 0.0}));

        dialog.ToEdit()->setText(QStringLiteral("100000"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(range, (ScreeningRange{kRangeOn | kRangeLowerSet | kRangeUpperSet, 500, 100000}));

    {
        // An emptied bound is cleared; the on flag belongs to the toggle and stays.
        CDialogScreeningRange dialog(kRangePrice, range);
        EXPECT_EQ(dialog.FromEdit()->text(), QStringLiteral("500"));
        dialog.ToEdit()->clear();
        dialog.accept();
    }
    EXPECT_EQ(range.flags, kRangeOn | kRangeLowerSet);
    EXPECT_EQ(range.lower, 500);

    {
        CDialogScreeningRange dialog(kRangePrice, range);
        dialog.FromEdit()->setText(QStringLiteral("abc"));
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(range.flags, kRangeOn | kRangeLowerSet);
}

TEST_F(DialogTest, RangeDialogInRankModeStoresTheFirstRankAsTheUpperBound) {
    ScreeningRange range;
    {
        CDialogScreeningRange dialog(kRangeMarketCap, range);
        dialog.RankButton()->setChecked(true);
        dialog.FromEdit()->setText(QStringLiteral("1.5")); // ranks are whole numbers
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        dialog.FromEdit()->setText(QStringLiteral("1"));
        dialog.ToEdit()->setText(QStringLiteral("100"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(range, (ScreeningRange{kRangeOn | kRangeRankMode | kRangeLowerSet | kRangeUpperSet,
                                     100, 1}));

    ScreeningRange period;
    CDialogScreeningRange dialog(kRangeAnalysisPeriod, period);
    EXPECT_FALSE(dialog.RankButton()->isEnabled()); // no rank index for it
}

// --- Indicator dialogs ---

TEST_F(DialogTest, InclinationDialogShowsDefaultsAndChecksItsFields) {
    InclinationParameters parameters{0, 0, 1000, 0};
    InclinationCondition condition{kInclinationPreviousLowerSet, 0, 0, -5, 0};
    CDialogInclinationIndex dialog(parameters, condition);
    EXPECT_EQ(dialog.DaysEdit()->text(), QStringLiteral("60"));
    EXPECT_EQ(dialog.PriceCombo()->currentText(), QStringLiteral("終値"));
    EXPECT_EQ(dialog.BandsEdit()->text(), QStringLiteral("80"));
    EXPECT_EQ(dialog.AnalysedBandsEdit()->text(), QStringLiteral("10"));
    EXPECT_EQ(dialog.PreviousLowerEdit()->text(), QStringLiteral("-5"));
    EXPECT_TRUE(dialog.CurrentLowerEdit()->text().isEmpty());

    dialog.DaysEdit()->setText(QStringLiteral("0"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.DaysEdit()->setText(QStringLiteral("40"));
    dialog.CurrentCheck()->setChecked(true);
    dialog.CurrentLowerEdit()->setText(QStringLiteral("20"));
    dialog.CurrentUpperEdit()->setText(QStringLiteral("10"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(parameters, (InclinationParameters{0, 0, 1000, 0}));

    dialog.CurrentUpperEdit()->setText(QStringLiteral("30"));
    dialog.PriceCombo()->setCurrentIndex(0);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(parameters, (InclinationParameters{40, kSelectorOpen, 80, 10}));
    EXPECT_EQ(condition.flags, kInclinationCurrentOn | kInclinationCurrentLowerSet |
                                   kInclinationCurrentUpperSet | kInclinationPreviousLowerSet);
    EXPECT_EQ(condition.currentLower, 20);
    EXPECT_EQ(condition.currentUpper, 30);
    EXPECT_EQ(condition.previousLower, -5);
}

TEST_F(DialogTest, TurnoverDialogClearsABoundThatDoesNotParse) {
    TurnoverParameters parameters{};
    ScreeningRange ratio{kRangeLowerSet, 10, 0};
    CDialogTurnoverAverage dialog(parameters, ratio);
    EXPECT_EQ(dialog.EvaluationDaysEdit()->text(), QStringLiteral("3"));
    EXPECT_EQ(dialog.BaseDaysEdit()->text(), QStringLiteral("15"));
    dialog.RatioCheck()->setChecked(true);
    dialog.LowerEdit()->setText(QStringLiteral("x"));
    dialog.UpperEdit()->setText(QStringLiteral("50"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(parameters, (TurnoverParameters{3, 15}));
    EXPECT_EQ(ratio, (ScreeningRange{kRangeOn | kRangeUpperSet, 0, 50}));
}

TEST_F(DialogTest, WindowsAndShadowsDialogWritesTestsBoundsAndKeepsTheOnBit) {
    WindowsAndShadows tests;
    tests.flags = kWsOn | kWsUpperShadow;
    CDialogWindowsAndShadows dialog(tests);
    dialog.TestCheck(2)->setChecked(false); // upper shadow
    dialog.TestCheck(0)->setChecked(true);  // window above
    dialog.LowerEdit(0)->setText(QStringLiteral("1.5"));
    dialog.NoWindowBelowCheck()->setChecked(true);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(tests.flags, kWsOn | kWsWindowAbove | kWsWindowAboveLowerSet | kWsNoWindowBelow);
    EXPECT_EQ(tests.windowAbove.lower, 1.5);
}

// --- Report ---

constexpr SecurityKey kFishery = MakeSecurityKey(1301, 1);
constexpr SecurityKey kSugar = MakeSecurityKey(2002, 1);
constexpr SecurityKey kSugarSecond = MakeSecurityKey(2002, 2);

CMarketBuilder ReportMarket() {
    const auto day = test::ScreeningDays()[0];
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays())
        .Company(1301, 1, Utf8ToCp932("極洋"))
        .Company(2002, 4, Utf8ToCp932("日清"));
    AddListing(builder, 1301, 1, {Flat(1000)});
    AddListing(builder, 2002, 1, {Flat(500)});
    AddListing(builder, 2002, 2, {Flat(500)});
    builder.History(1301, {{day, 1000000}}).History(2002, {{day, 9000000}});
    return builder;
}

class ReportTest : public DialogTest {
protected:
    ReportTest() : market_(ReportMarket()) {
        market_.Prefer(1301, 1);
        market_.Prefer(2002, 1);
        market_.Record(kFishery);
        market_.Record(kSugar).position = kPositionHoldSell;
        market_.Record(kSugarSecond);
    }
    ScreeningMarket market_;
};

TEST_F(ReportTest, ReportOfTheLargestCompaniesGoesToTheClipboard) {
    QGuiApplication::clipboard()->clear();
    CDialogReport dialog(*market_.matrix, market_.analysis, {});
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("レポート"));
    dialog.TopCount()->setValue(1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::string expected = CopySignalReport(*market_.matrix, market_.analysis, 1);
    EXPECT_EQ(dialog.Report(), expected);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), Cp932ToUtf8(expected));
    EXPECT_NE(Cp932ToUtf8(expected).find("日清"), std::string::npos);
}

TEST_F(ReportTest, ReportOfNamedCodesAndRefusalOfOtherText) {
    {
        // Prefilled codes are listed as written, not by stored value.
        const std::vector<std::uint16_t> codes{*ParseStockCode("1A00"), *ParseStockCode("130A"),
                                               1332, 1301};
        CDialogReport written(*market_.matrix, market_.analysis, codes);
        EXPECT_EQ(written.CodesEdit()->toPlainText(), QStringLiteral("1301\n130A\n1332\n1A00"));
    }
    CDialogReport dialog(*market_.matrix, market_.analysis, {1301});
    EXPECT_EQ(dialog.CodesEdit()->toPlainText(), QStringLiteral("1301"));
    dialog.SpecificButton()->setChecked(true);
    dialog.CodesEdit()->setPlainText(QStringLiteral("1301, 20020"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    dialog.CodesEdit()->setPlainText(QStringLiteral("1301\n2002"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    const std::uint16_t codes[] = {1301, 2002};
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              Cp932ToUtf8(CopySignalReportFor(*market_.matrix, market_.analysis, codes)));

    EXPECT_EQ(ParseStockCodes(QStringLiteral(" 0001、9999 ")),
              (std::vector<std::uint16_t>{1, 9999}));
    EXPECT_FALSE(ParseStockCodes(QStringLiteral("13O1")));
}

// --- Saved screening settings ---

class CQuietDialogScreening : public CDialogScreening {
public:
    using CDialogScreening::CDialogScreening;
    QStringList warnings;

protected:
    void Warn(const QString& text) override { warnings << text; }
};

TEST_F(DialogTest, SaveModeSavesNewTitlesAndRefusesTakenOnes) {
    CSavedScreenings saved;
    ScreeningSettings current = MakeDefaultScreeningSettings();
    current.preferred = {kFishery};
    {
        CQuietDialogScreening dialog(CDialogScreening::Mode::Save, saved, current);
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("スクリーニング設定の保存"));
        EXPECT_EQ(dialog.OkButton()->text(), QStringLiteral("保存"));
        EXPECT_FALSE(dialog.OkButton()->isEnabled());
        dialog.SaveNewButton()->click();
        EXPECT_EQ(dialog.warnings, QStringList{QStringLiteral("[タイトル]を設定して下さい   ")});
        dialog.TitleEdit()->setText(QStringLiteral("高配当"));
        dialog.SaveNewButton()->click();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    const SavedScreening* record = saved.Find(Utf8ToCp932("高配当"));
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->preferred, std::vector<SecurityKey>{kFishery});
    EXPECT_EQ(record->settings, ToImage(current));

    CQuietDialogScreening dialog(CDialogScreening::Mode::Save, saved, current);
    ASSERT_EQ(dialog.Grid()->RowCount(), 1);
    dialog.TitleEdit()->setText(QStringLiteral("高配当"));
    dialog.SaveNewButton()->click();
    EXPECT_EQ(dialog.warnings, QStringList{QStringLiteral("保存済みの[タイトル]です   ")});
    EXPECT_NE(dialog.result(), QDialog::Accepted);
}

TEST_F(DialogTest, SaveModeOverwritesOrRenamesTheChosenRecord) {
    CSavedScreenings saved;
    ScreeningSettings current = MakeDefaultScreeningSettings();
    ASSERT_EQ(saved.SaveScreeningAs("a", current), ScreeningSaveResult::Ok);
    ASSERT_EQ(saved.SaveScreeningAs("b", current), ScreeningSaveResult::Ok);
    current.markets = 1;
    {
        CQuietDialogScreening dialog(CDialogScreening::Mode::Save, saved, current);
        dialog.ChooseRow(0);
        EXPECT_EQ(dialog.TitleEdit()->text(), QStringLiteral("a"));
        EXPECT_TRUE(dialog.OkButton()->isEnabled());
        dialog.TitleEdit()->setText(QStringLiteral("b")); // another record's title
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(saved.Count(), 2u);
        dialog.TitleEdit()->setText(QStringLiteral("c"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(saved.Find("a"), nullptr);
    ASSERT_NE(saved.Find("c"), nullptr);
    EXPECT_EQ(saved.Find("c")->settings, ToImage(current));

    CQuietDialogScreening dialog(CDialogScreening::Mode::Save, saved, current);
    dialog.ChooseRow(0); // "b"
    dialog.DeleteButton()->click();
    EXPECT_EQ(saved.Find("b"), nullptr);
    EXPECT_EQ(dialog.Grid()->RowCount(), 1);
    EXPECT_FALSE(dialog.DeleteButton()->isEnabled());
}

TEST_F(DialogTest, RestoreModeAppliesTheChosenRecord) {
    CSavedScreenings saved;
    ScreeningSettings stored = MakeDefaultScreeningSettings();
    stored.positions = kPositionsNone;
    stored.excluded = {kSugar};
    ASSERT_EQ(saved.SaveScreeningAs(Utf8ToCp932("売り"), stored), ScreeningSaveResult::Ok);
    ScreeningSettings current = MakeDefaultScreeningSettings();

    CQuietDialogScreening dialog(CDialogScreening::Mode::Restore, saved, current);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("スクリーニング設定の再現"));
    EXPECT_EQ(dialog.OkButton()->text(), QStringLiteral("選択"));
    EXPECT_FALSE(dialog.TitleEdit()->isEnabled());
    EXPECT_TRUE(dialog.SaveNewButton()->isHidden());
    dialog.accept(); // nothing chosen
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    dialog.ChooseRow(0);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(current, stored);
    EXPECT_EQ(SavedTimeText(*saved.Find(Utf8ToCp932("売り"))).size(), 19u);
}

// --- Specific-stock selection ---

class SelectorTest : public ReportTest {
protected:
    void SelectAll(CGridListings* list) {
        list->selectAll();
        QCoreApplication::processEvents();
    }
};

TEST_F(SelectorTest, ListsEverySecurityAndMovesTheSelectedOnesByMessage) {
    ScreeningSettings settings = MakeDefaultScreeningSettings();
    CDialogSecuritySelector dialog(*market_.matrix, settings);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("特定銘柄の設定"));
    EXPECT_EQ(dialog.LeftList()->Keys(),
              (std::vector<SecurityKey>{kFishery, kSugar, kSugarSecond}));
    EXPECT_TRUE(dialog.RightList()->Keys().empty());

    // A double click with nothing selected moves nothing.
    dialog.LeftList()->clearSelection();
    dialog.LeftList()->OnDoubleClickCell(0, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.LeftList()->Keys().size(), 3u);

    dialog.LeftList()->selectRow(1);
    dialog.LeftList()->OnDoubleClickCell(1, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kPreferred), (std::set<SecurityKey>{kSugar}));
    EXPECT_EQ(dialog.LeftList()->Keys(), (std::vector<SecurityKey>{kFishery, kSugarSecond}));
    EXPECT_EQ(dialog.RightList()->Keys(), std::vector<SecurityKey>{kSugar});

    // The excluded tab still offers every security.
    dialog.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(dialog.LeftList()->Identity(), CDialogSecuritySelector::kSelectableExcluded);
    EXPECT_EQ(dialog.LeftList()->Keys().size(), 3u);
    SelectAll(dialog.LeftList());
    dialog.MoveSelected(CDialogSecuritySelector::kSelectableExcluded);
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kExcluded).size(), 3u);
    dialog.ClearChosen();
    EXPECT_TRUE(dialog.Set(CDialogSecuritySelector::kExcluded).empty());
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kPreferred), (std::set<SecurityKey>{kSugar}));

    dialog.accept();
    EXPECT_EQ(settings.preferred, (SecurityKeySet{kSugar}));
    EXPECT_TRUE(settings.excluded.Empty());
}

TEST_F(SelectorTest, CancellingLeavesTheSettingsAsTheyWere) {
    ScreeningSettings settings = MakeDefaultScreeningSettings();
    settings.excluded = {kFishery};
    const ScreeningSettings before = settings;
    CDialogSecuritySelector dialog(*market_.matrix, settings);
    dialog.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(dialog.RightList()->Keys(), std::vector<SecurityKey>{kFishery});
    SelectAll(dialog.RightList());
    dialog.MoveSelected(CDialogSecuritySelector::kExcluded);
    EXPECT_TRUE(dialog.RightList()->Keys().empty());
    dialog.reject();
    EXPECT_EQ(settings, before);
}

} // namespace
} // namespace vorn
