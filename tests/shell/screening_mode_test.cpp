// The screening contents of the main window on a generated sample market: each condition the
// user toggles rebuilds the list to exactly the securities the filter accepts and records the
// screening once; a range group in rank mode; "条件選択の初期化".
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "contents/contents.h"
#include "contents/recorder.h"
#include "screening/screening_settings.h"
#include "screening/securities_list.h"
#include "support/run_command.h"

#include "screening/ui/condition_texts.h"
#include "screening/ui/dialog_screening_range.h"
#include "screening/ui/dialog_screening_toggles.h"
#include "screening/ui/grid_securities.h"
#include "screening/ui/screening_view.h"
#include "screening/ui/toggle_button.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"
#include "support/offscreen_application.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <bit>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

class ScreeningModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        char pattern[] = "/tmp/vorn_screening_mode_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory_ = pattern;
        const auto [status, output] =
            test::RunCommandLine(std::string(VORN_CTL_PATH) + " sample --out " +
                                 (directory_ / "Market.kbx").string() +
                                 " --years 1 --securities 60 >/dev/null");
        ASSERT_EQ(status, 0) << output;
        AppOptions options;
        options.dataDirectory = directory_;
        options.localMode = true;
        options.interactive = false;
        options.pauses = StartupPauses::None();
        ASSERT_TRUE(app_.InitInstance(options));
        frame_ = app_.MainFrame();
        ASSERT_TRUE(frame_->RunCommand(kIdContentsScreening));
        ASSERT_EQ(app_.ContentsMode(), kContentsScreening);
        ASSERT_TRUE(View().EnsurePrepared());
        QObject::connect(&View(), &CScreeningView::settingsChanged, [this] { ++changes_; });
        entries_ = app_.Recorder().Count();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }

    CScreeningView& View() { return frame_->View().Screening(); }

    std::vector<SecurityKey> Shown() {
        std::vector<SecurityKey> keys;
        for (int row = 0; row < View().Grid().RowCount(); ++row)
            keys.push_back(View().Grid().KeyAt(row));
        std::sort(keys.begin(), keys.end());
        return keys;
    }
    std::vector<SecurityKey> Accepted() {
        std::vector<SecurityKey> keys;
        for (const auto& [key, security] : app_.Matrix().Securities())
            if (View().List().MatchesScreening(security, app_.Screening()))
                keys.push_back(key);
        return keys;
    }

    // After one change by the user: the list holds exactly the accepted securities, the
    // change was announced once, and the newest history entry holds the settings as they are
    // now (updated in place, not added).
    void ExpectOneRecordedChange(const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(changes_, 1);
        changes_ = 0;
        EXPECT_EQ(Shown(), Accepted());
        ASSERT_EQ(app_.Recorder().Count(), entries_);
        const auto* newest = dynamic_cast<const CScreeningContents*>(&app_.Recorder().Entry(0));
        ASSERT_NE(newest, nullptr);
        EXPECT_EQ(newest->settings, ToImage(app_.Screening()));
    }

    void ClickToggle(ToggleFamily family, int index) {
        const auto dialog = View().CreateToggleDialog(family);
        ASSERT_LT(index, dialog->ToggleCount());
        dialog->Toggle(index)->click();
        QCoreApplication::processEvents(); // the toggle posts its message to the view
    }

    fs::path directory_;
    CVornApp app_;
    CMainFrame* frame_ = nullptr;
    int changes_ = 0;
    std::size_t entries_ = 0;
};

