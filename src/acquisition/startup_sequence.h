#pragma once
// The start-up sequence: before the main window opens, one worker thread checks the matrix
// server, restores the local matrix file (downloading a full package when it is missing or
// broken), applies an update and maps the windows of the whole market. With the exchange's
// daily-data API as the source, the file is built from it when missing and its update step
// fetches the new days instead. It reports only by posting progress messages; the cancel
// event is the only way back.
#include <atomic>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <variant>

#include "acquisition/jquants_source.h"
#include "acquisition/market_matrix_loader.h"
#include "foundation/event.h"
#include "foundation/message_sink.h"
#include "foundation/profile.h"
#include "foundation/result_code.h"
#include "matrix/market_matrix.h"
#include "matrix/matrix_file.h"

namespace vorn {

class CMarketWindows;

// Codes of kMsgProgress beyond percent, text and failure, used by the start-up window.
constexpr std::uintptr_t kProgressFailureText = 3; // lParam: text shown in the failure colours
constexpr std::uintptr_t kProgressOverall = 4;     // lParam: overall bar position, 0..100
constexpr std::uintptr_t kProgressStepState = 5;   // lParam: the new step state
// lParam: a passing status text within a step (requests done, time left), shown like a status
// text; a terminal shows it on its progress line instead of keeping it as a line of its own.
constexpr std::uintptr_t kProgressDetailText = 6;

// Step states; the failure bit is added once and ends the sequence.
enum StartupStep : std::uint32_t {
    kStepInitial = 0x1,
    kStepChecking = 0x4,
    kStepRestoring = 0x100,
    kStepUpdating = 0x200,
    kStepMapping = 0x400,
    kStepFailed = 0x80000000,
};

// Application flags that start-up reads and sets.
constexpr std::uint32_t kAppFirstRun = 0x2;
constexpr std::uint32_t kAppLocalMode = 0x100;
// The matrix was changed by an update and must be written back.
constexpr std::uint32_t kAppMatrixChanged = 0x1000000;

// The start-up's own results; the others come from the module whose step decided.
enum class StartupResult : std::uint8_t {
    Ok = 0,
    MappingFailed = 1, // the gap mapping failed without being cancelled (it posts code 0)
};
inline constexpr StartupResult kStartupOk = StartupResult::Ok;
inline constexpr StartupResult kStartupMappingFailed = StartupResult::MappingFailed;

std::string_view Describe(StartupResult result);

// What decided the outcome of a start-up, each code with its module's number.
using StartupOutcome = std::variant<StartupResult, AcquisitionResult, MatrixResult, MergeResult>;

std::string_view Describe(const StartupOutcome& outcome);
unsigned ResultCode(const StartupOutcome& outcome);

inline constexpr char kDefaultMatrixFileName[] = "Market.kbx";
inline constexpr char kTextStartupRestore[] = "マーケットマトリクスをリストアします";
inline constexpr char kTextStartupLocalMode[] = "ローカルモードで起動します…";
inline constexpr char kTextStartupChecking[] = "最新のマーケットマトリクスを確認します…";
inline constexpr char kTextStartupRecovery[] = "マーケットマトリクスをリカバリーします";
inline constexpr char kTextStartupRestoreFailed[] = "マーケットマトリクスのリストアに失敗しました";
inline constexpr char kTextStartupNoThread[] = "スタートアップスレッドの生成に失敗しました";
inline constexpr char kTextApplicationExit[] = "アプリケーションを終了します   ";
inline constexpr char kTextStartupJQuantsBuild[] =
    "J-Quants API からマーケットマトリクスを作成します…";
inline constexpr char kTextStartupJQuantsUpdate[] = "J-Quants API から新しい取引日を取得します…";
inline constexpr char kTextStartupJQuantsResume[] =
    "作成を中断しました。次回の起動で続きから再開します";

// The failure text of a step state for a posted failure code.
std::string FormatStartupFailure(std::uint32_t stepState, std::uintptr_t code);

// What the start-up window shows, driven by the posted messages alone, so that the dialog
// and the command line show the same.
struct StartupProgressView {
    long stepBar = 0;
    long overallBar = 0;
    std::string status = kTextStartupRestore;
    bool failureColours = false; // both bars red, the status gold on red
    std::uint32_t stepState = kStepInitial;
    bool closed = false;
};
// `text` is the posted text for kProgressText and kProgressFailureText (copied by the
// receiver when the message arrived), ignored otherwise.
void ApplyStartupMessage(StartupProgressView& view, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam, const char* text);

// Asks the user for a full package when no first day is known.
class IPackageChooser {
public:
    virtual ~IPackageChooser() = default;
    // Runs on the start-up worker and may block until the user has chosen. The years of the
    // chosen package (a key of index.packages), 0 when cancelled or nothing was chosen.
    virtual unsigned ChoosePackage(const MatrixIndex& index) = 0;
};

// Pauses that keep a text on the screen long enough to be read, in milliseconds.
struct StartupPauses {
    int localMode = 1000;
    int indexNotFetched = 3000;
    int beforeRecovery = 1500;
    int recoveryText = 1750;
    int failed = 3000;

