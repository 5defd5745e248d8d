// The market analysis worker, the agreement of the mapping pass with the replay, and the
// analyse command.
#include <gtest/gtest.h>

#include "support/run_command.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

#include "foundation/event.h"
#include "gaps/analysed_market.h"
#include "matrix/matrix_file.h"
#include "matrix/sample_market.h"
#include "support/recording_sink.h"

namespace vorn {
namespace {

using test::CAnalysedMarket;
using test::CMarketBuilder;
using test::CRecordingSink;
using test::Ohlcv;

constexpr PackedDate kFirstDay = MakePackedDate(2007, 1, 4);
constexpr std::uintptr_t kRefused = static_cast<std::uintptr_t>(-1);

// Securities 2000, 2001, ... each with an upward window that is filled by a downward one.
CMarketBuilder ManySecurities(int count) {
    CMarketBuilder builder;
    for (int i = 0; i < count; ++i) {
        const auto s = static_cast<std::uint32_t>(i % 50);
        std::vector<Ohlcv> rows = {
            {100 + s, 105 + s, 95 + s, 100 + s, 1000},   {110 + s, 115 + s, 108 + s, 112 + s, 1000},
            {112 + s, 116 + s, 109 + s, 114 + s, 1000},  {110 + s, 112 + s, 107 + s, 108 + s, 1000},
            {100 + s, 101 + s, 90 + s, 95 + s, 1000},    {96 + s, 99 + s, 94 + s, 97 + s, 1000},
            {98 + s, 101 + s, 96 + s, 100 + s, 1000 + s}};
        builder.Security(static_cast<std::uint16_t>(2000 + i), 1, kFirstDay, rows);
    }
    return builder;
}

TEST(MarketAnalysis, AnalysesEverySecurityLikeTheChartDoes) {
    CAnalysedMarket market(ManySecurities(40));
    ASSERT_TRUE(market.Mapped());
    CRecordingSink sink;
    AnalysisResults results;
    ASSERT_TRUE(market.Windows().StartMarketAnalysis(market.Matrix(), results, &sink));
    market.Windows().JoinWorker();

    const auto messages = sink.Messages();
    ASSERT_GE(messages.size(), 3u);
    EXPECT_EQ(messages.front().message, kMsgProgress);
    EXPECT_EQ(messages.front().wParam, kProgressPercent);
    EXPECT_EQ(messages.front().lParam, 1);
    EXPECT_EQ(messages.back().wParam, 1u); // finished
    EXPECT_EQ(messages.back().lParam, 0);
    EXPECT_EQ(sink.Values(kProgressPercent).back(), 100);

    ASSERT_EQ(results.records.size(), 40u);
    for (const auto& [key, record] : results.records) {
        SCOPED_TRACE(CodeOfKey(key));
        const ListingAnalysis* forced = market.Analyse(CodeOfKey(key), MarketOfKey(key));
        ASSERT_NE(forced, nullptr);
        EXPECT_EQ(record, *forced);
    }
    EXPECT_EQ(results.records.begin()->second.position, kPositionHoldSell);
}

// Holds the worker in its first message until released.
class CGateSink final : public IMessageSink {
public:
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        recorder.Post(message, wParam, lParam);
        if (!gated_.exchange(true)) {
            reached.Set();
            release.Wait();
        }
    }
    CRecordingSink recorder;
    CEvent reached{true, false};
    CEvent release{true, false};

private:
    std::atomic<bool> gated_{false};
};

TEST(MarketAnalysis, RefusesASecondStartWhileRunning) {
    CAnalysedMarket market(ManySecurities(3));
    CGateSink sink;
    AnalysisResults results, second;
    ASSERT_TRUE(market.Windows().StartMarketAnalysis(market.Matrix(), results, &sink));
    sink.reached.Wait();
    EXPECT_FALSE(market.Windows().StartMarketAnalysis(market.Matrix(), second, &sink));
    sink.release.Set();
    market.Windows().JoinWorker();
    const auto refusals = sink.recorder.Values(kRefused);
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0], 1);
    EXPECT_EQ(results.records.size(), 3u);
    EXPECT_TRUE(second.records.empty());

    // Once the first has ended a new one may start.
    CRecordingSink again;
    EXPECT_TRUE(market.Windows().StartMarketAnalysis(market.Matrix(), second, &again));
    market.Windows().JoinWorker();
    EXPECT_EQ(second.records.size(), 3u);
}

