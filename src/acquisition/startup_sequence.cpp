#include "acquisition/startup_sequence.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <iterator>
#include <system_error>

#include "gaps/market_windows.h"
#include "matrix/matrix_file.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

// A file this short cannot hold even the header; it is not worth a restore.
constexpr std::uintmax_t kMinMatrixFileBytes = kMatrixHeaderSize;

bool HoldsMoreThanHeader(const fs::path& path) {
    std::error_code error;
    if (!fs::is_regular_file(path, error))
        return false;
    const std::uintmax_t size = fs::file_size(path, error);
    return !error && size > kMinMatrixFileBytes;
}

// Whether the update the loader picks for `lastHeld` continues from a day the matrix holds.
// One whose base lies later would leave the trading days in between out of the calendar for
// good once the merged matrix is written back.
bool UpdateContinues(const MatrixIndex& index, PackedDate lastHeld) {
    if (index.updates.empty())
        return false;
    auto update = index.updates.lower_bound(lastHeld);
    if (update == index.updates.end())
        update = std::prev(update);
    while (lastHeld < update->second && update != index.updates.begin())
        --update;
    return update->second <= lastHeld;
}

} // namespace

std::string_view Describe(StartupResult result) {
    switch (result) {
    case StartupResult::Ok:
        return "started";
    case StartupResult::MappingFailed:
        return "the gap mapping failed";
    }
    return "unknown start-up result";
}

std::string_view Describe(const StartupOutcome& outcome) {
    return std::visit([](auto result) { return Describe(result); }, outcome);
}

unsigned ResultCode(const StartupOutcome& outcome) {
    return std::visit([](auto result) { return ResultCode(result); }, outcome);
}

std::string FormatStartupFailure(std::uint32_t stepState, std::uintptr_t code) {
    const char* format;
    switch (stepState & ~kStepFailed) {
    case kStepInitial:
        format = "初期化失敗 [エラー：%u]";
        break;
    case kStepChecking:
        format = "起動準備失敗 [エラー：%u]";
        break;
    case kStepRestoring:
        format = "リストア失敗 [エラー：%u]";
        break;
    case kStepUpdating:
        format = "マーケットマトリクス更新失敗 [エラー：%u]";
        break;
    case kStepMapping:
        format = "窓分析失敗 [エラー：%u]";
        break;
    default:
        format = "不明なエラー [エラー：%u]";
        break;
    }
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(code));
    return text;
}

void ApplyStartupMessage(StartupProgressView& view, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam, const char* text) {
    if (message == kMsgClose) {
        view.closed = true;
        return;
    }
    if (message != kMsgProgress)
        return;
    const auto percent = [lParam] {
        return static_cast<long>(std::clamp<std::intptr_t>(lParam, 0, 100));
    };
    switch (wParam) {
    case kProgressPercent:
        view.stepBar = percent();
        break;
    case kProgressText:
    case kProgressDetailText:
        view.status = text != nullptr ? text : "";
        view.failureColours = false;
        break;
    case kProgressFailure:
        view.status = FormatStartupFailure(view.stepState, static_cast<std::uintptr_t>(lParam));
        view.failureColours = true;
        break;
    case kProgressFailureText:
        view.status = text != nullptr ? text : "";
        view.failureColours = true;
        break;
    case kProgressOverall:
        view.overallBar = percent();
        break;
    case kProgressStepState:
        view.stepState = static_cast<std::uint32_t>(lParam);
        break;
    default:
        break;
    }
}

StartupConfig ReadStartupProfile(IProfile& profile, const fs::path& dataDirectory) {
    StartupConfig config;
    if (profile.GetInteger(kProfileSection, kProfileSetting, 0) & kSettingLocalMode)
        config.flags |= kAppLocalMode;
    config.version = profile.GetInteger(kProfileSection, kProfileVersion, 0);
    const std::string matrix = profile.GetString(kProfileSection, kProfileMatrix);
    if (matrix.empty()) {
        config.matrixPath = dataDirectory / kDefaultMatrixFileName;
        profile.SetString(kProfileSection, kProfileMatrix, config.matrixPath.string());
        config.flags |= kAppFirstRun;
    } else {
        config.matrixPath = matrix;
    }
    config.serverHost = profile.GetString(kProfileSection, kProfileServer);
    config.source = profile.GetString(kProfileSection, kProfileDataSource);
    config.dataDirectory = dataDirectory;
    if (config.source == kDataSourceSample || config.source == kDataSourceCsv)
        config.flags |= kAppLocalMode;
    return config;
}

