// vornctl startup: runs the application's start-up sequence without windows against the
// profile and the matrix file of a data folder, printing what the progress window would show.
#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <unistd.h>

#include "acquisition/matrix_writer.h"
#include "acquisition/startup_sequence.h"
#include "command.h"
#include "progress_line.h"
#include "foundation/profile_file.h"
#include "gaps/market_windows.h"

namespace vornctl {
namespace {

namespace fs = std::filesystem;

constexpr char kProfileFileName[] = "Vorn.ini";
constexpr int kInterruptPollMs = 100;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}

// Keeps each posted message, with a copy of its text taken at once: a posted text buffer may
// be reused by the poster before the main thread prints it.
class CQueueSink final : public vorn::IMessageSink {
public:
    struct Item {
        std::uint32_t message = 0;
        std::uintptr_t wParam = 0;
        std::intptr_t lParam = 0;
        std::string text;
    };

    void Post(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) override {
        Item item{message, wParam, lParam, {}};
        if (message == vorn::kMsgProgress &&
            (wParam == vorn::kProgressText || wParam == vorn::kProgressFailureText ||
             wParam == vorn::kProgressDetailText) &&
            lParam != 0)
            item.text = reinterpret_cast<const char*>(lParam);
        {
            std::lock_guard lock(mutex_);
            items_.push_back(std::move(item));
        }
        arrived_.notify_one();
    }
    bool Pop(Item& item, int timeoutMs) {
        std::unique_lock lock(mutex_);
        if (!arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                               [this] { return !items_.empty(); }))
            return false;
        item = std::move(items_.front());
        items_.pop_front();
        return true;
    }

private:
    std::mutex mutex_; // guards items_
    std::condition_variable arrived_;
    std::deque<Item> items_;
};

// Answers the package choice from --years, else asks on the terminal, else cancels.
class CCommandLineChooser final : public vorn::IPackageChooser {
public:
    explicit CCommandLineChooser(unsigned years) : years_(years) {}
    unsigned ChoosePackage(const vorn::MatrixIndex& index) override {
        if (years_ != 0 || !::isatty(STDIN_FILENO))
            return years_;
        std::printf("マーケットマトリクスのダウンロード\n分析に用いる株式情報を選択して下さい\n");
        for (const auto& [years, first] : index.packages)
            std::printf("  %u年間  %s ～\n", static_cast<unsigned>(years),
                        FormatDateArg(first).c_str());
        std::printf("年数: ");
        std::fflush(stdout);
        char line[64];
        if (std::fgets(line, sizeof line, stdin) == nullptr)
            return 0;
        unsigned chosen = 0;
        const auto [end, error] = std::from_chars(line, line + std::strlen(line), chosen);
        return error == std::errc() && (*end == '\n' || *end == '\0') ? chosen : 0;
    }

private:
    unsigned years_;
};

fs::path ProgramDirectory() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::current_path(error) : self.parent_path();
}

// The per-user profile when no data folder is given.
fs::path UserProfilePath(const fs::path& fallbackDirectory) {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/')
        return fs::path(config) / "vorn" / kProfileFileName;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/')
        return fs::path(home) / ".config" / "vorn" / kProfileFileName;
    return fallbackDirectory / kProfileFileName;
}

// The bytes a download has brought, told by the transferring thread and read by the main
// thread, which works out the rate.
class CTransferMeter {
public:
    void Observe(std::uint64_t bytes) { bytes_.store(bytes, std::memory_order_relaxed); }
    // Takes the latest count; true when it changed.
    bool Update() {
        const std::uint64_t bytes = bytes_.load(std::memory_order_relaxed);
        if (bytes == shown_)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (!active_ || bytes < shown_) { // a new transfer
            active_ = true;
            start_ = now;
            startBytes_ = bytes;
        }
        shown_ = bytes;
        return true;
    }
    // A new step: what follows is not the transfer any more.
    void EndStep() { active_ = false; }
    // " 12.3 MB, 4.1 MB/s" during a transfer, else empty.
    std::string Text() const {
        if (!active_)
            return {};
        std::string text = " " + ByteCount(shown_);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
        if (elapsed.count() >= 0.5) {
            const double rate = static_cast<double>(shown_ - startBytes_) / elapsed.count();
            text += ", " + ByteCount(static_cast<std::uint64_t>(rate)) + "/s";
        }
        return text;
    }

private:
    std::atomic<std::uint64_t> bytes_{0};
    std::uint64_t shown_ = 0;
    std::uint64_t startBytes_ = 0;
    bool active_ = false;
    std::chrono::steady_clock::time_point start_{};
};

