// The specific-stock dialog at its edges: empty sets, a double click over no selection, clearing
// one tab only and cancelling after moves.
// The core headers come before Qt's, which defines `slots` as a macro.
#include "foundation/text_encoding.h"
#include "screening/screening_settings.h"
#include "screening/ui/dialog_security_selector.h"
#include "screening/ui/grid_listings.h"
#include "support/market_builder.h"
#include "support/offscreen_application.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTabBar>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using test::CMarketBuilder;
using test::Ohlcv;

const SecurityKey kA = MakeSecurityKey(1301, 1);
const SecurityKey kB = MakeSecurityKey(2002, 1);
const SecurityKey kB2 = MakeSecurityKey(2002, 2);
const SecurityKey kC = MakeSecurityKey(7203, 1);

std::vector<Ohlcv> Rows(int count, std::uint32_t base) {
    std::vector<Ohlcv> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({base, base + 4, base - 3, base + 1, 1000u});
    return rows;
}

class SecuritySelectorTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        const std::vector<PackedDate> calendar = test::Weekdays(MakePackedDate(2010, 1, 4), 30);
        CMarketBuilder builder;
        builder.Calendar(calendar)
            .Company(1301, 1, Utf8ToCp932("極洋"))
            .Company(2002, 1, Utf8ToCp932("日清製粉"))
            .Company(7203, 1, Utf8ToCp932("自動車"))
            .Security(1301, 1, calendar[0], Rows(30, 200))
            .Security(2002, 1, calendar[0], Rows(30, 900))
            .Security(2002, 2, calendar[0], Rows(30, 905))
            .Security(7203, 1, calendar[0], Rows(30, 3000));
        matrix_ = builder.Build();
        ASSERT_NE(matrix_, nullptr);
        settings_ = MakeDefaultScreeningSettings();
    }

    static void DoubleClick(CGridListings* list, int row) {
        list->OnDoubleClickCell(row, 0);
        QCoreApplication::processEvents(); // the move arrives as a posted message
    }
    static QPushButton* Button(CDialogSecuritySelector& dialog, const QString& text) {
        for (QPushButton* button : dialog.findChildren<QPushButton*>())
            if (button->text() == text)
                return button;
        return nullptr;
    }

    std::unique_ptr<CMarketMatrix> matrix_;
    ScreeningSettings settings_;
};

TEST_F(SecuritySelectorTest, EmptySetsOfferEverySecurityOnBothTabs) {
    CDialogSecuritySelector dialog(*matrix_, settings_);
    const std::vector<SecurityKey> all{kA, kB, kB2, kC};
    EXPECT_EQ(dialog.Tabs()->count(), 2);
    EXPECT_EQ(dialog.LeftList()->Keys(), all);
    EXPECT_TRUE(dialog.RightList()->Keys().empty());
    dialog.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(dialog.LeftList()->Identity(), CDialogSecuritySelector::kSelectableExcluded);
    EXPECT_EQ(dialog.RightList()->Identity(), CDialogSecuritySelector::kExcluded);
    EXPECT_EQ(dialog.LeftList()->Keys(), all);
    EXPECT_TRUE(dialog.RightList()->Keys().empty());
}

TEST_F(SecuritySelectorTest, DoubleClickWithoutSelectionMovesNothingOnEitherSide) {
    settings_.preferred = {kB};
    CDialogSecuritySelector dialog(*matrix_, settings_);
    dialog.LeftList()->clearSelection();
    dialog.RightList()->clearSelection();
    DoubleClick(dialog.LeftList(), 0);
    DoubleClick(dialog.RightList(), 0);
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kPreferred), (std::set<SecurityKey>{kB}));
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kSelectablePreferred),
              (std::set<SecurityKey>{kA, kB2, kC}));
    EXPECT_EQ(dialog.LeftList()->Keys(), (std::vector<SecurityKey>{kA, kB2, kC}));
    EXPECT_EQ(dialog.RightList()->Keys(), std::vector<SecurityKey>{kB});
    // With a row selected the same gesture does move it: the check above is not vacuous.
    dialog.LeftList()->selectRow(2);
    DoubleClick(dialog.LeftList(), 2);
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kPreferred), (std::set<SecurityKey>{kB, kC}));
}

TEST_F(SecuritySelectorTest, ClearOnTheExcludedTabLeavesThePreferredSetAlone) {
    settings_.preferred = {kA, kC};
    settings_.excluded = {kB, kB2};
    CDialogSecuritySelector dialog(*matrix_, settings_);
    dialog.Tabs()->setCurrentIndex(1);
    EXPECT_EQ(dialog.RightList()->Keys(), (std::vector<SecurityKey>{kB, kB2}));
    ASSERT_NE(dialog.ClearButton(), nullptr);
    dialog.ClearButton()->click();
    EXPECT_TRUE(dialog.Set(CDialogSecuritySelector::kExcluded).empty());
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kSelectableExcluded),
              (std::set<SecurityKey>{kA, kB, kB2, kC}));
    EXPECT_TRUE(dialog.RightList()->Keys().empty());
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kPreferred), (std::set<SecurityKey>{kA, kC}));
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kSelectablePreferred),
              (std::set<SecurityKey>{kB, kB2}));
    dialog.Tabs()->setCurrentIndex(0);
    EXPECT_EQ(dialog.RightList()->Keys(), (std::vector<SecurityKey>{kA, kC}));
    dialog.accept();
    EXPECT_EQ(settings_.preferred, (SecurityKeySet{kA, kC}));
    EXPECT_TRUE(settings_.excluded.Empty());
}

TEST_F(SecuritySelectorTest, CancelAfterMovesAndClearLeavesTheSettingsExactly) {
    settings_.preferred = {kA};
    settings_.excluded = {kC};
    const ScreeningSettings before = settings_;
    CDialogSecuritySelector dialog(*matrix_, settings_);
    dialog.LeftList()->selectAll();
    DoubleClick(dialog.LeftList(), 0);
    EXPECT_EQ(dialog.Set(CDialogSecuritySelector::kPreferred).size(), 4u);
    dialog.Tabs()->setCurrentIndex(1);
    dialog.ClearButton()->click();
    EXPECT_TRUE(dialog.Set(CDialogSecuritySelector::kExcluded).empty());
    QPushButton* cancel = Button(dialog, QStringLiteral("キャンセル"));
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(settings_, before);
}

} // namespace
} // namespace vorn