CStartupSequence::CStartupSequence(IProfile& profile, CMarketMatrixLoader& loader,
                                   CMarketMatrix& matrix, CMarketWindows& windows,
                                   IMessageSink& sink)
    : profile_(profile), loader_(loader), matrix_(matrix), windows_(windows), sink_(sink) {}

CStartupSequence::~CStartupSequence() {
    cancel_.Set();
    stop_.Set();
    if (worker_.joinable())
        worker_.join();
}

bool CStartupSequence::Start(const StartupConfig& config) {
    if (worker_.joinable() || ended_)
        return false;
    config_ = config;
    flags_ = config.flags;
    SetState(kStepInitial);
    PostText(kProgressText, kTextStartupRestore);
    try {
        worker_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        PostText(kProgressText, kTextStartupNoThread);
        return false;
    }
    return true;
}

bool CStartupSequence::Wait(int timeoutMs) {
    if (!worker_.joinable())
        return ended_;
    if (!finished_.Wait(timeoutMs))
        return false;
    worker_.join();
    return true;
}

void CStartupSequence::SetState(std::uint32_t state) {
    stepState_ = state;
    sink_.Post(kMsgProgress, kProgressStepState, static_cast<std::intptr_t>(state));
}

StartupOutcome CStartupSequence::Result() const {
    std::lock_guard lock(resultMutex_);
    return result_;
}

AcquisitionOutcome CStartupSequence::UpdateResult() const {
    std::lock_guard lock(resultMutex_);
    return updateResult_;
}

void CStartupSequence::SetResult(StartupOutcome result) {
    std::lock_guard lock(resultMutex_);
    result_ = result;
}

void CStartupSequence::SetUpdateResult(AcquisitionOutcome result) {
    std::lock_guard lock(resultMutex_);
    updateResult_ = result;
}

void CStartupSequence::Fail(StartupOutcome result, const char* text) {
    SetResult(result);
    PostText(kProgressFailureText, text);
    SetState(stepState_ | kStepFailed);
    Pause(pauses_.failed);
}

void CStartupSequence::Run() {
    try {
        RunSteps();
    } catch (const std::exception&) {
        // Out of memory somewhere below: the start-up fails rather than the program.
        Fail(kMatrixReadError);
    }
    ended_ = true;
    sink_.Post(kMsgClose, 0, 0);
    // The last act: after it the worker touches nothing of the sequence.
    finished_.Set();
}

void CStartupSequence::RunSteps() {
    const bool local = (config_.flags & kAppLocalMode) != 0;
    // The API has no index to check: its update step asks for the days after the file's.
    const bool jquants = !local && config_.source == kDataSourceJQuants;
    bool checked = false;
    if (local) {
        PostPercent(100);
        PostText(kProgressText, kTextStartupLocalMode);
        Pause(pauses_.localMode);
    } else if (!jquants) {
        checked = Check();
    }

    SetState(kStepRestoring);
    const MatrixResult restored = Restore();
    if (restored != kMatrixOk && !Recover(restored))
        return;
    // A file just built holds every day the API serves; there is nothing to add yet.
    const bool updated = jquants ? restored != kMatrixOk || UpdateFromJQuants() : Update(checked);
    if (updated && MapGaps()) {
        SetResult(kStartupOk);
        PostOverall(100);
    }
}

bool CStartupSequence::Check() {
    PostOverall(25);
    SetState(kStepChecking);
    PostPercent(0);
    PostText(kProgressText, kTextStartupChecking);
    if (!loader_.FetchIndex(config_.serverHost)) {
        // Not fatal: the local matrix is used as it is and nothing is updated.
        checkResult_ = kAcquisitionIndexNotFetched;
        Pause(pauses_.indexNotFetched);
        return false;
    }
    checkResult_ = kAcquisitionOk;
    if (loader_.OffersNewerVersion(config_.version) && (config_.flags & kAppFirstRun) != 0) {
        config_.version = kFirstRunMatrixVersion;
        profile_.SetInteger(kProfileSection, kProfileVersion, kFirstRunMatrixVersion);
    }
    PostPercent(100);
    PostOverall(35);
    return true;
}

