#include "acquisition/startup_sequence.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <random>

#include "acquisition/matrix_publisher.h"
#include "acquisition/matrix_writer.h"
#include "acquisition/static_http_server.h"
#include "foundation/profile_file.h"
#include "gaps/market_windows.h"
#include "matrix/matrix_file.h"
#include "support/answer_chooser.h"
#include "support/http_test_server.h"
#include "support/market_builder.h"
#include "support/recording_sink.h"
#include "support/test_files.h"

namespace vorn {
namespace {

using vorn::test::ReadWholeFile;
using vorn::test::WriteWholeFile;

namespace fs = std::filesystem;
using test::CHttpTestServer;
using test::CMarketBuilder;
using test::HttpTestResponse;
using test::Ohlcv;
using Values = std::vector<std::intptr_t>;

// A bound that only a hang reaches; the sequences here end in well under a second.
constexpr int kHangGuardMs = 30000;
constexpr int kAllDays = 600;
constexpr int kOldDays = 590;
const std::vector<PackedDate> kCalendar = test::Weekdays(MakePackedDate(2006, 1, 4), kAllDays);

// A level that jumps every week, so every security opens windows.
// The market as it stood after `days` trading days; the later days only add to it, and a
// security is listed among the last new days.
std::unique_ptr<CMarketMatrix> Market(int days) {
    const std::vector<PackedDate> calendar(kCalendar.begin(), kCalendar.begin() + days);
    CMarketBuilder builder;
    builder.Calendar(calendar)
        .Security(1301, 1, calendar[0], test::SteppedRows(days, 200))
        .Security(7203, 1, calendar[0], test::SteppedRows(days, 3000))
        .Security(7203, 2, calendar[100], test::SteppedRows(days - 100, 3010));
    if (days > kOldDays + 2)
        builder.Security(9984, 1, calendar[kOldDays + 2],
                         test::SteppedRows(days - kOldDays - 2, 500));
    return builder.Build();
}

using vorn::test::CAnswerChooser;

// One start-up of the application against the profile and matrix file of a data folder.
struct CStartupRun {
    CStartupRun(const fs::path& data, const fs::path& temporary, const std::string& server,
                unsigned answer = 0, bool local = false)
        : profile(data / "Vorn.ini"), chooser(answer) {
        profile.SetString(kProfileSection, kProfileServer, server);
        config = ReadStartupProfile(profile, data);
        if (local)
            config.flags |= kAppLocalMode;
        loader.SetTemporaryDirectory(temporary);
        loader.SetTimeouts(2000, 300);
    }

    bool Run(const std::function<void(CStartupSequence&)>& whileRunning = {}) {
        CStartupSequence sequence(profile, loader, matrix, windows, sink);
        sequence.SetChooser(&chooser);
        sequence.SetPauses(StartupPauses::None());
        if (!sequence.Start(config))
            return false;
        if (whileRunning)
            whileRunning(sequence);
        const bool ended = sequence.Wait(kHangGuardMs);
        EXPECT_TRUE(ended) << "the start-up did not end";
        succeeded = sequence.Succeeded();
        result = sequence.Result();
        flags = sequence.Flags();
        checkResult = sequence.CheckResult();
        updateResult = sequence.UpdateResult();
        return ended && succeeded;
    }

    StartupProgressView View() const {
        StartupProgressView view;
        for (const auto& m : sink.Messages()) {
            const bool text = m.wParam == kProgressText || m.wParam == kProgressFailureText;
            ApplyStartupMessage(view, m.message, m.wParam, m.lParam,
                                text ? reinterpret_cast<const char*>(m.lParam) : nullptr);
        }
        return view;
    }
    bool Showed(const char* text) const {
        for (std::intptr_t t : sink.Values(kProgressText))
            if (std::strcmp(reinterpret_cast<const char*>(t), text) == 0)
                return true;
        return false;
    }
    std::uint32_t Profile(const char* name) {
        return profile.GetInteger(kProfileSection, name, 0xDEADBEEF);
    }

