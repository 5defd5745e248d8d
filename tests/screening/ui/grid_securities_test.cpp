// The securities grid over hand-made analysis records: sorting by figures (a missing figure
// sorts as 0), the cell colours by sign, and the toggle button's message.
// The core headers come before Qt's, which defines `slots` as a macro.
#include "foundation/text_encoding.h"
#include "screening/screening_market.h"
#include "screening/ui/dialog_screening_preparation.h"
#include "screening/ui/grid_securities.h"
#include "screening/ui/toggle_button.h"
#include "ui_base/posted_message.h"
#include "support/offscreen_application.h"
#include "technical/technical_manager.h"

#include <QCoreApplication>
#include <QImage>
#include <QProgressBar>
#include <gtest/gtest.h>

namespace vorn {
namespace {

using test::AddListing;
using test::CMarketBuilder;
using test::Flat;
using test::ScreeningMarket;

constexpr SecurityKey kFishery = MakeSecurityKey(1301, 1);
constexpr SecurityKey kIndex = MakeSecurityKey(2002, 1);
constexpr SecurityKey kSwitch = MakeSecurityKey(3003, 1);

CMarketBuilder GridMarket() {
    CMarketBuilder builder;
    builder.Calendar(test::ScreeningDays());
    AddListing(builder, 1301, 1, {Flat(1000), Flat(1234)});
    AddListing(builder, 2002, 1, {Flat(99)});
    AddListing(builder, 3003, 1, {Flat(50)});
    return builder;
}

class GridSecuritiesTest : public ::testing::Test {
protected:
    GridSecuritiesTest() : market_(GridMarket()), list_(*market_.matrix, market_.analysis) {
        test::OffscreenApplication();
        for (std::uint16_t code : {1301, 2002, 3003})
            market_.Prefer(code, 1);
        market_.Record(kFishery).annualReturn = 12.5;
        ListingAnalysis& falling = market_.Record(kSwitch);
        falling.annualReturn = -3;
        falling.position = kPositionHoldSell;
        // 2002 has no analysis record: listed as preferred, its return sorts as 0.
        ScreeningSettings settings = MakeDefaultScreeningSettings();
        settings.preferred = {kIndex};
        list_.RebuildSecurities(settings);
        grid_ = std::make_unique<CGridSecurities>(list_);
        grid_->resize(900, 200);
        grid_->Rebuild();
        grid_->Reload();
        grid_->show();
        QCoreApplication::processEvents();
    }
    std::vector<SecurityKey> Rows() const {
        std::vector<SecurityKey> keys;
        for (int row = 0; row < grid_->RowCount(); ++row)
            keys.push_back(grid_->KeyAt(row));
        return keys;
    }
    QColor TextColourIn(int row, int column) {
        const QImage image = grid_->viewport()->grab().toImage();
        const int x0 = grid_->columnViewportPosition(column);
        const int y0 = grid_->rowViewportPosition(row);
        // The brightest pixel of the cell is the text's own colour (edges are smoothed).
        QColor brightest(0, 0, 0);
        for (int y = y0; y < y0 + grid_->rowHeight(row) - 1; ++y)
            for (int x = x0 + 1; x < x0 + grid_->columnWidth(column) - 1; ++x) {
                const QColor colour = image.pixelColor(x, y);
                if (colour.red() + colour.green() + colour.blue() >
                    brightest.red() + brightest.green() + brightest.blue())
                    brightest = colour;
            }
        return brightest;
    }

    ScreeningMarket market_;
    CSecuritiesList list_;
    std::unique_ptr<CGridSecurities> grid_;
};

TEST_F(GridSecuritiesTest, SortsByFiguresWithAMissingFigureAsZero) {
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kFishery, kIndex, kSwitch}));
    grid_->SetSort(kColumnReturn, true);
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kSwitch, kIndex, kFishery}));
    grid_->SetSort(kColumnPrice, false);
    EXPECT_EQ(Rows(), (std::vector<SecurityKey>{kFishery, kIndex, kSwitch}));
    // The selection follows the security, not the row.
    grid_->SetSort(kColumnReturn, true);
    ASSERT_TRUE(grid_->SelectKey(kFishery));
    grid_->SetSort(kColumnCode, true);
    EXPECT_EQ(grid_->CurrentKey(), kFishery);
    EXPECT_EQ(grid_->SelectedListRows(), std::vector<std::size_t>{0});

    std::vector<std::uint32_t> activated;
    QObject::connect(grid_.get(), &CGridSecurities::securityActivated,
                     [&](std::uint32_t key) { activated.push_back(key); });
    grid_->OnDoubleClickCell(1, 0);
    EXPECT_EQ(activated, std::vector<std::uint32_t>{kIndex});
}

TEST_F(GridSecuritiesTest, RisingAndFallingFiguresHaveTheirOwnColours) {
    grid_->setCurrentIndex({});
    grid_->clearSelection();
    const QColor rising = TextColourIn(0, kColumnReturn);
    const QColor falling = TextColourIn(2, kColumnReturn);
    const QColor plain = TextColourIn(0, kColumnCode);
    EXPECT_GT(rising.red(), rising.blue());
    EXPECT_GT(falling.blue(), falling.red());
    EXPECT_TRUE(plain.red() == plain.green() && plain.green() == plain.blue())
        << plain.name().toStdString();
    EXPECT_GT(TextColourIn(2, kColumnPosition).blue(), TextColourIn(2, kColumnPosition).red());
}

class CMessageTarget final : public QObject {
public:
    std::vector<std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>> messages;

protected:
    void customEvent(QEvent* event) override {
        if (event->type() == CPostedMessage::EventType()) {
            const auto* message = static_cast<const CPostedMessage*>(event);
            messages.emplace_back(message->Message(), message->WParam(), message->LParam());
        }
    }
};

TEST(ToggleButton, PostsOnlyTheUsersChanges) {
    test::OffscreenApplication();
    CMessageTarget target;
    CToggleButton button(QStringLiteral("東証一部"));
    button.Configure(&target, 1030, 1);
    button.SetCheckedQuietly(true);
    button.click();
    button.click();
    QCoreApplication::processEvents();
    using Message = std::tuple<std::uint32_t, std::uintptr_t, std::intptr_t>;
    EXPECT_EQ(target.messages, (std::vector<Message>{{1030, 0, 1}, {1030, 1, 1}}));
    EXPECT_TRUE(button.isChecked());
}

TEST(ScreeningPreparation, ProgressMovesTheBarAndARefusalClosesWithFailure) {
    test::OffscreenApplication();
    CMarketMatrix matrix;
    GridMarket().BuildInto(matrix);
    CMarketWindows windows;
    CTechnicalManager manager;
    manager.RegisterTechnicals(&matrix);
    CIndicatorScreening indicators(manager);
    AnalysisResults analysis;
    const ScreeningSettings settings = MakeDefaultScreeningSettings();
    CDialogScreeningPreparation dialog(matrix, windows, analysis, indicators, settings);
    auto* bar = dialog.findChild<QProgressBar*>();
    ASSERT_NE(bar, nullptr);
    dialog.HandleProgress(kProgressPercent, 40);
    EXPECT_EQ(bar->value(), 40);
    dialog.HandleProgress(kProgressPercent, 400); // clamped
    EXPECT_EQ(bar->value(), 100);
    dialog.HandleProgress(static_cast<std::uintptr_t>(-1), 3);
    EXPECT_TRUE(bar->styleSheet().contains(QStringLiteral("red")));
    dialog.HandleProgress(1, 0); // too late: the dialog is closing
    EXPECT_FALSE(dialog.Succeeded());
}

} // namespace
} // namespace vorn