MatrixResult CStartupSequence::Restore() {
    // No local matrix file: the file cannot be opened, as for a missing one.
    if (!HoldsMoreThanHeader(config_.matrixPath))
        return kMatrixCannotOpen;
    const MatrixResult result = RestoreMatrix(matrix_, config_.matrixPath, &cancel_, &sink_);
    if (result == kMatrixOk && !matrix_.DailyCalendar().Empty())
        profile_.SetInteger(kProfileSection, kProfileFirst, *matrix_.DailyCalendar().First());
    return result;
}

bool CStartupSequence::Recover(MatrixResult restoreResult) {
    Pause(pauses_.beforeRecovery);
    if ((config_.flags & kAppLocalMode) != 0) {
        Fail(restoreResult);
        return false;
    }
    // A cancelled restore says nothing about the file: it is not replaced by a download.
    if (restoreResult == kMatrixCancelled || cancel_.IsSet()) {
        Fail(kMatrixCancelled);
        return false;
    }
    PostText(kProgressText, kTextStartupRecovery);
    Pause(pauses_.recoveryText);
    PostOverall(45);
    PostPercent(0);

    if (config_.source == kDataSourceJQuants) {
        StartupOutcome built = kStartupOk;
        if (!BuildFromJQuants(built)) {
            Pause(pauses_.beforeRecovery);
            Fail(built, built == StartupOutcome{kMatrixCancelled}
                            ? kTextStartupJQuantsResume
                            : KeepText(std::string(kTextStartupRestoreFailed) + " (" +
                                       sourceFailure_ + ")"));
            return false;
        }
    } else if (!DownloadPackage()) {
        return false;
    }
    PostPercent(100);
    if (const MatrixResult restored = Restore(); restored != kMatrixOk) {
        Pause(pauses_.beforeRecovery);
        Fail(restored);
        return false;
    }
    return true;
}

bool CStartupSequence::DownloadPackage() {
    const std::uint32_t stored = profile_.GetInteger(kProfileSection, kProfileFirst, kNoDate);
    const PackedDate knownFirst = stored <= 0xFFFF ? static_cast<PackedDate>(stored) : kNoDate;
    const auto choose = [this]() -> unsigned {
        return chooser_ != nullptr ? chooser_->ChoosePackage(loader_.Index()) : 0;
    };
    PackedDate firstDate = kNoDate;
    const AcquisitionResult downloaded = loader_.DownloadFullMatrix(
        config_.serverHost, config_.matrixPath, knownFirst, choose, &sink_, firstDate);
    if (downloaded != kAcquisitionOk) {
        Pause(pauses_.beforeRecovery);
        Fail(downloaded);
        return false;
    }
    profile_.SetInteger(kProfileSection, kProfileFirst, firstDate);
    profile_.SetInteger(kProfileSection, kProfileVersion, loader_.Version());
    config_.version = loader_.Version();
    return true;
}

bool CStartupSequence::Update(bool checked) {
    PostOverall(55);
    if ((config_.flags & kAppLocalMode) != 0 || !checked)
        return true;
    SetState(kStepUpdating);
    const PackedDate* lastHeld = matrix_.DailyCalendar().Last();
    if (lastHeld != nullptr && loader_.OffersUpdateAfter(*lastHeld) &&
        !UpdateContinues(loader_.Index(), *lastHeld)) {
        // Too old for every update: kept as it is rather than merged with a hole.
        SetUpdateResult(kAcquisitionUpdateFailed);
        return true;
    }
    const AcquisitionOutcome result =
        loader_.UpdateMatrix(matrix_, config_.serverHost, &cancel_, &sink_);
    SetUpdateResult(result);
    if (result == AcquisitionOutcome{kAcquisitionOk}) {
        flags_ |= kAppMatrixChanged;
        return true;
    }
    if (result == AcquisitionOutcome{kAcquisitionNoUpdate} ||
        result == AcquisitionOutcome{kAcquisitionUpdateFailed})
        return true;
    // The restore or merge has posted its code already.
    SetResult(std::visit([](auto code) -> StartupOutcome { return code; }, result));
    SetState(stepState_ | kStepFailed);
    Pause(pauses_.failed);
    return false;
}

const char* CStartupSequence::KeepText(std::string text) {
    return texts_.emplace_back(std::move(text)).c_str();
}

bool CStartupSequence::PrepareJQuants(JQuantsBuildOptions& options) {
    std::string error;
    if (!ReadJQuantsSource(profile_, config_.dataDirectory, options, error)) {
        sourceFailure_ = error;
        return false;
    }
    options.client.cancelled = [this] { return cancel_.IsSet(); };
    options.progress = [this](const JQuantsProgress& progress) { ShowJQuantsProgress(progress); };
    lastProgressText_.clear();
    lastPercent_ = -1;
    return true;
}

