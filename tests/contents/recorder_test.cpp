#include "contents/recorder.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace vorn {
namespace {

// Remembers what the history asked to show, in order.
class CShownContents final : public IContentsHost {
public:
    struct Shown {
        ContentsKind kind = kContentsChart;
        const SecurityRecord* stock = nullptr;
        std::uint16_t displayedDays = 0;
        std::uint16_t scrollPosition = 0;
        ScreeningSettings settings;
        std::string address;
    };

    void ShowChart(const SecurityRecord* stock, PeriodKind, std::uint16_t displayedDays,
                   std::uint16_t scrollPosition) override {
        Shown shown;
        shown.kind = kContentsChart;
        shown.stock = stock;
        shown.displayedDays = displayedDays;
        shown.scrollPosition = scrollPosition;
        log.push_back(shown);
    }
    void ShowScreening(const ScreeningSettings& settings) override {
        Shown shown;
        shown.kind = kContentsScreening;
        shown.settings = settings;
        log.push_back(shown);
    }
    void ShowReport(const std::string& address) override {
        Shown shown;
        shown.kind = kContentsReport;
        shown.address = address;
        log.push_back(shown);
    }

    std::vector<Shown> log;
};

class RecorderTest : public ::testing::Test {
protected:
    const SecurityRecord* Stock(int i) { return &stocks_[i]; }
    void RecordCharts(int count) {
        for (int i = 0; i < count; ++i)
            recorder_.RecordChart(Stock(i), PeriodKind::Daily, 100, static_cast<std::uint16_t>(i));
    }
    const SecurityRecord* ChartAt(std::size_t index) const {
        const CContents& entry = recorder_.Entry(index);
        EXPECT_EQ(entry.GetKind(), kContentsChart);
        return static_cast<const CChartContents&>(entry).stock;
    }