    CProfileFile profile;
    CAnswerChooser chooser;
    CMarketMatrixLoader loader;
    CMarketMatrix matrix;
    CMarketWindows windows;
    test::CRecordingSink sink;
    StartupConfig config;
    bool succeeded = false;
    StartupOutcome result = kStartupOk;
    AcquisitionResult checkResult = kAcquisitionOk;
    AcquisitionOutcome updateResult = kAcquisitionOk;
    std::uint32_t flags = 0;
};

class StartupSequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        root_ = fs::temp_directory_path() / ("vorn_startup_" + std::to_string(random()));
        data_ = root_ / "data";
        tree_ = root_ / "tree";
        temporary_ = root_ / "tmp";
        for (const fs::path& p : {data_, tree_, temporary_})
            fs::create_directories(p);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void Publish(int days, unsigned updates = 15, std::vector<unsigned> years = {1, 3}) {
        PublishOptions options;
        options.years = std::move(years);
        options.updates = updates;
        ASSERT_EQ(PublishMatrix(*Market(days), tree_, options, &index_), kPublishOk);
    }
    fs::path PackageFile(unsigned years) const {
        char name[16];
        std::snprintf(name, sizeof name, "_%02u.kbx", years);
        return tree_ / "vorn/MarketMatrix" / index_.directory / name;
    }
    // The published tree in a test server, where single responses can be made to misbehave.
    void ServeTree(CHttpTestServer& server) const {
        for (const auto& entry : fs::recursive_directory_iterator(tree_))
            if (entry.is_regular_file())
                server.Serve("/" + entry.path().lexically_relative(tree_).generic_string(),
                             ReadWholeFile(entry.path()));
    }
    fs::path MatrixPath() const { return data_ / kDefaultMatrixFileName; }
    bool TemporaryIsEmpty() const { return fs::is_empty(temporary_); }