void CStartupSequence::ShowJQuantsProgress(const JQuantsProgress& progress) {
    if (const long percent = JQuantsPercent(progress); percent != lastPercent_) {
        lastPercent_ = percent;
        PostPercent(percent);
    }
    std::string text = FormatJQuantsProgress(progress);
    if (text != lastProgressText_) {
        lastProgressText_ = text;
        PostText(kProgressDetailText, KeepText(std::move(text)));
    }
}

bool CStartupSequence::BuildFromJQuants(StartupOutcome& result) {
    PostText(kProgressText, kTextStartupJQuantsBuild);
    JQuantsBuildOptions options;
    if (!PrepareJQuants(options)) {
        result = kAcquisitionPackageFailed;
        return false;
    }
    JQuantsBuildReport report;
    const JQuantsBuildResult built = BuildJQuantsFile(options, config_.matrixPath, report);
    if (built == JQuantsBuildResult::Ok)
        return true;
    // The pages fetched so far stay in the cache: the next start goes on from there.
    result = built == JQuantsBuildResult::Cancelled ? StartupOutcome{kMatrixCancelled}
                                                    : StartupOutcome{kAcquisitionPackageFailed};
    sourceFailure_ =
        DescribeJQuantsFailure(options.client.baseUrl, report.error, options.client.apiKey);
    return false;
}

bool CStartupSequence::UpdateFromJQuants() {
    PostOverall(55);
    SetState(kStepUpdating);
    PostPercent(0);
    PostText(kProgressText, kTextStartupJQuantsUpdate);
    JQuantsBuildOptions options;
    JQuantsBuildReport report;
    JQuantsBuildResult result = JQuantsBuildResult::FetchFailed;
    if (PrepareJQuants(options))
        result =
            AppendJQuantsMatrix(options, matrix_, config_.matrixPath, report, &cancel_, &sink_);
    else
        report.error = sourceFailure_;
    switch (result) {
    case JQuantsBuildResult::Ok:
        SetUpdateResult(kAcquisitionOk);
        flags_ |= kAppMatrixChanged;
        PostPercent(100);
        return true;
    case JQuantsBuildResult::NothingNew:
        SetUpdateResult(kAcquisitionNoUpdate);
        PostPercent(100);
        return true;
    case JQuantsBuildResult::Cancelled:
        SetUpdateResult(kMatrixCancelled);
        SetResult(kMatrixCancelled);
        sink_.Post(kMsgProgress, kProgressFailure, ResultCode(kMatrixCancelled));
        SetState(stepState_ | kStepFailed);
        Pause(pauses_.failed);
        return false;
    default:
        break;
    }
    sourceFailure_ =
        DescribeJQuantsFailure(options.client.baseUrl, report.error, options.client.apiKey);
    const bool merged = result != JQuantsBuildResult::MergeFailed;
    const AcquisitionOutcome update = merged ? AcquisitionOutcome{kAcquisitionUpdateFailed}
                                             : AcquisitionOutcome{report.mergeResult};
    SetUpdateResult(update);
    PostText(kProgressFailureText,
             KeepText(FormatStartupFailure(kStepUpdating, ResultCode(update)) + " " +
                      sourceFailure_));
    Pause(pauses_.failed);
    if (!merged) {
        // A merge that stopped halfway leaves the matrix neither old nor new.
        SetResult(report.mergeResult);
        SetState(stepState_ | kStepFailed);
        return false;
    }
    // As with a failed download the file stays as it was; a conversion that stopped may
    // have touched the securities in memory, so they are read again.
    if (result != JQuantsBuildResult::FetchFailed) {
        if (const MatrixResult restored =
                RestoreMatrix(matrix_, config_.matrixPath, &cancel_, &sink_);
            restored != kMatrixOk) {
            SetResult(restored);
            SetState(stepState_ | kStepFailed);
            return false;
        }
    }
    return true;
}

bool CStartupSequence::MapGaps() {
    PostOverall(75);
    SetState(kStepMapping);
    if (windows_.MapMarketWindows(matrix_, &cancel_, &sink_))
        return true;
    SetResult(cancel_.IsSet() ? StartupOutcome{kMatrixCancelled}
                              : StartupOutcome{kStartupMappingFailed});
    SetState(stepState_ | kStepFailed);
    Pause(pauses_.failed);
    return false;
}

} // namespace vorn