// Signals the cancel event when the worker first reports progress beyond its start.
class CCancellingSink final : public IMessageSink {
public:
    explicit CCancellingSink(CEvent& cancel) : cancel_(cancel) {}
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        recorder.Post(message, wParam, lParam);
        if (wParam == kProgressPercent && lParam > 1)
            cancel_.Set();
    }
    CRecordingSink recorder;

private:
    CEvent& cancel_;
};

TEST(MarketAnalysis, ACancelledWorkerDeliversWhatItAnalysed) {
    CAnalysedMarket market(ManySecurities(40));
    CCancellingSink sink(market.Windows().CancelEvent());
    AnalysisResults results;
    ASSERT_TRUE(market.Windows().StartMarketAnalysis(market.Matrix(), results, &sink));
    market.Windows().JoinWorker();
    EXPECT_EQ(results.records.size(), 35u); // stopped at its first look at the event
    EXPECT_EQ(sink.recorder.Messages().back().wParam, 1u);
    const auto progress = sink.recorder.Values(kProgressPercent);
    EXPECT_NE(progress.back(), 100);
}

TEST(MarketAnalysis, LeavesRecordsAlreadyInTheDestination) {
    CAnalysedMarket market(ManySecurities(5));
    AnalysisResults results;
    ListingAnalysis sentinel;
    sentinel.daysHeld = 4321;
    const SecurityKey kept = MakeSecurityKey(2002, 1);
    results.records[kept] = sentinel;
    CRecordingSink sink;
    ASSERT_TRUE(market.Windows().StartMarketAnalysis(market.Matrix(), results, &sink));
    market.Windows().JoinWorker();
    EXPECT_EQ(results.records.size(), 5u);
    EXPECT_EQ(results.records[kept].daysHeld, 4321);
    EXPECT_NE(results.records[MakeSecurityKey(2001, 1)].daysHeld, 4321);
}