    fs::path root_, data_, tree_, temporary_;
    MatrixIndex index_;
};

TEST_F(StartupSequenceTest, FirstRunDownloadsTheChosenPackageThenTheKnownOne) {
    Publish(kAllDays);
    CStaticHttpServer server(tree_);
    ASSERT_TRUE(server.Start());
    const PackedDate oneYear = PackageFirstDay(Market(kAllDays)->DailyCalendar(), 1);
    {
        CStartupRun run(data_, temporary_, server.Host(), 1);
        EXPECT_TRUE(run.config.flags & kAppFirstRun);
        ASSERT_TRUE(run.Run()) << run.View().status;
        EXPECT_EQ(run.chooser.calls, 1);
        EXPECT_EQ(run.chooser.offered, 2u);
        EXPECT_EQ(*run.matrix.DailyCalendar().First(), oneYear);
        EXPECT_EQ(*run.matrix.DailyCalendar().Last(), kCalendar.back());
        EXPECT_EQ(run.Profile(kProfileFirst), oneYear);
        EXPECT_EQ(run.Profile(kProfileVersion), index_.version);
        EXPECT_GT(run.windows.CountsMap().Size(), 0u);
        EXPECT_FALSE(run.flags & kAppMatrixChanged);
        EXPECT_EQ(run.updateResult, AcquisitionOutcome{kAcquisitionNoUpdate});
        EXPECT_EQ(run.sink.Values(kProgressOverall), (Values{25, 35, 45, 55, 75, 100}));
        EXPECT_EQ(
            run.sink.Values(kProgressStepState),
            (Values{kStepInitial, kStepChecking, kStepRestoring, kStepUpdating, kStepMapping}));
        EXPECT_TRUE(run.Showed(kTextStartupRecovery));
        EXPECT_EQ(run.sink.Messages().back().message, kMsgClose);
        EXPECT_FALSE(run.View().failureColours);
        EXPECT_TRUE(TemporaryIsEmpty());
    }

    // The file is lost: the package that holds "First" comes back without asking.
    fs::remove(MatrixPath());
    CStartupRun again(data_, temporary_, server.Host(), 0);
    EXPECT_FALSE(again.config.flags & kAppFirstRun);
    ASSERT_TRUE(again.Run()) << again.View().status;
    EXPECT_EQ(again.chooser.calls, 0);
    EXPECT_EQ(*again.matrix.DailyCalendar().First(), oneYear);
}

TEST_F(StartupSequenceTest, CancelledOrUnavailableChoiceFailsTheStartUp) {
    Publish(kAllDays);
    CStaticHttpServer server(tree_);
    ASSERT_TRUE(server.Start());
    CStartupRun cancelled(data_, temporary_, server.Host(), 0);
    EXPECT_FALSE(cancelled.Run());
    EXPECT_EQ(cancelled.result, StartupOutcome{kAcquisitionChoiceCancelled});
    EXPECT_EQ(cancelled.chooser.calls, 1);
    const StartupProgressView view = cancelled.View();
    EXPECT_EQ(view.status, kTextStartupRestoreFailed);
    EXPECT_TRUE(view.failureColours);
    EXPECT_TRUE(view.stepState & kStepFailed);
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(fs::exists(MatrixPath()));

    // More years than any package holds.
    CStartupRun tooMany(data_, temporary_, server.Host(), 20);
    EXPECT_FALSE(tooMany.Run());
    EXPECT_EQ(tooMany.result, StartupOutcome{kAcquisitionPackageFailed});
}

TEST_F(StartupSequenceTest, LaterRunMergesTheUpdateMapsItAndWritesTheFileBack) {
    Publish(kOldDays);
    CStaticHttpServer server(tree_);
    ASSERT_TRUE(server.Start());
    {
        CStartupRun first(data_, temporary_, server.Host(), 3);
        ASSERT_TRUE(first.Run()) << first.View().status;
        EXPECT_EQ(first.matrix.DailyCalendar().Count(), kOldDays);
    }
    const std::string before = ReadWholeFile(MatrixPath());

    Publish(kAllDays);
    CStartupRun later(data_, temporary_, server.Host());
    ASSERT_TRUE(later.Run()) << later.View().status;
    EXPECT_EQ(later.updateResult, AcquisitionOutcome{kAcquisitionOk});
    EXPECT_TRUE(later.flags & kAppMatrixChanged);
    EXPECT_EQ(later.matrix.DailyCalendar().Count(), kAllDays);
    EXPECT_NE(later.matrix.FindSecurity(MakeSecurityKey(9984, 1)), nullptr);
    // The new days were mapped: the security listed among them has its counters.
    EXPECT_EQ(later.windows.CountsMap().Size(), 4u);
    EXPECT_TRUE(TemporaryIsEmpty());
    // Nothing is written back before the exit step asks for it.
    EXPECT_EQ(ReadWholeFile(MatrixPath()), before);

    CMatrixWriter writer;
    ASSERT_TRUE(writer.Start(later.matrix, MatrixPath()));
    EXPECT_EQ(writer.Finish(), kMatrixOk);
    CMarketMatrix written;
    ASSERT_EQ(RestoreMatrix(written, MatrixPath(), nullptr, nullptr), kMatrixOk);
    const auto expected = Market(kAllDays);
    ASSERT_EQ(written.Securities().size(), expected->Securities().size());
    EXPECT_EQ(written.DailyCalendar().Count(), kAllDays);
    for (const auto& [key, security] : expected->Securities()) {
        const SecurityRecord* got = written.FindSecurity(key);
        ASSERT_NE(got, nullptr) << key;
        EXPECT_EQ(got->lastDate, security.lastDate);
        ASSERT_EQ(got->prices.ByteSize(), security.prices.ByteSize());
        EXPECT_EQ(std::memcmp(got->prices.data.get(), security.prices.data.get(),
                              security.prices.ByteSize()),
                  0);
    }
}

TEST_F(StartupSequenceTest, UpdateThatWouldLeaveAHoleIsNotApplied) {
    ASSERT_EQ(GenerateMatrix(*Market(kOldDays), MatrixPath(), nullptr, nullptr), kMatrixOk);
    // Updates for the last three days only: the local matrix misses seven days before them.
    Publish(kAllDays, 3);
    CStaticHttpServer server(tree_);
    ASSERT_TRUE(server.Start());
    CStartupRun run(data_, temporary_, server.Host());
    ASSERT_TRUE(run.Run()) << run.View().status;
    EXPECT_EQ(run.updateResult, AcquisitionOutcome{kAcquisitionUpdateFailed});
    EXPECT_FALSE(run.flags & kAppMatrixChanged);
    EXPECT_EQ(run.matrix.DailyCalendar().Count(), kOldDays);
    EXPECT_EQ(server.RequestCount(), 1u); // the index only
}

TEST_F(StartupSequenceTest, LocalModeNeverTouchesTheNetwork) {
    Publish(kAllDays);
    CStaticHttpServer server(tree_);
    ASSERT_TRUE(server.Start());
    {
        CStartupRun missing(data_, temporary_, server.Host(), 1, true);
        EXPECT_FALSE(missing.Run());
        EXPECT_EQ(missing.result, StartupOutcome{kMatrixCannotOpen});
        EXPECT_EQ(missing.View().status, kTextStartupRestoreFailed);
        EXPECT_EQ(missing.chooser.calls, 0);
    }
    EXPECT_EQ(server.RequestCount(), 0u);

    ASSERT_EQ(GenerateMatrix(*Market(kOldDays), MatrixPath(), nullptr, nullptr), kMatrixOk);
    CStartupRun local(data_, temporary_, server.Host(), 1, true);
    ASSERT_TRUE(local.Run()) << local.View().status;
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_TRUE(local.Showed(kTextStartupLocalMode));
    EXPECT_TRUE(local.Showed(kTextStartupRestore));
    EXPECT_EQ(local.sink.Values(kProgressOverall), (Values{55, 75, 100}));
    EXPECT_EQ(local.matrix.DailyCalendar().Count(), kOldDays);
    EXPECT_FALSE(local.flags & kAppMatrixChanged);
}

TEST_F(StartupSequenceTest, UnreachableServerKeepsTheLocalMatrixAsItIs) {
    ASSERT_EQ(GenerateMatrix(*Market(kOldDays), MatrixPath(), nullptr, nullptr), kMatrixOk);
    CStartupRun run(data_, temporary_,
                    "127.0.0.1:" + std::to_string(CHttpTestServer::UnusedPort()));
    ASSERT_TRUE(run.Run()) << run.View().status;
    EXPECT_EQ(run.checkResult, kAcquisitionIndexNotFetched);
    EXPECT_EQ(run.updateResult, AcquisitionOutcome{kAcquisitionNoUpdate});
    EXPECT_EQ(run.sink.Values(kProgressOverall), (Values{25, 55, 75, 100}));
    EXPECT_EQ(run.matrix.DailyCalendar().Count(), kOldDays);
}

TEST_F(StartupSequenceTest, ErrorPageForAPackageLeavesTheLocalFileUntouched) {
    Publish(kAllDays);
    fs::remove(PackageFile(1));
    fs::remove(PackageFile(3));
    CStaticHttpServer server(tree_);
    ASSERT_TRUE(server.Start());

    // A damaged local file and a known first day: the package is fetched without asking.
    const std::string damaged = ReadWholeFile(fs::path(VORN_SOURCE_DIR) / "CMakeLists.txt");
    WriteWholeFile(MatrixPath(), damaged);
    {
        CStartupRun run(data_, temporary_, server.Host(), 1);
        run.profile.SetInteger(kProfileSection, kProfileFirst, kCalendar[0]);
        EXPECT_FALSE(run.Run());
        EXPECT_EQ(run.result, StartupOutcome{kAcquisitionKnownPackageFailed});
        EXPECT_EQ(run.chooser.calls, 0);
        // The restore failure was shown with its code before the recovery.
        EXPECT_EQ(run.sink.Values(kProgressFailure), (Values{ResultCode(kMatrixBadHeader)}));
    }
    EXPECT_EQ(ReadWholeFile(MatrixPath()), damaged);

    CStartupRun chosen(data_, temporary_, server.Host(), 1);
    chosen.profile.SetInteger(kProfileSection, kProfileFirst, 0);
    EXPECT_FALSE(chosen.Run());
    EXPECT_EQ(chosen.result, StartupOutcome{kAcquisitionPackageFailed});
    EXPECT_EQ(ReadWholeFile(MatrixPath()), damaged);
    EXPECT_TRUE(TemporaryIsEmpty());
}

TEST_F(StartupSequenceTest, CancelStopsTheRestoreWithoutReplacingTheFile) {
    Publish(kAllDays);
    CHttpTestServer server;
    ASSERT_TRUE(server.IsListening());
    ServeTree(server);
    HttpTestResponse slowIndex;
    slowIndex.body = ReadWholeFile(tree_ / "vorn/MarketMatrix/MarketMatrix.idx");
    slowIndex.delay = std::chrono::milliseconds(300);
    server.Serve("/vorn/MarketMatrix/MarketMatrix.idx", slowIndex);
    ASSERT_EQ(GenerateMatrix(*Market(kOldDays), MatrixPath(), nullptr, nullptr), kMatrixOk);
    const std::string before = ReadWholeFile(MatrixPath());

    CStartupRun run(data_, temporary_, server.Host(), 1);
    // Pressed while the index is on its way: downloads run on, the restore stops.
    EXPECT_FALSE(run.Run([](CStartupSequence& sequence) { sequence.Cancel(); }));
    EXPECT_EQ(run.result, StartupOutcome{kMatrixCancelled});
    const StartupProgressView view = run.View();
    EXPECT_EQ(view.status, kTextStartupRestoreFailed);
    EXPECT_TRUE(view.stepState & kStepFailed);
    EXPECT_EQ(run.sink.Values(kProgressFailure), (Values{ResultCode(kMatrixCancelled)}));
    EXPECT_EQ(server.Requests().size(), 1u); // the index only
    EXPECT_EQ(ReadWholeFile(MatrixPath()), before);
}

TEST_F(StartupSequenceTest, StalledDownloadEndsInATimeOut) {
    Publish(kAllDays);
    CHttpTestServer server;
    ASSERT_TRUE(server.IsListening());
    ServeTree(server);
    HttpTestResponse stall;
    stall.body = ReadWholeFile(PackageFile(1));
    stall.ending = HttpTestResponse::Ending::StallMidway;
    stall.cutAfter = 64;
    server.Serve("/" + PackageFile(1).lexically_relative(tree_).generic_string(), stall);

    CStartupRun run(data_, temporary_, server.Host(), 1);
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(run.result, StartupOutcome{kAcquisitionPackageFailed});
    EXPECT_FALSE(fs::exists(MatrixPath()));
    // What arrived is kept for the next attempt to continue from, and nothing else.
    std::vector<fs::path> left;
    for (const auto& entry : fs::directory_iterator(temporary_))
        left.push_back(entry.path());
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].filename(), PackageFile(1).filename().string() + ".part");
    EXPECT_EQ(fs::file_size(left[0]), 64u);
}