    static StartupPauses None() { return {0, 0, 0, 0, 0}; }
};

// What start-up takes from the profile before the worker runs.
struct StartupConfig {
    std::uint32_t flags = 0; // kAppFirstRun, kAppLocalMode
    std::filesystem::path matrixPath;
    std::uint32_t version = 0;
    std::string serverHost;
    std::string source; // "DataSource": "jquants" fetches from the API instead of the server
    std::filesystem::path dataDirectory; // where the API key file lives
};

// Reads "Setting" (bit 0: local mode), "Version", "Matrix", "Server" and "DataSource". An
// empty "Matrix" stores dataDirectory/"Market.kbx" and marks a first run. The sample market
// and imported quote files have nothing to fetch: they start in local mode.
StartupConfig ReadStartupProfile(IProfile& profile, const std::filesystem::path& dataDirectory);

class CStartupSequence final {
public:
    // Every reference must outlive the sequence; the matrix and the windows map are written
    // only by the worker until it has ended.
    CStartupSequence(IProfile& profile, CMarketMatrixLoader& loader, CMarketMatrix& matrix,
                     CMarketWindows& windows, IMessageSink& sink);
    // Asks a running worker to stop and waits for it (a download in progress runs to its end
    // or its time-out).
    ~CStartupSequence();
    CStartupSequence(const CStartupSequence&) = delete;
    CStartupSequence& operator=(const CStartupSequence&) = delete;

    // Null: a package choice counts as cancelled.
    void SetChooser(IPackageChooser* chooser) { chooser_ = chooser; }
    void SetPauses(const StartupPauses& pauses) { pauses_ = pauses; }

    // Posts the initial state and text and starts the worker. False when it is already
    // started or the thread could not be created (the status text then says so).
    bool Start(const StartupConfig& config);
    // The user's Escape: restore, merge and gap mapping stop with their cancel code.
    void Cancel() { cancel_.Set(); }
    // True once the worker has ended; waits up to timeoutMs (negative: without limit).
    bool Wait(int timeoutMs = -1);

    bool Succeeded() const { return ended_ && (stepState_ & kStepFailed) == 0; }
    std::uint32_t StepState() const { return stepState_; }
    // The configuration flags, plus kAppMatrixChanged once an update was merged.
    std::uint32_t Flags() const { return flags_; }
    // The code that decided the outcome: kStartupOk on success, else the download's,
    // restore's or merge's code, kStartupMappingFailed or kMatrixCancelled for the gap mapping.
    StartupOutcome Result() const;
    // Result of the index check: kAcquisitionOk or kAcquisitionIndexNotFetched;
    // kAcquisitionNoUpdate when not checked.
    AcquisitionResult CheckResult() const { return checkResult_; }
    // Result of the update step: kAcquisitionOk (merged), kAcquisitionNoUpdate (none needed
    // or not online), kAcquisitionUpdateFailed, or the restore or merge code.
    AcquisitionOutcome UpdateResult() const;
    // What failed in the API's build or update, in words (never with the key); empty when
    // nothing did. Read once the worker has ended.
    const std::string& SourceFailure() const { return sourceFailure_; }

private:
    void Run();
    void RunSteps();
    bool Check();
    MatrixResult Restore();
    bool Recover(MatrixResult restoreResult);
    bool DownloadPackage();
    bool Update(bool checked);
    bool BuildFromJQuants(StartupOutcome& result);
    bool UpdateFromJQuants();
    bool PrepareJQuants(JQuantsBuildOptions& options);
    void ShowJQuantsProgress(const JQuantsProgress& progress);
    const char* KeepText(std::string text);
    bool MapGaps();
    void Fail(StartupOutcome result, const char* text = kTextStartupRestoreFailed);
    void SetResult(StartupOutcome result);
    void SetUpdateResult(AcquisitionOutcome result);

    void SetState(std::uint32_t state);
    void PostPercent(std::intptr_t percent) { sink_.Post(kMsgProgress, kProgressPercent, percent); }
    void PostOverall(std::intptr_t percent) { sink_.Post(kMsgProgress, kProgressOverall, percent); }
    void PostText(std::uintptr_t code, const char* text) {
        sink_.Post(kMsgProgress, code, reinterpret_cast<std::intptr_t>(text));
    }
    void Pause(int milliseconds) { stop_.Wait(milliseconds); }

    IProfile& profile_;
    CMarketMatrixLoader& loader_;
    CMarketMatrix& matrix_;
    CMarketWindows& windows_;
    IMessageSink& sink_;
    IPackageChooser* chooser_ = nullptr;
    StartupPauses pauses_;
    StartupConfig config_;

    // Written by the worker, read by anyone.
    std::atomic<std::uint32_t> stepState_{kStepInitial};
    std::atomic<std::uint32_t> flags_{0};
    std::atomic<AcquisitionResult> checkResult_{kAcquisitionNoUpdate};
    mutable std::mutex resultMutex_;
    StartupOutcome result_ = kStartupOk;                     // under resultMutex_
    AcquisitionOutcome updateResult_ = kAcquisitionNoUpdate; // under resultMutex_
    std::atomic<bool> ended_{false};
    // Written by the worker only.
    std::string sourceFailure_;
    // Posted texts made while the worker runs; the window reads them after the worker has
    // moved on, and a deque never moves what it holds.
    std::deque<std::string> texts_;
    std::string lastProgressText_;
    long lastPercent_ = -1;

    CEvent cancel_{true, false};
    // Cuts the reading pauses short when the sequence is destroyed.
    CEvent stop_{true, false};
    CEvent finished_{true, false};
    std::thread worker_;
};

} // namespace vorn
