#include "shell/vorn_view.h"

#include "acquisition/http_agent.h"
#include "chart/ui/graph.h"
#include "foundation/agency.h"
#include "gaps/details_panel_model.h"
#include "gaps/market_windows.h"
#include "gaps/ui/dialog_law_performance.h"
#include "gaps/ui/dialog_monthly_tradings.h"
#include "gaps/ui/dialog_tradings.h"
#include "gaps/ui/market_windows_details.h"
#include "gaps/windows_performer.h"
#include "matrix/market_naming.h"
#include "screening/ui/screening_view.h"
#include "shell/vorn_app.h"
#include "ui_base/posted_message.h"

#include <QFile>
#include <QFrame>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace vorn {

namespace {

// The report contents show server pages too: the text browser alone reads local files only.
class CReportBrowser final : public QTextBrowser {
public:
    using QTextBrowser::QTextBrowser;

    QVariant loadResource(int type, const QUrl& name) override {
        if (name.scheme() != QLatin1String("http"))
            return QTextBrowser::loadResource(type, name);
        CAgency agency;
        CHttpAgent agent;
        agent.SetTimeouts(5000, 5000);
        GrowableBuffer buffer;
        QString server = name.host();
        if (name.port() > 0)
            server += QLatin1Char(':') + QString::number(name.port());
        QString object = name.path(QUrl::FullyEncoded);
        if (name.hasQuery())
            object += QLatin1Char('?') + name.query(QUrl::FullyEncoded);
        bool fetched = false;
        if (agency.OpenSession() && agency.Connect(agent, server.toStdString()))
            fetched = agent.FetchToBuffer(buffer, object.toStdString());
        agent.Disconnect();
        agency.CloseSession();
        if (!fetched)
            return {};
        return QByteArray(reinterpret_cast<const char*>(buffer.data.get()),
                          static_cast<qsizetype>(buffer.length));
    }
};

} // namespace
namespace {

constexpr int kPortfolioUpperHeight = 100;

QFrame* EmptyPane(QWidget* parent) {
    auto* pane = new QFrame(parent);
    pane->setFrameShape(QFrame::StyledPanel);
    return pane;
}

} // namespace