void ShowProgress(const vorn::StartupProgressView& view, const CTransferMeter& meter,
                  CProgressLine& progress) {
    progress.Show("[" + std::to_string(view.overallBar) + "%] " + view.status + " " +
                  std::to_string(view.stepBar) + "%" + meter.Text());
}

// The steps and texts go to standard output; the percentage within a step, and the bytes and
// rate of a download, only to the progress line.
void PrintMessage(const CQueueSink::Item& item, const vorn::StartupProgressView& view,
                  CTransferMeter& meter, CProgressLine& progress) {
    if (item.message != vorn::kMsgProgress)
        return;
    switch (item.wParam) {
    case vorn::kProgressPercent:
    case vorn::kProgressDetailText:
        ShowProgress(view, meter, progress);
        return;
    case vorn::kProgressText:
    case vorn::kProgressFailureText:
    case vorn::kProgressFailure:
        meter.EndStep();
        progress.Clear();
        std::printf("%s%s\n", view.failureColours ? "! " : "", view.status.c_str());
        break;
    case vorn::kProgressOverall:
        progress.Clear();
        std::printf("[%3ld%%]\n", view.overallBar);
        break;
    default:
        return;
    }
    std::fflush(stdout);
}

// The one line of a failed start-up, saying on what and why: the transfer that failed, else
// the market file that could not be restored, else the start-up's own text.
std::string FailureLine(const vorn::CStartupSequence& sequence,
                        const vorn::CMarketMatrixLoader& loader, const fs::path& matrixPath,
                        const std::string& status) {
    if (const vorn::TransferFailure& failure = loader.LastFailure(); failure.Failed())
        return failure.Describe();
    if (!sequence.SourceFailure().empty())
        return sequence.SourceFailure();
    if ((sequence.StepState() & ~vorn::kStepFailed) != vorn::kStepRestoring)
        return status;
    if (sequence.Result() == vorn::StartupOutcome{vorn::kAcquisitionChoiceCancelled})
        return matrixPath.string() + ": no usable market file, and no package was chosen to "
                                     "download (--years N chooses one)";
    // The sequence keeps only a result code; reading the file again names the damage.
    vorn::CMarketMatrix probe;
    vorn::MatrixFailure failure;
    if (vorn::RestoreMatrix(probe, matrixPath, nullptr, nullptr, &failure) == vorn::kMatrixOk)
        return status;
    return matrixPath.string() + ": " + vorn::DescribeFailure(failure);
}

