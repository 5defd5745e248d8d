#include "shell/vorn_app.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QStringList>
#include <QTranslator>
#include <thread>

#include "contents/favorites.h"
#include "contents/settings_files.h"
#include "foundation/agency.h"
#include "foundation/log_channels.h"
#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"
#include "screening/ui/screening_view.h"
#include "shell/dialog_first_start.h"
#include "shell/dialog_startup_progress.h"
#include "shell/main_frame.h"
#include "shell/settings_profile.h"
#include "shell/vorn_view.h"
#include "ui_base/posted_message.h"

namespace vorn {
namespace {

namespace fs = std::filesystem;

// The main view reports ready at the end of its initial update; start-up looks at once and
// after the first and second of three short pauses.
constexpr int kReadyPauses = 3;
constexpr int kReadyPauseMs = 7;

} // namespace

bool ParseAppOptions(const QStringList& arguments, AppOptions& options, QString& error) {
    ScreenshotRequest picture;
    bool hasPicture = false;
    bool pictureOption = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        const auto value = [&](const QString& name, QString& out) {
            if (argument == name) {
                if (i + 1 >= arguments.size()) {
                    error = name + QStringLiteral(" needs a value");
                    return false;
                }
                out = arguments[++i];
                return true;
            }
            out = argument.mid(name.size() + 1);
            return true;
        };
        QString text;
        if (argument == QLatin1String("--local")) {
            options.localMode = true;
        } else if (argument == QLatin1String("--data-dir") ||
                   argument.startsWith(QLatin1String("--data-dir="))) {
            if (!value(QStringLiteral("--data-dir"), text))
                return false;
            if (text.isEmpty()) {
                error = QStringLiteral("--data-dir needs a directory");
                return false;
            }
            options.dataDirectory = fs::path(text.toStdString());
        } else if (argument == QLatin1String("--server") ||
                   argument.startsWith(QLatin1String("--server="))) {
            if (!value(QStringLiteral("--server"), text))
                return false;
            std::string host;
            std::uint16_t port = 0;
            if (!SplitServerHost(text.toStdString(), 80, host, port)) {
                error = QStringLiteral("--server takes HOST[:PORT]");
                return false;
            }
            options.server = text.toStdString();
        } else if (argument == QLatin1String("--screenshot") ||
                   argument.startsWith(QLatin1String("--screenshot="))) {
            if (!value(QStringLiteral("--screenshot"), text))
                return false;
            if (text.isEmpty()) {
                error = QStringLiteral("--screenshot needs a file");
                return false;
            }
            picture.path = text;
            hasPicture = true;
        } else if (argument == QLatin1String("--code") ||
                   argument.startsWith(QLatin1String("--code="))) {
            if (!value(QStringLiteral("--code"), text))
                return false;
            if (!ParseScreenshotCode(text, picture)) {
                error = QStringLiteral(
                    "--code takes CODE[:MARKET] (a stock code such as 7203 or 130A, market 1..15)");
                return false;
            }
            pictureOption = true;
        } else if (argument == QLatin1String("--mode") ||
                   argument.startsWith(QLatin1String("--mode="))) {
            if (!value(QStringLiteral("--mode"), text))
                return false;
            if (!ParseScreenshotMode(text, picture.mode)) {
                error = QStringLiteral("--mode takes chart, screening or report");
                return false;
            }
            pictureOption = true;
        } else if (argument == QLatin1String("--period") ||
                   argument.startsWith(QLatin1String("--period="))) {
            if (!value(QStringLiteral("--period"), text))
                return false;
            if (!ParseScreenshotPeriod(text, picture.seriesKind)) {
                error = QStringLiteral("--period takes daily, weekly or monthly");
                return false;
            }
            pictureOption = true;
        } else if (argument == QLatin1String("--size") ||
                   argument.startsWith(QLatin1String("--size="))) {
            if (!value(QStringLiteral("--size"), text))
                return false;
            if (!ParseScreenshotSize(text, picture)) {
                error = QStringLiteral("--size takes WIDTHxHEIGHT (%1x%2 to %3x%4)")
                            .arg(kScreenshotMinWidth)
                            .arg(kScreenshotMinHeight)
                            .arg(kScreenshotMaxSide)
                            .arg(kScreenshotMaxSide);
                return false;
            }
            pictureOption = true;
        } else {
            error = QStringLiteral("unknown argument ") + argument;
            return false;
        }
    }
    if (pictureOption && !hasPicture) {
        error = QStringLiteral("--code, --mode, --period and --size need --screenshot");
        return false;
    }
    if (hasPicture)
        options.screenshot = picture;
    return true;
}

