#pragma once
// The main view: shows one kind of contents at a time (the chart with its details panel and
// tool windows, the screening list, the portfolio panes, or a report page).
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "chart/chart_model.h"
#include "contents/contents.h"
#include "ui_base/command_id.h"

#include <QWidget>
#include <cstdint>
#include <memory>

class QStackedWidget;
class QTextBrowser;
class QTemporaryDir;

namespace vorn {

class CVornApp;
class CGraph;
class CMarketWindowsDetails;
class CDialogTradings;
class CDialogMonthlyTradings;
class CDialogLawPerformance;
class CScreeningView;
class CMessagePoster;
class IMessageSink;

// Panel bits of the tool windows beside the chart; also the identifiers they report with.
constexpr std::uint8_t kPanelTradings = 1;
constexpr std::uint8_t kPanelMonthlyTradings = 2;
constexpr std::uint8_t kPanelLawPerformance = 4;

constexpr std::uint16_t kZoomSteps[] = {1, 5, 10, 15, 30, 45};

class CVornView final : public QWidget {
    Q_OBJECT
public:
    // `frameSink` receives the chart's cursor reports and the hide-popup messages.
    CVornView(CVornApp& app, IMessageSink* frameSink, QWidget* parent = nullptr);
    ~CVornView() override;

    // Shows the selected stock with `visibleDays` (0 keeps the number), newest days first.
    void Refresh(std::uint16_t visibleDays, int detailsArgument, bool force);
    // The same at an explicit scroll position.
    void RefreshAt(std::uint16_t visibleDays, std::uint16_t position, bool force);
    void SwitchContents(ContentsKind mode);
    // The series kind (daily, weekly, monthly) of the charts shown from now on.
    void SetSeriesKind(PeriodKind kind);
    PeriodKind SeriesKind() const { return seriesKind_; }
    // Shows the chart's stock as a daily, weekly or monthly series and records it.
    void ShowSeries(PeriodKind kind);
    // Records what the chart shows now in the history.
    void RecordChart();
    void RecordScreening();

    bool IsReady() const { return ready_; }
    bool ChartVisible() const;
    bool ScreeningVisible() const;
    bool PortfolioVisible() const;
    bool ReportVisible() const;

    CGraph& Chart() { return *graph_; }
    const CGraph& Chart() const { return *graph_; }
    // The chart model of the shown stock; null before one was shown.
    const CChartModel* ChartModel() const;
    CMarketWindowsDetails& Details() { return *details_; }
    CScreeningView& Screening() { return *screening_; }
    CDialogTradings& Tradings() { return *tradings_; }
    CDialogMonthlyTradings& MonthlyTradings() { return *monthly_; }
    CDialogLawPerformance& LawPerformance() { return *law_; }

    std::uint8_t PanelFlags() const { return panelFlags_; }
    void TogglePanel(std::uint8_t bit);
    std::uint16_t ZoomStep() const { return zoomStep_; }
    void SetZoomStep(std::uint16_t step);
    // The report location; empty until a report was shown.
    QString ReportLocation() const;
    void NavigateReport(const QString& address, bool restoring);
    void SetWhiteScheme(bool white);
    // Shows a text report as preformatted text in the report contents and records it in the
    // history; false when its page could not be written.
    bool ShowReportText(const QString& text);

signals:
    // Ask the frame to clear the status panes, hide the name popup and show the mode's bars.
    void contentsSwitched();
    // Something the enabling of commands depends on has changed.
    void stateChanged();
    // The chart asked for a command from its context menu.
    void commandRequested(CommandId command);
    // A short note for the status bar.
    void statusMessage(const QString& text);

protected:
    void customEvent(QEvent* event) override;

private:
    void ApplyPanels();
    void FillPanels();

    CVornApp& app_;
    std::unique_ptr<CMessagePoster> poster_; // the tool windows and the details panel report here
    QStackedWidget* pages_ = nullptr;
    QWidget* chartPage_ = nullptr;
    CMarketWindowsDetails* details_ = nullptr;
    CGraph* graph_ = nullptr;
    CScreeningView* screening_ = nullptr;
    QWidget* portfolioPage_ = nullptr;
    QTextBrowser* report_ = nullptr;
    CDialogTradings* tradings_ = nullptr;
    CDialogMonthlyTradings* monthly_ = nullptr;
    CDialogLawPerformance* law_ = nullptr;
    QString reportLocation_;
    std::unique_ptr<QTemporaryDir> reportPages_; // pages of the text reports, made on demand
    int reportCount_ = 0;
    const void* analysedLast_ = nullptr;
    std::uint8_t panelFlags_ = 0;
    std::uint16_t zoomStep_ = 15;
    PeriodKind seriesKind_ = PeriodKind::Daily;
    bool ready_ = false;
};

} // namespace vorn