// The progress window shows only the number; the outcome still tells which module decided,
// so a missing local file is never read as a failed download.
TEST(StartupOutcome, KeepsTheCodesOfDifferentModulesApart) {
    const StartupOutcome restore = kMatrixCannotOpen;
    const StartupOutcome download = kAcquisitionKnownPackageFailed;
    EXPECT_EQ(ResultCode(restore), ResultCode(download));
    EXPECT_NE(restore, download);
    EXPECT_NE(Describe(restore), Describe(download));
    EXPECT_EQ(Describe(StartupOutcome{kMergeNoNewDays}), Describe(kMergeNoNewDays));
    EXPECT_EQ(ResultCode(StartupOutcome{kStartupMappingFailed}), 1u);
}

TEST(StartupProgress, FailureTextsFollowTheStepState) {
    EXPECT_EQ(FormatStartupFailure(kStepInitial, 3), "初期化失敗 [エラー：3]");
    EXPECT_EQ(FormatStartupFailure(kStepChecking, 10), "起動準備失敗 [エラー：10]");
    EXPECT_EQ(FormatStartupFailure(kStepRestoring, 22), "リストア失敗 [エラー：22]");
    EXPECT_EQ(FormatStartupFailure(kStepUpdating, 31), "マーケットマトリクス更新失敗 [エラー：31]");
    EXPECT_EQ(FormatStartupFailure(kStepMapping, 1), "窓分析失敗 [エラー：1]");
    EXPECT_EQ(FormatStartupFailure(0x800, 7), "不明なエラー [エラー：7]");

    StartupProgressView view;
    ApplyStartupMessage(view, kMsgProgress, kProgressStepState, kStepMapping, nullptr);
    ApplyStartupMessage(view, kMsgProgress, kProgressPercent, 250, nullptr);
    EXPECT_EQ(view.stepBar, 100);
    ApplyStartupMessage(view, kMsgProgress, kProgressFailure, 254, nullptr);
    EXPECT_EQ(view.status, "窓分析失敗 [エラー：254]");
    EXPECT_TRUE(view.failureColours);
    ApplyStartupMessage(view, kMsgProgress, kProgressText, 0, "x");
    EXPECT_FALSE(view.failureColours);
    EXPECT_FALSE(view.closed);
    ApplyStartupMessage(view, kMsgClose, 0, 0, nullptr);
    EXPECT_TRUE(view.closed);
}