CVornView::CVornView(CVornApp& app, IMessageSink* frameSink, QWidget* parent)
    : QWidget(parent), app_(app), poster_(std::make_unique<CMessagePoster>(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    layout->addWidget(pages_);

    chartPage_ = new QWidget(pages_);
    auto* chartColumn = new QVBoxLayout(chartPage_);
    chartColumn->setContentsMargins(0, 0, 0, 0);
    chartColumn->setSpacing(0);
    details_ =
        new CMarketWindowsDetails(app_.Matrix(), app_.Performer(), poster_.get(), chartPage_);
    graph_ = new CGraph(chartPage_);
    graph_->SetMarket(&app_.Matrix(), &app_.Windows(), &app_.Performer());
    graph_->SetMessageSink(frameSink);
    graph_->SetColourScheme(app_.WhiteChart());
    details_->SetWhiteScheme(app_.WhiteChart());
    graph_->SetZoomStep(zoomStep_);
    chartColumn->addWidget(details_);
    chartColumn->addWidget(graph_, 1);
    pages_->addWidget(chartPage_);

    screening_ =
        new CScreeningView(app_.Matrix(), app_.Windows(), app_.Analysis(), app_.Indicators(),
                           app_.Screening(), app_.SavedScreenings(), pages_);
    pages_->addWidget(screening_);

    portfolioPage_ = new QWidget(pages_);
    auto* portfolio = new QVBoxLayout(portfolioPage_);
    portfolio->setContentsMargins(0, 0, 0, 0);
    QFrame* upper = EmptyPane(portfolioPage_);
    upper->setFixedHeight(kPortfolioUpperHeight);
    portfolio->addWidget(upper);
    portfolio->addWidget(EmptyPane(portfolioPage_), 1);
    pages_->addWidget(portfolioPage_);

    report_ = new CReportBrowser(pages_);
    report_->setOpenExternalLinks(true);
    pages_->addWidget(report_);

    connect(graph_, &CGraph::SecurityStepRequested, this,
            [this](SecurityKey key) { app_.SelectStock(app_.Matrix().FindSecurity(key)); });
    connect(graph_, &CGraph::CommandRequested, this, &CVornView::commandRequested);
    connect(graph_, &CGraph::VisibleDaysChanged, this, [this](int) {
        RecordChart();
        emit stateChanged();
    });
    connect(screening_, &CScreeningView::securityActivated, this, [this](SecurityKey key) {
        if (const SecurityRecord* security = app_.Matrix().FindSecurity(key)) {
            app_.SetSelectedStock(security);
            Refresh(0, 0, false);
            emit stateChanged();
        }
    });
    connect(screening_, &CScreeningView::reportMade, this, [this](const QString& text) {
        if (ShowReportText(text))
            emit statusMessage(QStringLiteral("レポートをクリップボードにコピーしました"));
    });
    connect(screening_, &CScreeningView::settingsChanged, this, [this] {
        RecordScreening();
        emit stateChanged();
    });

    SwitchContents(kContentsChart);

    // The modeless tool windows, owned by the view and reporting to it with 1027.
    tradings_ = new CDialogTradings(poster_.get(), this);
    monthly_ = new CDialogMonthlyTradings(poster_.get(), this);
    law_ = new CDialogLawPerformance(app_.Analysis(), poster_.get(), this);
    law_->SetForwarding(
        window(), [this] { return static_cast<int>(app_.ContentsMode()); },
        [this]() -> QWidget* { return screening_; });
    // In the screening contents the law performance panel follows the list's current row.
    connect(screening_, &CScreeningView::currentSecurityChanged, this, [this](SecurityKey key) {
        if (const SecurityRecord* security = app_.Matrix().FindSecurity(key))
            law_->SetListing(security, MarketNamingOf(app_.Matrix()));
    });
    ready_ = true;
}

CVornView::~CVornView() = default;

const CChartModel* CVornView::ChartModel() const {
    return graph_->Model();
}

void CVornView::SetZoomStep(std::uint16_t step) {
    zoomStep_ = step;
    graph_->SetZoomStep(step);
}

void CVornView::SetWhiteScheme(bool white) {
    // The whole chart area follows the scheme, the details panel included.
    graph_->SetColourScheme(white);
    details_->SetWhiteScheme(white);
}

void CVornView::Refresh(std::uint16_t visibleDays, int detailsArgument, bool force) {
    RefreshAt(visibleDays, CChartModel::kLastPosition, force);
}

void CVornView::RefreshAt(std::uint16_t visibleDays, std::uint16_t position, bool force) {
    const SecurityRecord* selected = app_.SelectedStock();
    if (selected == nullptr)
        return;
    const SecurityRecord* security = app_.Matrix().FindSecurity(selected->Key());
    if (security == nullptr)
        return;
    if (security != analysedLast_ || app_.Performer().Period() != seriesKind_)
        force = true;
    if (!app_.Windows().AnalyseListingByKey(app_.Matrix(), security->Key(), seriesKind_,
                                            app_.Performer(), force))
        return;
    analysedLast_ = security;
    graph_->ShowSecurity(security->Key(), seriesKind_, visibleDays, position);
    details_->Refresh();
    SwitchContents(kContentsChart);
    FillPanels();
    RecordChart();
}

void CVornView::SetSeriesKind(PeriodKind kind) {
    if (IsPeriodKind(kind))
        seriesKind_ = kind;
}

void CVornView::ShowSeries(PeriodKind kind) {
    if (!IsPeriodKind(kind) || graph_->Model() == nullptr || graph_->Model()->Stock() == nullptr)
        return;
    seriesKind_ = kind;
    // The visible count is kept in periods: the newest weeks or months come into view.
    graph_->SetDisplay(kind, 0, CChartModel::kLastPosition);
    details_->Refresh();
    FillPanels();
    RecordChart();
    emit stateChanged();
}

void CVornView::FillPanels() {
    tradings_->Fill(app_.Performer());
    monthly_->Fill(app_.Performer());
    if (app_.ContentsMode() == kContentsScreening) {
        if (const auto key = screening_->CurrentSecurity())
            law_->SetListing(app_.Matrix().FindSecurity(*key), MarketNamingOf(app_.Matrix()));
    } else {
        law_->SetListing(app_.SelectedStock(), MarketNamingOf(app_.Matrix()));
    }
}

void CVornView::RecordChart() {
    const CChartModel* model = graph_->Model();
    if (model == nullptr || model->Stock() == nullptr)
        return;
    app_.Recorder().RecordChart(model->Stock(), model->SeriesKind(), model->VisibleDays(),
                                model->Position());
}

void CVornView::RecordScreening() {
    app_.Recorder().RecordScreening(app_.Screening());
}

void CVornView::SwitchContents(ContentsKind mode) {
    app_.SetContentsMode(mode);
    switch (mode) {
    case kContentsChart:
        pages_->setCurrentWidget(chartPage_);
        break;
    case kContentsScreening:
        pages_->setCurrentWidget(screening_);
        break;
    case kContentsPortfolio:
        pages_->setCurrentWidget(portfolioPage_);
        break;
    case kContentsReport:
        pages_->setCurrentWidget(report_);
        break;
    }
    if (ready_)
        ApplyPanels();
    emit contentsSwitched();
}

bool CVornView::ChartVisible() const {
    return app_.ContentsMode() == kContentsChart && pages_->currentWidget() == chartPage_;
}
bool CVornView::ScreeningVisible() const {
    return app_.ContentsMode() == kContentsScreening;
}
bool CVornView::PortfolioVisible() const {
    return app_.ContentsMode() == kContentsPortfolio;
}
bool CVornView::ReportVisible() const {
    return app_.ContentsMode() == kContentsReport;
}

void CVornView::TogglePanel(std::uint8_t bit) {
    panelFlags_ ^= bit;
    if ((panelFlags_ & bit) != 0)
        FillPanels();
    ApplyPanels();
}

void CVornView::ApplyPanels() {
    const bool chart = app_.ContentsMode() == kContentsChart;
    const bool screening = app_.ContentsMode() == kContentsScreening;
    tradings_->setVisible(chart && (panelFlags_ & kPanelTradings) != 0);
    monthly_->setVisible(chart && (panelFlags_ & kPanelMonthlyTradings) != 0);
    law_->setVisible((chart || screening) && (panelFlags_ & kPanelLawPerformance) != 0);
}

QString CVornView::ReportLocation() const {
    return reportLocation_;
}

void CVornView::NavigateReport(const QString& address, bool restoring) {
    reportLocation_ = address;
    report_->setSource(QUrl::fromUserInput(address));
    if (!restoring && address != QLatin1String("about:blank"))
        app_.Recorder().RecordReport(address.toStdString());
}

bool CVornView::ShowReportText(const QString& text) {
    if (!reportPages_)
        reportPages_ = std::make_unique<QTemporaryDir>();
    if (!reportPages_->isValid())
        return false;
    // One page per report, so that the history can show each again.
    const QString path =
        reportPages_->filePath(QStringLiteral("report-%1.html").arg(++reportCount_));
    QFile page(path);
    if (!page.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray html = QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body>"
                                           "<pre>%1</pre></body></html>")
                                .arg(text.toHtmlEscaped())
                                .toUtf8();
    if (page.write(html) != html.size() || !page.flush())
        return false;
    page.close();
    NavigateReport(QUrl::fromLocalFile(path).toString(), false);
    SwitchContents(kContentsReport);
    emit stateChanged();
    return true;
}

void CVornView::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QWidget::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    if (message->Message() == kMsgToolWindowClosed) {
        // The user closed the window: its bit goes, so that it stays closed.
        panelFlags_ &= static_cast<std::uint8_t>(~message->WParam());
        emit stateChanged();
    } else if (message->Message() == kMsgDetailsSelectListing) {
        const auto code = static_cast<std::uint16_t>(message->WParam());
        const auto market = static_cast<std::uint8_t>(message->LParam());
        app_.SelectStock(app_.Matrix().FindSecurity(MakeSecurityKey(code, market)));
    }
}

} // namespace vorn