bool InstallToolkitTranslations() {
    static bool installed = false;
    if (installed)
        return true;
    // Owned by the application once installed; it stays for the life of the process.
    auto* translator = new QTranslator(QCoreApplication::instance());
    const QString directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                          QStringLiteral("_"), directory) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = true;
    return true;
}

QString NormaliseCompanyName(const QString& name) {
    // Compatibility composition first joins half-width katakana with their sound marks; the
    // result is then brought to full width, so both sides of a comparison meet in one form.
    QString text = name.normalized(QString::NormalizationForm_KC).toLower();
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u == u' ')
            c = QChar(u'\u3000');
        else if (u >= 0x21 && u <= 0x7E)
            c = QChar(static_cast<char16_t>(u + 0xFEE0));
        else if (u >= 0x3041 && u <= 0x3096)
            c = QChar(static_cast<char16_t>(u + 0x60)); // hiragana to katakana
    }
    return text;
}

std::optional<std::uint16_t> ParseStockCode(const QString& text) {
    return ParseTypedStockCode(
        std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()), text.size()));
}

CVornApp::CVornApp() = default;

CVornApp::~CVornApp() {
    ExitInstance();
}

IProfile& CVornApp::Profile() {
    return *profile_;
}

fs::path CVornApp::ScreeningFilePath() const {
    return dataDirectory_ / kScreeningFileName;
}

fs::path CVornApp::FavoritesFilePath() const {
    return dataDirectory_ / kFavoritesFileName;
}

void CVornApp::ShowMessage(const QString& text, bool stop) {
    lastMessage_ = text;
    if (!options_.interactive)
        return;
    if (stop)
        QMessageBox::critical(nullptr, QStringLiteral("ヴォルン"), text);
    else
        QMessageBox::warning(nullptr, QStringLiteral("ヴォルン"), text);
}