TEST_F(ScreeningModeTest, EachToggledConditionFiltersExactlyAndIsRecordedOnce) {
    const std::vector<SecurityKey> initial = Shown();
    ASSERT_FALSE(initial.empty());
    EXPECT_EQ(initial, Accepted());

    // Market 1 ("東証一部") off: its securities leave the list.
    const ScreeningSettings before = app_.Screening();
    ClickToggle(ToggleFamily::Markets, 0);
    EXPECT_EQ(app_.Screening().markets, before.markets ^ 1u);
    ExpectOneRecordedChange("market");
    EXPECT_NE(Shown(), initial);

    const std::uint16_t laws = app_.Screening().laws;
    ClickToggle(ToggleFamily::Laws, 0);
    EXPECT_NE(app_.Screening().laws, laws);
    EXPECT_EQ(std::popcount(static_cast<unsigned>(app_.Screening().laws ^ laws)), 1);
    ExpectOneRecordedChange("law");

    const std::uint8_t positions = app_.Screening().positions;
    ClickToggle(ToggleFamily::Positions, 0);
    EXPECT_EQ(std::popcount(static_cast<unsigned>(app_.Screening().positions ^ positions)), 1);
    ExpectOneRecordedChange("position");

    // The analysis period from 200 days on: the range toggle switches the group on.
    app_.Screening().analysisPeriod.flags |= kRangeLowerSet;
    app_.Screening().analysisPeriod.lower = 200;
    CToggleButton* period = View().RangeToggle(kRangeAnalysisPeriod);
    ASSERT_FALSE(period->isChecked());
    const std::size_t withoutPeriod = Shown().size();
    period->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(app_.Screening().analysisPeriod.IsOn());
    ExpectOneRecordedChange("range on");
    EXPECT_LT(Shown().size(), withoutPeriod);
    period->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(app_.Screening().analysisPeriod.IsOn());
    ExpectOneRecordedChange("range off");
    EXPECT_EQ(Shown().size(), withoutPeriod);
}

TEST_F(ScreeningModeTest, RankModeKeepsOnlyTheFirstRanksAndResetBringsEverythingBack) {
    const std::size_t initial = Shown().size();
    ASSERT_GT(initial, 5u);
    // The user chooses ranks 1 to 5 of the annual return in the range dialog.
    bool answered = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<CDialogScreeningRange*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        answered = true;
        dialog->RankButton()->setChecked(true);
        dialog->FromEdit()->setText(QStringLiteral("1"));
        dialog->ToEdit()->setText(QStringLiteral("5"));
        dialog->accept();
        if (dialog->isVisible())
            dialog->reject();
    });
    View().OpenRangeDialog(kRangeAnnualReturn);
    ASSERT_TRUE(answered);
    const ScreeningRange& range = app_.Screening().annualReturn;
    EXPECT_TRUE(range.IsRankMode());
    EXPECT_EQ(range.upper, 1.0);
    EXPECT_EQ(range.lower, 5.0);
    changes_ = 0;

    CToggleButton* toggle = View().RangeToggle(kRangeAnnualReturn);
    if (!toggle->isChecked()) {
        toggle->click();
        QCoreApplication::processEvents();
        ExpectOneRecordedChange("rank mode");
    }
    ASSERT_TRUE(app_.Screening().annualReturn.IsOn());
    const std::vector<SecurityKey> ranked = Shown();
    EXPECT_EQ(ranked, Accepted());
    EXPECT_LE(ranked.size(), 5u);
    EXPECT_FALSE(ranked.empty());

    // Narrow the markets as well, then "条件選択の初期化".
    ClickToggle(ToggleFamily::Markets, 0);
    changes_ = 0;
    ScreeningSettings expected = app_.Screening();
    ResetScreening(expected);
    ASSERT_TRUE(frame_->RunCommand(kIdScreeningReset));
    QCoreApplication::processEvents();
    EXPECT_EQ(app_.Screening(), expected);
    EXPECT_EQ(app_.Screening().markets, kAllMarkets);
    EXPECT_EQ(View().RangeToggle(kRangeAnnualReturn)->isChecked(),
              app_.Screening().annualReturn.IsOn());
    ExpectOneRecordedChange("reset");
    EXPECT_GT(Shown().size(), ranked.size());
}

} // namespace
} // namespace vorn