int RunStartup(int argc, char** argv) {
    const CArgs args(argc, argv);
    if (!args.Positionals().empty())
        return UsageError("unexpected argument " + args.Positionals()[0]);
    unsigned years = 0;
    if (auto text = args.Option("years")) {
        const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), years);
        if (text->empty() || error != std::errc() || end != text->data() + text->size() ||
            years < 1 || years > 255)
            return UsageError("--years takes 1..255");
    }

    fs::path dataDirectory = ProgramDirectory();
    fs::path profilePath = UserProfilePath(dataDirectory);
    if (auto given = args.Option("data-dir")) {
        std::error_code error;
        dataDirectory = fs::absolute(*given, error);
        fs::create_directories(dataDirectory, error);
        if (error || !fs::is_directory(dataDirectory)) {
            std::fprintf(stderr, "vornctl: startup: cannot use %s\n", given->c_str());
            return 1;
        }
        profilePath = dataDirectory / kProfileFileName;
    } else {
        std::error_code ignored;
        fs::create_directories(profilePath.parent_path(), ignored);
    }

    vorn::CProfileFile profile(profilePath);
    if (profile.LoadResult() == vorn::ProfileLoadResult::TooLarge ||
        profile.LoadResult() == vorn::ProfileLoadResult::ReadError)
        std::fprintf(stderr, "vornctl: startup: %s is unreadable; it is set aside when changed\n",
                     profilePath.c_str());
    if (auto server = args.Option("server")) {
        std::string host;
        std::uint16_t port = 0;
        if (!vorn::SplitServerHost(*server, 80, host, port))
            return UsageError("--server takes HOST[:PORT]");
        if (!profile.SetString(vorn::kProfileSection, vorn::kProfileServer, *server))
            std::fprintf(stderr, "vornctl: startup: cannot store the server in %s\n",
                         profilePath.c_str());
    }
    vorn::StartupConfig config = vorn::ReadStartupProfile(profile, dataDirectory);
    // For this run only: local mode is the user's setting, never written by the program.
    if (args.Has("local"))
        config.flags |= vorn::kAppLocalMode;

    CQueueSink sink;
    CCommandLineChooser chooser(years);
    CProgressLine progress;
    CTransferMeter meter;
    vorn::CMarketMatrixLoader loader;
    if (progress.Enabled())
        loader.SetTransferObserver([&meter](std::uint64_t bytes) { meter.Observe(bytes); });
    vorn::CMarketMatrix matrix;
    vorn::CMarketWindows windows;
    vorn::StartupProgressView view;
    {
        vorn::CStartupSequence sequence(profile, loader, matrix, windows, sink);
        sequence.SetChooser(&chooser);
        sequence.SetPauses(vorn::StartupPauses::None());
        std::signal(SIGINT, OnInterrupt);
        const bool started = sequence.Start(config);
        bool cancelled = false;
        CQueueSink::Item item;
        while (!view.closed) {
            if (interrupted && !cancelled) {
                cancelled = true;
                sequence.Cancel();
            }
            if (meter.Update())
                ShowProgress(view, meter, progress);
            if (!sink.Pop(item, kInterruptPollMs)) {
                if (!started)
                    break;
                continue;
            }
            vorn::ApplyStartupMessage(view, item.message, item.wParam, item.lParam,
                                      item.text.c_str());
            PrintMessage(item, view, meter, progress);
        }
        progress.Clear();
        std::signal(SIGINT, SIG_DFL);
        sequence.Wait();
        if (!started || !sequence.Succeeded()) {
            std::printf("startup: failed %s\n", view.status.c_str());
            std::fprintf(stderr, "vornctl: startup: %s\n",
                         FailureLine(sequence, loader, config.matrixPath, view.status).c_str());
            VerboseResult("startup", vorn::ResultCode(sequence.Result()));
            return 1;
        }
        // Where and why the server (or the J-Quants API) could not be used when the start-up
        // went on without it.
        if (const vorn::TransferFailure& failure = loader.LastFailure(); failure.Failed())
            std::fprintf(stderr, "vornctl: startup: %s\n", failure.Describe().c_str());
        if (!sequence.SourceFailure().empty())
            std::fprintf(stderr, "vornctl: startup: %s\n", sequence.SourceFailure().c_str());
        std::printf("startup: OK\n");
        std::fflush(stdout);
        if ((sequence.Flags() & vorn::kAppMatrixChanged) == 0)
            return 0;
    }

    // As the exit step does: the updated matrix is written back before the program ends.
    vorn::CMatrixWriter writer;
    if (!writer.Start(matrix, config.matrixPath)) {
        std::printf("matrix file: not written (no writer thread)\n");
        return 1;
    }
    const vorn::MatrixResult written = writer.Finish();
    if (written != vorn::kMatrixOk) {
        std::printf("matrix file: not written [エラー：%u]\n", vorn::ResultCode(written));
        std::fprintf(stderr, "vornctl: %s: %s\n", config.matrixPath.c_str(),
                     std::string(vorn::Describe(written)).c_str());
        return 1;
    }
    std::printf("matrix file: written %s\n", config.matrixPath.c_str());
    return 0;
}

const CommandRegistrar kRegisterStartup(
    {"startup",
     "startup [--data-dir DIR] [--server HOST[:PORT]] [--local] [--years N]",
     "runs the application's start-up sequence without windows: restore, download or update, "
     "map",
     {{"data-dir", "DIR", "the data folder holding Vorn.ini and the market file (default: the "
                          "program's folder, with the profile in ~/.config/vorn)"},
      {"server", "HOST[:PORT]", "the matrix server, stored in the profile (default: the "
                                "profile's server; port 80)"},
      {"local", nullptr, "run without any network step, for this run only"},
      {"years", "N", "the package to take when a full download is needed, in years 1..255 "
                     "(default: ask on a terminal, else cancel)"}},
     "vornctl startup --data-dir /tmp/vorn-client --server 127.0.0.1:8080 --years 3"},
    &RunStartup);

} // namespace
} // namespace vornctl