bool CVornApp::InitInstance(const AppOptions& options) {
    options_ = options;
    exited_ = false;
    std::error_code error;
    if (!options.dataDirectory.empty()) {
        dataDirectory_ = fs::absolute(options.dataDirectory, error);
        fs::create_directories(dataDirectory_, error);
        if (error || !fs::is_directory(dataDirectory_)) {
            ShowMessage(QStringLiteral("データディレクトリを使用できません: ") +
                            QString::fromStdString(options.dataDirectory.string()),
                        true);
            return false;
        }
        profile_ = std::make_unique<CSettingsProfile>(
            QString::fromStdString((dataDirectory_ / kProfileFileNameInDataDirectory).string()));
    } else {
        dataDirectory_ = fs::path(QCoreApplication::applicationDirPath().toStdString());
        profile_ = std::make_unique<CSettingsProfile>();
    }
    if (!options.server.empty())
        profile_->SetString(kProfileSection, kProfileServer, options.server);
    agent_ = std::make_unique<CVornAgent>(dataDirectory_);

    config_ = ReadStartupProfile(*profile_, dataDirectory_);
    if (options.localMode)
        config_.flags |= kAppLocalMode;
    setting_ = profile_->GetInteger(kProfileSection, kProfileSetting, 0);
    // A run told to stay local takes the file as it is: no first-start choice, no fetching.
    if (!options.localMode) {
        QString sourceMessage;
        if (!PrepareMarketSource(*profile_, dataDirectory_, config_, nullptr, sourceMessage)) {
            ShowMessage(sourceMessage, true);
            return false;
        }
        if (!sourceMessage.isEmpty())
            ShowMessage(sourceMessage, false);
    }

    bool failed = false;
    std::string sourceFailure;
    {
        CDialogStartupProgress dialog(*profile_, loader_, matrix_, windows_, config_);
        if (options.pauses)
            dialog.SetPauses(*options.pauses);
        if (options.chooser != nullptr)
            dialog.SetChooser(options.chooser);
        failed = dialog.RunModal();
        flags_ = dialog.Flags();
        startupStatus_ = QString::fromStdString(dialog.View().status);
        if (dialog.Started())
            sourceFailure = dialog.Sequence().SourceFailure();
    }
    if (failed) {
        ShowMessage(QString::fromUtf8(kTextApplicationExit), true);
        return false;
    }
    // A source chosen on the first start is kept once it has given a market.
    if (!config_.source.empty() &&
        profile_->GetString(kProfileSection, kProfileDataSource) != config_.source)
        profile_->SetString(kProfileSection, kProfileDataSource, config_.source);
    // The market of the last update is used; what kept the new days away is said once.
    if (!sourceFailure.empty())
        ShowMessage(QString::fromStdString(sourceFailure), false);

    selected_ = matrix_.Securities().empty() ? nullptr : &matrix_.Securities().begin()->second;
    if ((flags_ & kAppMatrixChanged) != 0 && !writer_.Start(matrix_, config_.matrixPath))
        WriteLog(0, "matrix writer could not be started; the update stays in memory only");

    flags_ |= kAppScreeningSetUp;
    LoadScreeningAtStartup(ScreeningFilePath().string(), screening_, saved_);
    technicals_.RegisterTechnicals(&matrix_);
    indicators_ = std::make_unique<CIndicatorScreening>(technicals_);
    indicators_->PrepareInclinationParameters(screening_.inclinationParameters);
    flags_ |= kAppFavoritesLoaded;
    LoadFavorites(FavoritesFilePath().string(), favorites_);
    BuildNameKeys();
    std::string feedHost;
    std::uint16_t feedPort = 0;
    if (SplitServerHost(config_.serverHost, 80, feedHost, feedPort)) {
        agent_->SetServerHost(config_.serverHost);
        agent_->SetDirectory("vorn");
        agent_->SetItemKind(CIntelligenceAgent::kFullKindName);
    }

    // Every text the user reads is Japanese, the toolkit's own dialogs and menus included.
    if (!InstallToolkitTranslations())
        WriteLog(0, "the toolkit's Japanese translations are missing");
    frame_ = std::make_unique<CMainFrame>(*this);
    frame_->setWindowTitle(QStringLiteral("ヴォルン"));
    // A picture shows what it is asked for, not what the user left open.
    const bool restoring = !options_.screenshot.has_value();
    if (restoring)
        frame_->RestorePlacement(*profile_);
    frame_->show();

    bool ready = frame_->View().IsReady();
    for (int pause = 0; !ready && pause < kReadyPauses - 1; ++pause) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kReadyPauseMs));
        QCoreApplication::processEvents();
        ready = frame_->View().IsReady();
    }
    std::uint16_t visibleDays = 0;
    if (ready && restoring)
        visibleDays = frame_->RestoreView(*profile_);
    if (ready) {
        if (selected_ != nullptr)
            ShowSelection(visibleDays, false);
        else
            frame_->View().SwitchContents(kContentsChart);
    }
    frame_->setAcceptDrops(true);
    frame_->UpdateCommandStates();
    // The feed is a network step like the others: none in local mode.
    if ((flags_ & kAppLocalMode) == 0 && !agent_->ServerHost().empty())
        agent_->Start(&frame_->Poster());
    return true;
}

int CVornApp::ExitInstance() {
    if (exited_)
        return 0;
    exited_ = true;
    if (frame_ != nullptr && profile_ != nullptr && !options_.screenshot)
        frame_->SaveState(*profile_);
    frame_.reset();
    if ((flags_ & kAppScreeningSetUp) != 0 &&
        SaveScreeningFile(ScreeningFilePath().string(), screening_, saved_) !=
            SettingsFileResult::Ok)
        WriteLog(0, "screening settings could not be saved");
    if ((flags_ & kAppFavoritesLoaded) != 0 &&
        SaveFavorites(FavoritesFilePath().string(), favorites_) != SettingsFileResult::Ok)
        WriteLog(0, "favourites could not be saved");
    writer_.Finish();
    nameKeys_.clear();
    return 0;
}

void CVornApp::BuildNameKeys() {
    nameKeys_.clear();
    for (const auto& [code, company] : matrix_.Companies())
        if (company.name)
            nameKeys_[code] =
                NormaliseCompanyName(QString::fromStdString(Cp932ToUtf8(*company.name)));
}

void CVornApp::SelectStockAt(const SecurityRecord* security, std::uint16_t visibleDays,
                             std::uint16_t position) {
    if (security == nullptr || frame_ == nullptr)
        return;
    selected_ = security;
    frame_->View().RefreshAt(visibleDays, position, false);
    frame_->UpdateCommandStates();
}

void CVornApp::SelectStock(const SecurityRecord* security) {
    if (security == nullptr || frame_ == nullptr)
        return;
    if (security == selected_) {
        if (mode_ != kContentsChart) {
            frame_->View().SwitchContents(kContentsChart);
            frame_->View().RecordChart();
        }
    } else {
        selected_ = security;
        ShowSelection(0, false);
    }
    frame_->UpdateCommandStates();
}

