// Start-up with the exchange's daily-data API as the market source, against a fake of the
// service on 127.0.0.1: the missing file is built under the start-up's progress, the update
// step appends the new days and the file is written back, a failing server leaves the file
// as it was and says why, and a cancelled build goes on from its cache the next time.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <random>
#include <string>

#include "acquisition/jquants_source.h"
#include "acquisition/matrix_writer.h"
#include "acquisition/startup_sequence.h"
#include "foundation/profile_file.h"
#include "gaps/market_windows.h"
#include "matrix/matrix_file.h"
#include "support/fake_jquants_service.h"
#include "support/run_command.h"
#include "support/test_files.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;
using test::CFakeService;

constexpr int kHangGuardMs = 60000;

// Keeps every message with a copy of its text, and lets a test act on a text as it comes.
class CTextSink final : public IMessageSink {
public:
    struct Item {
        std::uint32_t message;
        std::uintptr_t wParam;
        std::intptr_t lParam;
        std::string text;
    };
    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        Item item{message, wParam, lParam, {}};
        if (message == kMsgProgress &&
            (wParam == kProgressText || wParam == kProgressFailureText ||
             wParam == kProgressDetailText) &&
            lParam != 0)
            item.text = reinterpret_cast<const char*>(lParam);
        std::function<void(const std::string&)> onText;
        {
            std::lock_guard lock(mutex_);
            items_.push_back(item);
            onText = onText_;
        }
        if (onText && !item.text.empty())
            onText(item.text);
    }
    void OnText(std::function<void(const std::string&)> onText) {
        std::lock_guard lock(mutex_);
        onText_ = std::move(onText);
    }
    std::vector<Item> Items() const {
        std::lock_guard lock(mutex_);
        return items_;
    }
    bool Showed(const std::string& start) const {
        for (const Item& item : Items())
            if (item.text.rfind(start, 0) == 0)
                return true;
        return false;
    }
    StartupProgressView View() const {
        StartupProgressView view;
        for (const Item& item : Items())
            ApplyStartupMessage(view, item.message, item.wParam, item.lParam, item.text.c_str());
        return view;
    }

private:
    mutable std::mutex mutex_; // guards items_ and onText_
    std::vector<Item> items_;
    std::function<void(const std::string&)> onText_;
};

class JQuantsStartupTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::unsetenv("JQUANTS_API_KEY");
        std::random_device random;
        data_ = fs::temp_directory_path() / ("vorn_jquants_startup_" + std::to_string(random()));
        fs::create_directories(data_);
        service_.tooManyAt = 0;
        service_.failAt = 0;
        CProfileFile profile(data_ / "Vorn.ini");
        profile.SetString(kProfileSection, kProfileDataSource, kDataSourceJQuants);
        profile.SetString(kProfileSection, kProfileJQuantsPlan, "light");
        profile.SetString(kProfileSection, kProfileJQuantsBaseUrl, service_.BaseUrl());
        profile.SetInteger(kProfileSection, kProfileJQuantsRate, 60000);
        std::string error;
        ASSERT_TRUE(SaveJQuantsKey(data_, test::kJQuantsKey, error)) << error;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(data_, ignored);
    }

    // One start-up of the data folder; the updated matrix is written back as the exit step
    // does.
    struct Run {
        bool succeeded = false;
        StartupOutcome result = kStartupOk;
        AcquisitionOutcome updateResult = kAcquisitionOk;
        std::uint32_t flags = 0;
        std::string sourceFailure;
        StartupProgressView view;
        CMarketMatrix matrix;
    };
    void StartUp(Run& run, const std::function<void(CStartupSequence&, CTextSink&)>& before = {}) {
        CProfileFile profile(data_ / "Vorn.ini");
        const StartupConfig config = ReadStartupProfile(profile, data_);
        CMarketMatrixLoader loader;
        CMarketWindows windows;
        CTextSink sink;
        {
            CStartupSequence sequence(profile, loader, run.matrix, windows, sink);
            sequence.SetPauses(StartupPauses::None());
            if (before)
                before(sequence, sink);
            ASSERT_TRUE(sequence.Start(config));
            ASSERT_TRUE(sequence.Wait(kHangGuardMs)) << "the start-up did not end";
            run.succeeded = sequence.Succeeded();
            run.result = sequence.Result();
            run.updateResult = sequence.UpdateResult();
            run.flags = sequence.Flags();
            run.sourceFailure = sequence.SourceFailure();
        }
        run.view = sink.View();
        texts_.clear();
        for (const auto& item : sink.Items())
            if (!item.text.empty())
                texts_.push_back(item.text);
        if ((run.flags & kAppMatrixChanged) != 0) {
            CMatrixWriter writer;
            ASSERT_TRUE(writer.Start(run.matrix, data_ / kDefaultMatrixFileName));
            ASSERT_EQ(writer.Finish(), kMatrixOk);
        }
    }
    bool ShowedText(const std::string& start) const {
        for (const std::string& text : texts_)
            if (text.rfind(start, 0) == 0)
                return true;
        return false;
    }
    std::string AllTexts() const {
        std::string all;
        for (const std::string& text : texts_)
            all += text + '\n';
        return all;
    }
    // How often each query was answered with rows or a refusal, the calendar left out (it is
    // asked on every run by design).
    std::map<std::string, int> AnsweredTwice() {
        std::map<std::string, int> seen;
        for (const test::LoggedRequest& request : service_.Log())
            if (request.status == 200 &&
                request.target.find("/markets/calendar") == std::string::npos)
                ++seen[request.target + " " + request.page];
        std::map<std::string, int> twice;
        for (const auto& [target, count] : seen)
            if (count > 1)
                twice[target] = count;
        return twice;
    }
    fs::path MatrixPath() const { return data_ / kDefaultMatrixFileName; }
    // A first start that builds the file from the service's first three days; the bytes of
    // that file, empty when the start failed.
    std::string BuildFirstDays() {
        service_.lastTradingDay = 3;
        Run first;
        StartUp(first);
        EXPECT_TRUE(first.succeeded) << first.view.status;
        return first.succeeded ? test::ReadWholeFile(MatrixPath()) : std::string();
    }

    CFakeService service_;
    fs::path data_;
    std::vector<std::string> texts_;
};