TEST(StartupProfile, EmptyMatrixPathIsAFirstRunWithTheDefaultFile) {
    std::random_device random;
    const fs::path dir =
        fs::temp_directory_path() / ("vorn_startup_profile_" + std::to_string(random()));
    fs::create_directories(dir);
    {
        CProfileFile profile(dir / "Vorn.ini");
        profile.SetInteger(kProfileSection, kProfileSetting,
                           kSettingLocalMode | kSettingWhiteChart);
        StartupConfig config = ReadStartupProfile(profile, dir);
        EXPECT_EQ(config.flags, kAppFirstRun | kAppLocalMode);
        EXPECT_EQ(config.matrixPath, dir / "Market.kbx");
        EXPECT_EQ(profile.GetString(kProfileSection, kProfileMatrix),
                  (dir / "Market.kbx").string());
        config = ReadStartupProfile(profile, dir / "elsewhere");
        EXPECT_EQ(config.flags, kAppLocalMode);
        EXPECT_EQ(config.matrixPath, dir / "Market.kbx");
    }
    fs::remove_all(dir);
}

TEST(MatrixWriter, FailedGenerationNeverLeavesTheCallerWaiting) {
    auto market = Market(kOldDays);
    CMatrixWriter writer;
    EXPECT_EQ(writer.Finish(), kMatrixOk); // no writer: nothing to wait for
    ASSERT_TRUE(writer.Start(*market, "/nonexistent-folder/Market.kbx"));
    EXPECT_EQ(writer.Finish(), kMatrixCannotOpen);
    EXPECT_TRUE(writer.CalendarWrittenEvent().IsSet());
    EXPECT_FALSE(writer.IsRunning());
}

} // namespace
} // namespace vorn