void CVornApp::ShowSelection(std::uint16_t visibleDays, bool applySettings) {
    if (frame_ == nullptr)
        return;
    frame_->View().Refresh(visibleDays, applySettings ? 1 : 0, false);
    frame_->UpdateCommandStates();
}

bool CVornApp::SelectListing(const SecurityRecord* security) {
    if (security == nullptr || matrix_.FindSecurity(security->Key()) != security)
        return false;
    if (mode_ == kContentsScreening)
        return frame_ != nullptr && frame_->View().Screening().SelectListing(security->Key());
    selected_ = security;
    ShowSelection(0, false);
    return true;
}

bool CVornApp::SelectCode(std::uint16_t code) {
    if (mode_ == kContentsScreening)
        return frame_ != nullptr && frame_->View().Screening().SelectCode(code);
    const auto& securities = matrix_.Securities();
    const auto found = securities.lower_bound(MakeSecurityKey(code, 0));
    if (found == securities.end() || found->second.Code() != code)
        return false;
    selected_ = &found->second;
    ShowSelection(0, false);
    return true;
}

bool CVornApp::FindAndSelect(const QString& text) {
    const std::optional<std::uint16_t> code = ParseStockCode(text);
    if (!code || matrix_.FindCompany(*code) == nullptr)
        return false;
    return SelectCode(*code);
}

ScreeningSaveResult CVornApp::OverwriteScreening(const std::string& title) {
    return saved_.OverwriteScreening(title, screening_);
}

ScreeningSaveResult CVornApp::ResaveScreening(const std::string& newTitle,
                                              const std::string& oldTitle) {
    return saved_.ResaveScreening(newTitle, oldTitle, screening_);
}

void CVornApp::ShowChart(const SecurityRecord* stock, PeriodKind seriesKind,
                         std::uint16_t displayedDays, std::uint16_t scrollPosition) {
    // An entry may outlive its security when the matrix was reloaded.
    if (stock == nullptr || matrix_.FindSecurity(stock->Key()) != stock)
        return;
    if (frame_ != nullptr)
        frame_->View().SetSeriesKind(seriesKind);
    SelectStockAt(stock, displayedDays, scrollPosition);
}

void CVornApp::ShowScreening(const ScreeningSettings& settings) {
    screening_ = settings;
    if (frame_ == nullptr)
        return;
    frame_->View().SwitchContents(kContentsScreening);
    frame_->View().Screening().Refresh();
    frame_->UpdateCommandStates();
}

void CVornApp::ShowReport(const std::string& address) {
    if (frame_ == nullptr)
        return;
    frame_->View().NavigateReport(QString::fromStdString(address), true);
    frame_->View().SwitchContents(kContentsReport);
    frame_->UpdateCommandStates();
}

bool CVornApp::StepStock(bool next) {
    if (mode_ != kContentsChart || selected_ == nullptr)
        return false;
    const auto& securities = matrix_.Securities();
    auto current = securities.find(selected_->Key());
    if (current == securities.end())
        return false;
    if (next) {
        ++current;
        if (current == securities.end())
            return false;
    } else {
        if (current == securities.begin())
            return false;
        --current;
    }
    SelectStock(&current->second);
    return true;
}

void CVornApp::SetForecastSpace(std::uint8_t days) {
    matrix_.RemoveForecastDays();
    if (days != 0)
        matrix_.ProjectForecastDays(days);
    forecast_ = matrix_.ProjectedDays();
    if (frame_ != nullptr) {
        frame_->View().Refresh(0, 0, true);
        frame_->UpdateCommandStates();
    }
}

void CVornApp::SetWhiteChart(bool white) {
    setting_ = white ? (setting_ | kSettingWhiteChart) : (setting_ & ~kSettingWhiteChart);
    if (profile_)
        profile_->SetInteger(kProfileSection, kProfileSetting, setting_);
}

bool CVornApp::AddFavorite() {
    const SecurityRecord* listed = nullptr;
    if (mode_ == kContentsScreening && frame_ != nullptr)
        if (const auto key = frame_->View().Screening().CurrentSecurity())
            listed = matrix_.FindSecurity(*key);
    const bool added = vorn::AddFavorite(favorites_, mode_, selected_, listed);
    if (added && frame_ != nullptr)
        frame_->RebuildFavoritesMenu();
    return added;
}

} // namespace vorn