    SecurityRecord stocks_[12];
    CRecorder recorder_;
    CShownContents host_;
};

TEST_F(RecorderTest, RecordingKeepsTheTenNewest) {
    recorder_.RecordChart(Stock(0), PeriodKind::Daily, 100, 0);
    EXPECT_EQ(recorder_.Count(), 1u);
    EXPECT_EQ(recorder_.Flags(), 0) << "one entry: nothing to go back to";

    for (int i = 1; i < 11; ++i)
        recorder_.RecordChart(Stock(i), PeriodKind::Daily, 100, 0);
    ASSERT_EQ(recorder_.Count(), 10u);
    EXPECT_EQ(ChartAt(0), Stock(10));
    EXPECT_EQ(ChartAt(9), Stock(1)) << "the oldest was deleted";
    EXPECT_EQ(recorder_.Flags(), kCanGoBack);
    EXPECT_FALSE(recorder_.Position().has_value());
}

TEST_F(RecorderTest, SameStockUpdatesTheFrontEntry) {
    RecordCharts(3);
    recorder_.RecordChart(Stock(2), PeriodKind::Monthly, 250, 42);
    ASSERT_EQ(recorder_.Count(), 3u);
    const auto& front = static_cast<const CChartContents&>(recorder_.Entry(0));
    EXPECT_EQ(front.stock, Stock(2));
    EXPECT_EQ(front.displayKind, PeriodKind::Monthly);
    EXPECT_EQ(front.displayedDays, 250);
    EXPECT_EQ(front.scrollPosition, 42);
    EXPECT_EQ(recorder_.Flags(), kCanGoBack);

    CRecorder single;
    single.RecordChart(Stock(0), PeriodKind::Daily, 100, 0);
    single.RecordChart(Stock(0), PeriodKind::Daily, 100, 5);
    EXPECT_EQ(single.Count(), 1u);
    EXPECT_EQ(single.Flags(), 0);
}

TEST_F(RecorderTest, ScreeningAndReportEntriesAreReusedByKind) {
    ScreeningSettings first;
    first.markets = 1;
    ScreeningSettings second;
    second.markets = 2;
    second.preferred = {MakeSecurityKey(1301, 1)};
    recorder_.RecordScreening(first);
    recorder_.RecordScreening(second);
    ASSERT_EQ(recorder_.Count(), 1u);
    const auto& screening = static_cast<const CScreeningContents&>(recorder_.Entry(0));
    EXPECT_EQ(screening.settings, ToImage(second));
    EXPECT_EQ(screening.preferred, second.preferred);

    recorder_.RecordReport("http://127.0.0.1/a");
    recorder_.RecordReport("http://127.0.0.1/b");
    ASSERT_EQ(recorder_.Count(), 2u);
    EXPECT_EQ(static_cast<const CReportContents&>(recorder_.Entry(0)).address,
              "http://127.0.0.1/b");

    recorder_.RecordReport("about:blank");
    EXPECT_EQ(recorder_.Count(), 2u);
    EXPECT_EQ(static_cast<const CReportContents&>(recorder_.Entry(0)).address,
              "http://127.0.0.1/b");

    recorder_.RecordReport(std::string(1500, 'x'));
    EXPECT_EQ(static_cast<const CReportContents&>(recorder_.Entry(0)).address.size(), 1023u);
}

TEST_F(RecorderTest, BackAndForwardWalkTheHistoryAndRestore) {
    RecordCharts(3); // history: 2, 1, 0
    recorder_.Navigate(true, host_);
    EXPECT_EQ(recorder_.Position(), 1u);
    EXPECT_EQ(recorder_.Flags(), kCanGoBack | kCanGoForward);
    recorder_.Navigate(true, host_);
    EXPECT_EQ(recorder_.Position(), 2u);
    EXPECT_EQ(recorder_.Flags(), kCanGoForward) << "at the oldest entry";

    recorder_.Navigate(true, host_);
    EXPECT_EQ(recorder_.Position(), 2u) << "back at the oldest stays there";
    EXPECT_EQ(recorder_.Flags(), kCanGoForward);

    recorder_.Navigate(false, host_);
    EXPECT_EQ(recorder_.Position(), 1u);
    EXPECT_EQ(recorder_.Flags(), kCanGoBack | kCanGoForward);
    recorder_.Navigate(false, host_);
    EXPECT_EQ(recorder_.Position(), 0u);
    EXPECT_EQ(recorder_.Flags(), kCanGoBack);
    recorder_.Navigate(false, host_);
    EXPECT_EQ(recorder_.Position(), 0u) << "forward at the newest stays there";
    EXPECT_EQ(recorder_.Flags(), kCanGoBack);

    ASSERT_EQ(host_.log.size(), 4u) << "steps that stay put restore nothing";
    const SecurityRecord* expected[] = {Stock(1), Stock(0), Stock(1), Stock(2)};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(host_.log[i].kind, kContentsChart);
        EXPECT_EQ(host_.log[i].stock, expected[i]) << "step " << i;
    }
    EXPECT_EQ(host_.log[1].scrollPosition, 0);
    EXPECT_EQ(host_.log[0].scrollPosition, 1);
}

TEST_F(RecorderTest, ForwardFromTheOldestEntryStillAllowsBack) {
    RecordCharts(2);
    recorder_.Navigate(true, host_);
    EXPECT_EQ(recorder_.Flags(), kCanGoForward);
    recorder_.Navigate(false, host_);
    EXPECT_EQ(recorder_.Position(), 0u);
    EXPECT_EQ(recorder_.Flags(), kCanGoBack) << "the entry just left can be gone back to";
}

TEST_F(RecorderTest, RecordingAnotherStockAfterGoingBackDropsNewerEntries) {
    RecordCharts(4); // 3, 2, 1, 0
    recorder_.Navigate(true, host_);
    recorder_.Navigate(true, host_); // at stock 1
    recorder_.RecordChart(Stock(9), PeriodKind::Daily, 100, 0);
    ASSERT_EQ(recorder_.Count(), 3u);
    EXPECT_EQ(ChartAt(0), Stock(9));
    EXPECT_EQ(ChartAt(1), Stock(1));
    EXPECT_EQ(ChartAt(2), Stock(0));
    EXPECT_FALSE(recorder_.Position().has_value());
    EXPECT_EQ(recorder_.Flags(), kCanGoBack);
}

TEST_F(RecorderTest, RecordingTheShownStockAfterGoingBackUpdatesInPlace) {
    RecordCharts(3);                 // 2, 1, 0
    recorder_.Navigate(true, host_); // at stock 1
    recorder_.RecordChart(Stock(1), PeriodKind::Daily, 60, 77);
    ASSERT_EQ(recorder_.Count(), 3u);
    EXPECT_EQ(recorder_.Position(), 1u);
    EXPECT_EQ(recorder_.Flags(), kCanGoBack | kCanGoForward);
    EXPECT_EQ(static_cast<const CChartContents&>(recorder_.Entry(1)).scrollPosition, 77);

    recorder_.Navigate(true, host_); // at stock 0, the oldest
    recorder_.RecordChart(Stock(0), PeriodKind::Daily, 60, 5);
    EXPECT_EQ(recorder_.Flags(), kCanGoForward);
    EXPECT_EQ(recorder_.Count(), 3u);
}

