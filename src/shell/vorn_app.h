#pragma once
// The application object: start-up (profile, progress dialog, background writer, settings
// files), the state the main window shows (contents mode, selected stock, forecast space,
// favourites, colour scheme), and the exit step.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/market_matrix_loader.h"
#include "acquisition/matrix_writer.h"
#include "acquisition/startup_sequence.h"
#include "acquisition/vorn_agent.h"
#include "chart/chart_model.h"
#include "contents/contents_host.h"
#include "contents/recorder.h"
#include "contents/saved_screenings.h"
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "gaps/windows_performer.h"
#include "matrix/market_matrix.h"
#include "screening/screening_settings.h"
#include "screening/security_key_set.h"
#include "shell/screenshot.h"
#include "screening/indicator_screening.h"
#include "technical/technical_manager.h"

#include <QString>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace vorn {

class CMainFrame;
class CSettingsProfile;

// Application flags beyond those start-up sets.
constexpr std::uint32_t kAppScreeningSetUp = 0x10;  // "Vorn.ssd" is written at exit
constexpr std::uint32_t kAppFavoritesLoaded = 0x20; // "Favorite.skf" is written at exit

struct AppOptions {
    // Profile, matrix and settings files; the program's directory (and the user's profile)
    // when empty.
    std::filesystem::path dataDirectory;
    std::string server;     // HOST[:PORT], stored in the profile
    bool localMode = false; // for this run only
    // Message boxes (failure, exit) are shown; off, they are only kept in LastMessage().
    bool interactive = true;
    std::optional<StartupPauses> pauses;
    IPackageChooser* chooser = nullptr; // null: the package dialog
    // Set by --screenshot: take the picture and end instead of running.
    std::optional<ScreenshotRequest> screenshot;
};

// Parses `vorn [--data-dir DIR] [--server HOST[:PORT]] [--local]
// [--screenshot PATH [--code CODE[:MARKET]] [--mode chart|screening|report]
// [--period daily|weekly|monthly] [--size WxH]]`; false with
// `error` set.
bool ParseAppOptions(const QStringList& arguments, AppOptions& options, QString& error);

class CVornApp final : public IContentsHost {
public:
    CVornApp();
    ~CVornApp() override;
    CVornApp(const CVornApp&) = delete;
    CVornApp& operator=(const CVornApp&) = delete;

    // The start-up sequence; false when the application must end.
    bool InitInstance(const AppOptions& options);
    // Saves the settings files and finishes the background writer; the exit code.
    int ExitInstance();

    // --- Operations used by the main window, in slot order ---
    void SelectStockAt(const SecurityRecord* security, std::uint16_t visibleDays,
                       std::uint16_t position);
    void SelectStock(const SecurityRecord* security);
    void ShowSelection(std::uint16_t visibleDays, bool applySettings);
    bool SelectListing(const SecurityRecord* security);
    bool SelectCode(std::uint16_t code);
    bool FindAndSelect(const QString& text);
    ScreeningSaveResult OverwriteScreening(const std::string& title);
    ScreeningSaveResult ResaveScreening(const std::string& newTitle, const std::string& oldTitle);

    // --- IContentsHost: the history shows an earlier state ---
    void ShowChart(const SecurityRecord* stock, PeriodKind seriesKind,
                   std::uint16_t displayedDays, std::uint16_t scrollPosition) override;
    void ShowScreening(const ScreeningSettings& settings) override;
    void ShowReport(const std::string& address) override;

    // Next (true) or previous security in key order; nothing at either end.
    bool StepStock(bool next);
    // Replaces the forecast space by `days` (0, 10, 20, 30) and refreshes.
    void SetForecastSpace(std::uint8_t days);
    // Sets or clears the white scheme bit of "Setting" and writes it back.
    void SetWhiteChart(bool white);
    bool AddFavorite();