std::string Describe(const CMarketMatrix& m) {
    std::string text;
    for (std::size_t i = 0; i < m.DailyCalendar().Count(); ++i)
        text += std::to_string(m.DailyCalendar()[i]) + ' ';
    for (const auto& [key, security] : m.Securities())
        text += '\n' + std::to_string(key) + ':' + std::to_string(security.firstDate) + '-' +
                std::to_string(security.lastDate) + '/' + std::to_string(security.prices.count);
    return text;
}

TEST_F(JQuantsStartupTest, BuildsTheMissingFileThenTheUpdateStepAppendsTheNewDays) {
    service_.lastTradingDay = 3;
    Run first;
    StartUp(first);
    ASSERT_TRUE(first.succeeded) << first.view.status;
    EXPECT_TRUE(ShowedText(kTextStartupJQuantsBuild)) << AllTexts();
    EXPECT_TRUE(ShowedText("J-Quants API: 日足 2024/03/01 [取得 ")) << AllTexts();
    ASSERT_TRUE(fs::exists(MatrixPath()));
    ASSERT_NE(first.matrix.DailyCalendar().Last(), nullptr);
    EXPECT_EQ(*first.matrix.DailyCalendar().Last(), MakePackedDate(2024, 3, 5));
    // The file built is the one restored: nothing to write back.
    EXPECT_EQ(first.flags & kAppMatrixChanged, 0u);

    service_.lastTradingDay = 5;
    Run second;
    StartUp(second);
    ASSERT_TRUE(second.succeeded) << second.view.status;
    EXPECT_TRUE(ShowedText(kTextStartupJQuantsUpdate)) << AllTexts();
    EXPECT_TRUE(ShowedText("J-Quants API: 日足 2024/03/06")) << AllTexts();
    EXPECT_EQ(second.updateResult, AcquisitionOutcome{kAcquisitionOk});
    EXPECT_EQ(second.flags & kAppMatrixChanged, kAppMatrixChanged);
    EXPECT_EQ(second.view.overallBar, 100);
    EXPECT_FALSE(second.view.failureColours);
    // The days of the first build came from its cache.
    int firstDayAsked = 0;
    for (const test::LoggedRequest& request : service_.Log())
        firstDayAsked +=
            request.target == "/v2/equities/bars/daily?date=2024-03-01" && request.page.empty();
    EXPECT_EQ(firstDayAsked, 1);

    // What was written back equals a build of every day at once.
    CMarketMatrix written;
    ASSERT_EQ(RestoreMatrix(written, MatrixPath(), nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(*written.DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
    JQuantsBuildOptions options;
    CProfileFile profile(data_ / "Vorn.ini");
    std::string error;
    ASSERT_TRUE(ReadJQuantsSource(profile, data_, options, error)) << error;
    const fs::path whole = data_ / "whole" / "Market.kbx";
    fs::create_directories(whole.parent_path());
    JQuantsBuildReport report;
    ASSERT_EQ(BuildJQuantsFile(options, whole, report), JQuantsBuildResult::Ok) << report.error;
    CMarketMatrix expected;
    ASSERT_EQ(RestoreMatrix(expected, whole, nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(Describe(written), Describe(expected));

    // Nothing new: the next start changes nothing.
    Run third;
    StartUp(third);
    ASSERT_TRUE(third.succeeded) << third.view.status;
    EXPECT_EQ(third.updateResult, AcquisitionOutcome{kAcquisitionNoUpdate});
    EXPECT_EQ(third.flags & kAppMatrixChanged, 0u);
}

TEST_F(JQuantsStartupTest, AFailingServerSaysWhereAndWhyAndLeavesTheFileAsItWas) {
    const std::string before = BuildFirstDays();
    ASSERT_FALSE(before.empty());

    service_.lastTradingDay = 5;
    service_.failFrom = service_.Requests() + 1;
    Run failed;
    StartUp(failed);
    // As with a failed update download, start-up goes on with the file it has.
    ASSERT_TRUE(failed.succeeded) << failed.view.status;
    EXPECT_EQ(failed.updateResult, AcquisitionOutcome{kAcquisitionUpdateFailed});
    EXPECT_EQ(failed.flags & kAppMatrixChanged, 0u);
    EXPECT_EQ(*failed.matrix.DailyCalendar().Last(), MakePackedDate(2024, 3, 5));
    const std::string shown =
        FormatStartupFailure(kStepUpdating, ResultCode(kAcquisitionUpdateFailed));
    EXPECT_TRUE(ShowedText(shown + " J-Quants API 127.0.0.1:")) << AllTexts();
    EXPECT_NE(failed.sourceFailure.find("/v2/markets/calendar?"), std::string::npos)
        << failed.sourceFailure;
    EXPECT_NE(failed.sourceFailure.find("HTTP 500: Internal Server Error"), std::string::npos)
        << failed.sourceFailure;
    EXPECT_EQ(AllTexts().find(test::kJQuantsKey), std::string::npos);
    EXPECT_EQ(failed.sourceFailure.find(test::kJQuantsKey), std::string::npos);
    EXPECT_EQ(test::ReadWholeFile(MatrixPath()), before);

    // A refused key is a failure too, in words, and still without the key.
    std::string error;
    ASSERT_TRUE(SaveJQuantsKey(data_, "WRONG-KEY-0001", error)) << error;
    service_.failFrom = 1 << 30;
    Run refused;
    StartUp(refused);
    ASSERT_TRUE(refused.succeeded) << refused.view.status;
    EXPECT_NE(refused.sourceFailure.find("HTTP 403"), std::string::npos) << refused.sourceFailure;
    EXPECT_EQ(refused.sourceFailure.find("WRONG-KEY-0001"), std::string::npos);
    EXPECT_EQ(test::ReadWholeFile(MatrixPath()), before);
}

// Escape as soon as the status shows a text starting with `shown`.
auto CancelWhenShown(std::string shown) {
    return [shown](CStartupSequence& sequence, CTextSink& sink) {
        sink.OnText([&sequence, shown](const std::string& text) {
            if (text.rfind(shown, 0) == 0)
                sequence.Cancel();
        });
    };
}

TEST_F(JQuantsStartupTest, ACancelledFirstBuildGoesOnFromItsCacheNextTime) {
    Run cancelled;
    // Escape while the bars of the third day are fetched.
    StartUp(cancelled, CancelWhenShown("J-Quants API: 日足 2024/03/05"));
    EXPECT_FALSE(cancelled.succeeded);
    EXPECT_EQ(cancelled.result, StartupOutcome{kMatrixCancelled});
    EXPECT_EQ(cancelled.view.status, kTextStartupJQuantsResume);
    EXPECT_TRUE(cancelled.view.stepState & kStepFailed);
    EXPECT_FALSE(fs::exists(MatrixPath()));

    Run resumed;
    StartUp(resumed);
    ASSERT_TRUE(resumed.succeeded) << resumed.view.status;
    EXPECT_EQ(*resumed.matrix.DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
    EXPECT_TRUE(AnsweredTwice().empty());
}

TEST_F(JQuantsStartupTest, EscapeDuringTheUpdateEndsTheStartUpAndKeepsTheFetchedDays) {
    const std::string before = BuildFirstDays();
    ASSERT_FALSE(before.empty());

    service_.lastTradingDay = 5;
    Run cancelled;
    StartUp(cancelled, CancelWhenShown("J-Quants API: 日足 2024/03/07"));
    EXPECT_FALSE(cancelled.succeeded);
    EXPECT_EQ(cancelled.result, StartupOutcome{kMatrixCancelled});
    EXPECT_EQ(cancelled.view.status, FormatStartupFailure(kStepUpdating, 254));
    EXPECT_TRUE(cancelled.view.failureColours);
    EXPECT_EQ(test::ReadWholeFile(MatrixPath()), before);

    const std::size_t asked = service_.Log().size();
    Run resumed;
    StartUp(resumed);
    ASSERT_TRUE(resumed.succeeded) << resumed.view.status;
    EXPECT_EQ(*resumed.matrix.DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
    // The bars of 03-06 came from the cache.
    const auto log = service_.Log();
    for (std::size_t i = asked; i < log.size(); ++i)
        EXPECT_NE(log[i].target, "/v2/equities/bars/daily?date=2024-03-06");
}

TEST_F(JQuantsStartupTest, WithoutAKeyTheFirstBuildFailsInWords) {
    fs::remove(data_ / kJQuantsKeyFileName);
    Run run;
    StartUp(run);
    EXPECT_FALSE(run.succeeded);
    EXPECT_EQ(run.view.status.rfind(kTextStartupRestoreFailed, 0), 0u) << run.view.status;
    EXPECT_NE(run.view.status.find("JQUANTS_API_KEY"), std::string::npos) << run.view.status;
    EXPECT_EQ(service_.Requests(), 0);
}

TEST_F(JQuantsStartupTest, TheProfileNamesTheSourceAndLocalSourcesFetchNothing) {
    CProfileFile profile(data_ / "Vorn.ini");
    StartupConfig config = ReadStartupProfile(profile, data_);
    EXPECT_EQ(config.source, kDataSourceJQuants);
    EXPECT_EQ(config.dataDirectory, data_);
    EXPECT_EQ(config.flags & kAppLocalMode, 0u);
    for (const char* local : {kDataSourceSample, kDataSourceCsv}) {
        profile.SetString(kProfileSection, kProfileDataSource, local);
        config = ReadStartupProfile(profile, data_);
        EXPECT_NE(config.flags & kAppLocalMode, 0u) << local;
    }
    // The profile's own bit stays the user's: nothing was written to it.
    EXPECT_EQ(profile.GetInteger(kProfileSection, kProfileSetting, 0), 0u);
}

// vornctl startup reads the same profile, so it takes the same source and says the same.
TEST_F(JQuantsStartupTest, VornctlStartupFetchesFromTheConfiguredSource) {
    service_.lastTradingDay = 3;
    const std::string command =
        std::string(VORN_CTL_PATH) + " startup --data-dir " + data_.string() + " </dev/null 2>&1";
    auto [status, output] = test::RunCommandLine(command);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find(kTextStartupJQuantsBuild), std::string::npos) << output;
    EXPECT_NE(output.find("startup: OK"), std::string::npos) << output;
    // Requests done and time left belong on a terminal's progress line, not one line each.
    EXPECT_EQ(output.find("J-Quants API: 日足"), std::string::npos) << output;

    service_.lastTradingDay = 5;
    std::tie(status, output) = test::RunCommandLine(command);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find(kTextStartupJQuantsUpdate), std::string::npos) << output;
    EXPECT_NE(output.find("matrix file: written"), std::string::npos) << output;
    CMarketMatrix written;
    ASSERT_EQ(RestoreMatrix(written, MatrixPath(), nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(*written.DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
    const std::string before = test::ReadWholeFile(MatrixPath());

    service_.failFrom = service_.Requests() + 1;
    std::tie(status, output) = test::RunCommandLine(command);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("! マーケットマトリクス更新失敗 [エラー：15] J-Quants API 127.0.0.1:"),
              std::string::npos)
        << output;
    EXPECT_NE(output.find("vornctl: startup: J-Quants API 127.0.0.1:"), std::string::npos)
        << output;
    EXPECT_EQ(output.find(test::kJQuantsKey), std::string::npos);
    EXPECT_EQ(test::ReadWholeFile(MatrixPath()), before);
    // The key is in its own file and nowhere else the runs left behind.
    EXPECT_TRUE(test::FilesHolding(data_, test::kJQuantsKey, data_ / kJQuantsKeyFileName).empty());
}

} // namespace
} // namespace vorn