TEST(MarketAnalysis, DestructionStopsARunningWorker) {
    auto matrix = ManySecurities(80).Build();
    AnalysisResults results;
    CGateSink sink;
    {
        // Declared first so that it is joined only after `windows` has stopped its worker,
        // which needs the release this thread gives.
        std::jthread releaser;
        CMarketWindows windows;
        windows.MapMarketWindows(*matrix, nullptr, nullptr);
        ASSERT_TRUE(windows.StartMarketAnalysis(*matrix, results, &sink));
        sink.reached.Wait();
        CEvent* cancel = &windows.CancelEvent();
        // Let the worker go on only once destruction has asked it to stop.
        releaser = std::jthread([&sink, cancel](std::stop_token stop) {
            while (!cancel->IsSet() && !stop.stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sink.release.Set();
        });
    }
    EXPECT_EQ(results.records.size(), 35u);
}

TEST(MappingAndReplay, AgreeOnTheSampleMarket) {
    CMarketMatrix matrix;
    SampleMarketOptions options;
    options.years = 2;
    options.securities = 40;
    ASSERT_TRUE(BuildSampleMarket(matrix, options));
    CMarketWindows windows;
    ASSERT_TRUE(windows.MapMarketWindows(matrix, nullptr, nullptr));
    CWindowsPerformer performer;
    std::size_t checked = 0, windowsSeen = 0;
    windows.CountsMap(PeriodKind::Daily).ForEach([&](SecurityKey key, const WindowCounts& counts) {
        SCOPED_TRACE(CodeOfKey(key));
        ASSERT_TRUE(windows.AnalyseListingByKey(matrix, key, PeriodKind::Daily, performer, true));
        WindowCounts replayed;
        for (const WindowStateRecord& r : performer.History()) {
            replayed.upOpened += r.state == kUpWindowOpened;
            replayed.downOpened += r.state == kDownWindowOpened;
            replayed.upFilled += r.state == kUpWindowFilled;
            replayed.downFilled += r.state == kDownWindowFilled;
        }
        EXPECT_EQ(replayed.upOpened, counts.upOpened);
        EXPECT_EQ(replayed.downOpened, counts.downOpened);
        EXPECT_EQ(replayed.upFilled, counts.upFilled);
        EXPECT_EQ(replayed.downFilled, counts.downFilled);
        // A completed replay sets the last day's shape.
        EXPECT_NE(performer.FindResult(key)->candleShape, 0);
        windowsSeen += performer.WindowCount();
        ++checked;
    });
    EXPECT_GT(checked, 30u);
    EXPECT_GT(windowsSeen, checked);
}

// Runs vornctl with arguments; the exit status and standard output.
std::pair<int, std::string> RunCtl(const std::string& arguments) {
    const std::string command = std::string(VORN_CTL_PATH) + " " + arguments + " 2>/dev/null";
    return test::RunCommandLine(command);
}

TEST(AnalyseCommand, PrintsTheRecordAndTheMarket) {
    const auto directory =
        std::filesystem::temp_directory_path() / ("vorn_analyse_" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    const auto path = directory / "Market.kbx";
    auto matrix = ManySecurities(3).Security(7, 2, kFirstDay, {{50, 51, 49, 50, 5}}).Build();
    ASSERT_EQ(GenerateMatrix(*matrix, path, nullptr, nullptr), kMatrixOk);

    const auto [status, output] = RunCtl("analyse " + path.string() + " 2001 1");
    EXPECT_EQ(status, 0);
    const auto lines = test::SplitLines(output);
    const std::vector<std::string> heads = {
        "signal=",       "signalLaw=",      "position=",     "daysHeld=",    "lastEventSignal=",
        "lastEventLaw=", "daysSinceEvent=", "annualReturn=", "annualRisk=",  "beta=",
        "law.1=",        "law.2=",          "law.4=",        "law.8=",       "law.16=",
        "law.32=",       "law.64=",         "law.128=",      "candleShape=", "volumeChange=",
        "latestWindows="};
    ASSERT_GE(lines.size(), heads.size());
    for (std::size_t i = 0; i < heads.size(); ++i)
        EXPECT_EQ(lines[i].rfind(heads[i], 0), 0u) << lines[i];
    EXPECT_EQ(lines[2], "position=6");
    EXPECT_EQ(lines[10], "law.1=0,1,0,-0.1415929204");
    // Days are dates, not positions in the series.
    EXPECT_EQ(lines[heads.size()], "window 0: 1 2007/01/05 106");
    EXPECT_NE(output.find("\nposition 2007/01/05: 1 1 113\n"), std::string::npos) << output;
    EXPECT_NE(output.find("\nposition 2007/01/10: 2 3 97\n"), std::string::npos);
    EXPECT_EQ(output.find("4294967295"), std::string::npos);

    EXPECT_EQ(RunCtl("analyse " + path.string() + " 2001 5").first, 1);

    const auto [allStatus, all] = RunCtl("analyse " + path.string() + " --all");
    EXPECT_EQ(allStatus, 0);
    const auto rows = test::SplitLines(all);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].rfind("0007,2,", 0), 0u) << rows[0];
    EXPECT_EQ(rows[1].rfind("2000,1,2,3,6,2,", 0), 0u) << rows[1];
    EXPECT_EQ(std::count(rows[1].begin(), rows[1].end(), ','), 17 + 8 * 4);
    std::filesystem::remove_all(directory);
}

} // namespace
} // namespace vorn
