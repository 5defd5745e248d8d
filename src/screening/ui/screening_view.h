#pragma once
// The screening contents of the main window: the condition panel (the screening tool bar with
// its toggles, condition texts and dialogs) beside the securities list and its summary line.
//
// The toggles post their changes to this widget (messages 1030 to 1058); every change of the
// conditions emits settingsChanged (the owner records the screening in the history) and then
// rebuilds the list.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

// The core headers come before Qt's, which defines `slots` and `signals` as macros.
#include "contents/saved_screenings.h"
#include "foundation/window_messages.h"
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "screening/indicator_screening.h"
#include "screening/securities_list.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace vorn {

class CDialogScreeningToggles;
class CGridSecurities;
class CToggleButton;

// The condition toggles post the kMsg*Toggle messages of foundation/window_messages.h.

constexpr std::intptr_t kInclinationCurrentToggle = 7;
constexpr std::intptr_t kInclinationPreviousToggle = 8;

// The families of toggles that have a dialog of their own.
enum class ToggleFamily { Markets, Sectors, Laws, Positions, Options, CandleShapes };

class CScreeningView : public QWidget {
    Q_OBJECT
public:
    // Every object given must outlive the view. `analysis` is the application's analysis
    // results, filled by the market analysis the first time the view is prepared.
    CScreeningView(CMarketMatrix& matrix, CMarketWindows& marketWindows, AnalysisResults& analysis,
                   CIndicatorScreening& indicators, ScreeningSettings& settings,
                   CSavedScreenings& saved, QWidget* parent = nullptr);
    ~CScreeningView() override;

    // The first time: the market analysis and the indicator passes in the preparation dialog,
    // then the rank indexes, then the list. A failed preparation is tried again the next time
    // the view is shown. Also runs by itself when the view is shown.
    bool EnsurePrepared();
    // The signal report of the largest securities as the report dialog's default makes it.
    QString DefaultReport() const;
    bool Prepared() const { return prepared_; }

    // Re-reads the settings after they were replaced from outside (history, settings file):
    // shows them on the panel and rebuilds the list. Emits nothing.
    void Refresh();
    void RebuildSecurities();
    // "条件選択の初期化".
    void ResetConditions();
    // Applies one toggle message (as posted by the panel's buttons).
    void HandleConditionMessage(std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

    // The selected rows as comma-separated text on the clipboard; false without a selection.
    bool CopySelection();
    bool HasSavedScreenings() const { return saved_.Count() != 0; }
    void OpenSaveDialog();
    void OpenRestoreDialog();
    void OpenReportDialog();
    void OpenSecuritySelector();
    void OpenToggles(ToggleFamily family);
    // The dialog OpenToggles shows, with its toggles posting to this view.
    std::unique_ptr<CDialogScreeningToggles> CreateToggleDialog(ToggleFamily family);
    void OpenRangeDialog(int group);
    void OpenInclinationDialog();
    void OpenTurnoverDialog();
    void OpenWindowsAndShadowsDialog();

    bool SelectListing(SecurityKey key);
    bool SelectCode(std::uint16_t code);
    std::optional<SecurityKey> CurrentSecurity() const;

    CGridSecurities& Grid() const { return *grid_; }
    const CSecuritiesList& List() const { return list_; }
    QString SummaryText() const;
    CToggleButton* RangeToggle(int group) const { return rangeToggles_[group]; }
    CToggleButton* InclinationToggle(bool current) const {
        return current ? inclinationCurrent_ : inclinationPrevious_;
    }
    CToggleButton* TurnoverToggle() const { return turnoverToggle_; }
    CToggleButton* WindowsShadowsToggle() const { return windowsShadowsToggle_; }

signals:
    // A double click on a row: show the security's chart.
    void securityActivated(SecurityKey key);
    // The conditions or the lists changed; the owner records the screening.
    void settingsChanged();
    void currentSecurityChanged(SecurityKey key);
    // The report dialog made a report (UTF-8 text), for the report contents.
    void reportMade(const QString& text);

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildPanel();
    void ShowSettings();
    // Records and rebuilds after a change made here.
    void ConditionsChanged();

    CMarketMatrix& matrix_;
    CMarketWindows& marketWindows_;
    AnalysisResults& analysis_;
    CIndicatorScreening& indicators_;
    ScreeningSettings& settings_;
    CSavedScreenings& saved_;
    CSecuritiesList list_;
    bool prepared_ = false;
    bool preparing_ = false; // the analysis results must not be read meanwhile
    unsigned reportCount_ = 50;

    CGridSecurities* grid_ = nullptr;
    QLabel* summary_ = nullptr;
    std::array<QLabel*, 6> familyTexts_{};
    std::array<CToggleButton*, 7> rangeToggles_{};
    std::array<QLabel*, 7> rangeTexts_{};
    CToggleButton* inclinationCurrent_ = nullptr;
    CToggleButton* inclinationPrevious_ = nullptr;
    QLabel* inclinationText_ = nullptr;
    CToggleButton* turnoverToggle_ = nullptr;
    QLabel* turnoverText_ = nullptr;
    CToggleButton* windowsShadowsToggle_ = nullptr;
    QLabel* windowsShadowsText_ = nullptr;
    QLabel* preferredCount_ = nullptr;
    QLabel* excludedCount_ = nullptr;
};

} // namespace vorn