    // --- State ---
    CMarketMatrix& Matrix() { return matrix_; }
    CMarketMatrixLoader& Loader() { return loader_; }
    CMarketWindows& Windows() { return windows_; }
    CWindowsPerformer& Performer() { return performer_; }
    AnalysisResults& Analysis() { return analysis_; }
    CIndicatorScreening& Indicators() { return *indicators_; }
    CMatrixWriter& Writer() { return writer_; }
    // Made by InitInstance once the data directory is known.
    CIntelligenceAgent& Agent() { return *agent_; }
    CRecorder& Recorder() { return recorder_; }
    ScreeningSettings& Screening() { return screening_; }
    CSavedScreenings& SavedScreenings() { return saved_; }
    SecurityKeySet& Favorites() { return favorites_; }
    IProfile& Profile();
    CMainFrame* MainFrame() { return frame_.get(); }

    const SecurityRecord* SelectedStock() const { return selected_; }
    void SetSelectedStock(const SecurityRecord* security) { selected_ = security; }
    ContentsKind ContentsMode() const { return mode_; }
    void SetContentsMode(ContentsKind mode) { mode_ = mode; }
    std::uint8_t ForecastSpace() const { return forecast_; }
    bool WhiteChart() const { return (setting_ & kSettingWhiteChart) != 0; }
    std::uint32_t Flags() const { return flags_; }
    const std::filesystem::path& DataDirectory() const { return dataDirectory_; }
    const std::string& ServerHost() const { return config_.serverHost; }
    const std::filesystem::path& MatrixPath() const { return config_.matrixPath; }
    std::filesystem::path ScreeningFilePath() const;
    std::filesystem::path FavoritesFilePath() const;
    // The last failure or exit message (also when it was shown in a box).
    const QString& LastMessage() const { return lastMessage_; }
    // The status line of the start-up window when it closed.
    const QString& StartupStatus() const { return startupStatus_; }
    // The normalised company names the name box searches, by company code.
    const std::map<std::uint16_t, QString>& NameKeys() const { return nameKeys_; }

private:
    void ShowMessage(const QString& text, bool stop);
    void BuildNameKeys();

    AppOptions options_;
    std::filesystem::path dataDirectory_;
    std::unique_ptr<CSettingsProfile> profile_;
    StartupConfig config_;
    std::uint32_t flags_ = 0;
    std::uint32_t setting_ = 0;

    CMarketMatrixLoader loader_;
    CMarketMatrix matrix_;
    // Filled by the market analysis worker of windows_, so declared before it.
    AnalysisResults analysis_;
    CMarketWindows windows_;
    CTechnicalManager technicals_;
    std::unique_ptr<CIndicatorScreening> indicators_;
    CWindowsPerformer performer_;
    CRecorder recorder_;
    ScreeningSettings screening_;
    CSavedScreenings saved_;
    SecurityKeySet favorites_;
    std::map<std::uint16_t, QString> nameKeys_;

    const SecurityRecord* selected_ = nullptr;
    ContentsKind mode_ = kContentsChart;
    std::uint8_t forecast_ = 0;
    QString lastMessage_;
    QString startupStatus_;
    bool exited_ = false;

    // Declared after the matrix it writes, so that it is finished before the matrix goes.
    CMatrixWriter writer_;
    // Stopped by the main frame, whose poster it reports through, so declared before it.
    std::unique_ptr<CVornAgent> agent_;
    std::unique_ptr<CMainFrame> frame_;
};

// Loads the toolkit's own Japanese texts (file dialogs, edit menus, message box buttons) into
// the application; false when the system has no Japanese translation of them.
bool InstallToolkitTranslations();

// The form the name box compares: full-width, katakana and lower case.
QString NormaliseCompanyName(const QString& name);
// The stock code of a code box text: exactly four half-width or exactly four full-width
// characters of a code ("7203", "130A", "１３０Ａ"), letters of either case; else none.
std::optional<std::uint16_t> ParseStockCode(const QString& text);

} // namespace vorn