TEST_F(RecorderTest, DifferentKindAtThePositionDropsNewerEntries) {
    recorder_.RecordChart(Stock(0), PeriodKind::Daily, 100, 0);
    recorder_.RecordScreening(ScreeningSettings{});
    recorder_.RecordReport("http://127.0.0.1/r");
    recorder_.Navigate(true, host_); // at the screening
    ASSERT_EQ(host_.log.back().kind, kContentsScreening);

    recorder_.RecordScreening(ScreeningSettings{});
    EXPECT_EQ(recorder_.Count(), 3u) << "the screening entry is updated in place";
    EXPECT_EQ(recorder_.Position(), 1u);

    recorder_.RecordChart(Stock(1), PeriodKind::Daily, 100, 0);
    ASSERT_EQ(recorder_.Count(), 3u) << "the report was dropped, the chart put in front";
    EXPECT_EQ(recorder_.Entry(0).GetKind(), kContentsChart);
    EXPECT_EQ(recorder_.Entry(1).GetKind(), kContentsScreening);
    EXPECT_EQ(ChartAt(0), Stock(1));
    EXPECT_EQ(ChartAt(2), Stock(0));
    EXPECT_FALSE(recorder_.Position().has_value());
}

TEST_F(RecorderTest, NavigateWithoutHistoryDoesNothing) {
    recorder_.Navigate(true, host_);
    recorder_.Navigate(false, host_);
    EXPECT_EQ(recorder_.Flags(), 0);
    recorder_.RecordChart(Stock(0), PeriodKind::Daily, 100, 0);
    recorder_.Navigate(true, host_);
    recorder_.Navigate(false, host_);
    EXPECT_EQ(recorder_.Flags(), 0);
    EXPECT_FALSE(recorder_.Position().has_value());
    EXPECT_TRUE(host_.log.empty());
}

TEST_F(RecorderTest, RestoredReportIsNotRecordedAgain) {
    recorder_.RecordReport("http://127.0.0.1/first");
    recorder_.RecordChart(Stock(0), PeriodKind::Daily, 100, 0);
    recorder_.Navigate(true, host_);
    ASSERT_EQ(host_.log.size(), 1u);
    EXPECT_EQ(host_.log[0].kind, kContentsReport);
    EXPECT_EQ(host_.log[0].address, "http://127.0.0.1/first");

    // The browser finishes the navigation it was asked for, possibly at a redirected address.
    recorder_.RecordReport("http://127.0.0.1/redirected");
    EXPECT_EQ(recorder_.Count(), 2u);
    EXPECT_EQ(static_cast<const CReportContents&>(recorder_.Entry(1)).address,
              "http://127.0.0.1/first");
    EXPECT_EQ(recorder_.Flags(), kCanGoForward);

    // A navigation the user starts afterwards is recorded (in place, as the same kind).
    recorder_.RecordReport("http://127.0.0.1/second");
    EXPECT_EQ(static_cast<const CReportContents&>(recorder_.Entry(1)).address,
              "http://127.0.0.1/second");
}

TEST_F(RecorderTest, RestoredScreeningBringsBackSettingsAndLists) {
    ScreeningSettings settings = MakeDefaultScreeningSettings();
    settings.price = {kRangeOn | kRangeLowerSet, 100000.0, 0.0};
    settings.preferred = {MakeSecurityKey(1301, 1), MakeSecurityKey(7203, 1)};
    settings.excluded = {MakeSecurityKey(9984, 1)};
    recorder_.RecordScreening(settings);
    recorder_.RecordChart(Stock(0), PeriodKind::Daily, 100, 0);
    recorder_.Navigate(true, host_);
    ASSERT_EQ(host_.log.size(), 1u);
    EXPECT_EQ(host_.log[0].kind, kContentsScreening);
    EXPECT_EQ(host_.log[0].settings, settings);
}

} // namespace
} // namespace vorn
