#include "shell/screenshot.h"

#include "acquisition/matrix_index.h"
#include "foundation/packed_date.h"
#include "matrix/market_matrix.h"
#include "matrix/stock_code.h"
#include "screening/ui/screening_view.h"
#include "shell/command_ids.h"
#include "shell/main_frame.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <cstdio>
#include <string>
#include <unistd.h>

namespace vorn {
namespace {

// A window smaller than this (an offscreen platform gives the size hint) is enlarged, so that
// the picture shows the contents rather than their minimum.
constexpr int kMinimumWidth = 1024;
constexpr int kMinimumHeight = 700;
constexpr int kPictureWidth = 1280;
constexpr int kPictureHeight = 800;
constexpr int kMaxMarket = 15;

bool ParseDigits(const QString& text, int maxDigits, unsigned& value) {
    if (text.isEmpty() || text.size() > maxDigits)
        return false;
    value = 0;
    for (QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return true;
}

const SecurityRecord* FindRequested(const CMarketMatrix& matrix, const ScreenshotRequest& request) {
    const auto& securities = matrix.Securities();
    if (!request.hasCode)
        return securities.empty() ? nullptr : &securities.begin()->second;
    if (request.market != 0)
        return matrix.FindSecurity(MakeSecurityKey(request.code, request.market));
    const auto found = securities.lower_bound(MakeSecurityKey(request.code, 0));
    return found != securities.end() && found->second.Code() == request.code ? &found->second
                                                                             : nullptr;
}

// Lets layouts, queued calls and paints run before the picture is taken.
void Settle() {
    for (int round = 0; round < 3; ++round)
        QCoreApplication::processEvents();
}

} // namespace

bool ParseScreenshotCode(const QString& text, ScreenshotRequest& request) {
    const qsizetype colon = text.indexOf(QLatin1Char(':'));
    unsigned market = 0;
    const std::optional<std::uint16_t> code =
        ParseStockCode((colon < 0 ? text : text.left(colon)).toStdString());
    if (!code)
        return false;
    if (colon >= 0 &&
        (!ParseDigits(text.mid(colon + 1), 2, market) || market == 0 || market > kMaxMarket))
        return false;
    request.code = *code;
    request.market = static_cast<std::uint8_t>(market);
    request.hasCode = true;
    return true;
}

bool ParseScreenshotMode(const QString& text, ContentsKind& mode) {
    if (text == QLatin1String("chart"))
        mode = kContentsChart;
    else if (text == QLatin1String("screening"))
        mode = kContentsScreening;
    else if (text == QLatin1String("report"))
        mode = kContentsReport;
    else
        return false;
    return true;
}

bool ParseScreenshotPeriod(const QString& text, PeriodKind& seriesKind) {
    if (text == QLatin1String("daily"))
        seriesKind = PeriodKind::Daily;
    else if (text == QLatin1String("weekly"))
        seriesKind = PeriodKind::Weekly;
    else if (text == QLatin1String("monthly"))
        seriesKind = PeriodKind::Monthly;
    else
        return false;
    return true;
}

bool ParseScreenshotSize(const QString& text, ScreenshotRequest& request) {
    const qsizetype cross = text.indexOf(QLatin1Char('x'));
    unsigned width = 0;
    unsigned height = 0;
    if (cross < 0 || !ParseDigits(text.left(cross), 5, width) ||
        !ParseDigits(text.mid(cross + 1), 5, height))
        return false;
    if (width < kScreenshotMinWidth || height < kScreenshotMinHeight ||
        width > kScreenshotMaxSide || height > kScreenshotMaxSide)
        return false;
    request.width = static_cast<int>(width);
    request.height = static_cast<int>(height);
    return true;
}

bool TakeScreenshot(CVornApp& app, const ScreenshotRequest& request, QString& error) {
    CMainFrame* frame = app.MainFrame();
    if (frame == nullptr) {
        error = QStringLiteral("the main window is not open");
        return false;
    }
    const SecurityRecord* security = FindRequested(app.Matrix(), request);
    if (security == nullptr && request.hasCode) {
        error = request.market != 0
                    ? QStringLiteral("unknown security %1:%2")
                          .arg(QString::fromStdString(FormatStockCode(request.code)))
                          .arg(request.market)
                    : QStringLiteral("unknown security %1")
                          .arg(QString::fromStdString(FormatStockCode(request.code)));
        return false;
    }
    if (request.width != 0) {
        frame->showNormal();
        frame->resize(request.width, request.height);
    } else if (!frame->isMaximized() &&
               (frame->width() < kMinimumWidth || frame->height() < kMinimumHeight)) {
        frame->resize(std::max(frame->width(), kPictureWidth),
                      std::max(frame->height(), kPictureHeight));
    }
    Settle();

    CVornView& view = frame->View();
    view.SetSeriesKind(request.seriesKind);
    if (security != nullptr) {
        app.SetSelectedStock(security);
        app.ShowSelection(0, false);
    }
    switch (request.mode) {
    case kContentsScreening:
        frame->RunCommand(kIdContentsScreening);
        if (!view.Screening().EnsurePrepared()) {
            error = QStringLiteral("the screening could not be prepared");
            return false;
        }
        if (security != nullptr)
            view.Screening().SelectListing(security->Key());
        break;
    case kContentsReport:
        // Without a report opened yet, the report dialog's default report is shown.
        if (view.ReportLocation().isEmpty()) {
            if (!view.Screening().EnsurePrepared()) {
                error = QStringLiteral("the screening could not be prepared");
                return false;
            }
            if (!view.ShowReportText(view.Screening().DefaultReport())) {
                error = QStringLiteral("the report page could not be written");
                return false;
            }
        }
        view.SwitchContents(kContentsReport);
        break;
    default:
        frame->RunCommand(kIdContentsChart);
        if (security == nullptr && request.seriesKind != PeriodKind::Daily)
            view.ShowSeries(request.seriesKind);
        break;
    }
    frame->UpdateCommandStates();
    Settle();

    const QImage picture = frame->grab().toImage();
    if (picture.isNull()) {
        error = QStringLiteral("the main window could not be drawn");
        return false;
    }
    if (!picture.save(request.path, "PNG")) {
        error = QStringLiteral("cannot write ") + request.path;
        return false;
    }
    return true;
}

unsigned CTerminalPackageChooser::ChoosePackage(const MatrixIndex& index) {
    if (index.packages.empty() || ::isatty(STDIN_FILENO) == 0 || ::isatty(STDERR_FILENO) == 0)
        return 0;
    std::fprintf(stderr, "分析に用いる株式情報を選択して下さい\n");
    for (const auto& [years, first] : index.packages)
        std::fprintf(stderr, "  %2u: %04u/%02u/%02u -\n", unsigned{years}, DateYear(first),
                     DateMonth(first), DateDay(first));
    std::fprintf(stderr, "years (empty to cancel): ");
    std::fflush(stderr);
    char line[32] = {};
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        return 0;
    unsigned years = 0;
    if (!ParseDigits(QString::fromLatin1(line).trimmed(), 2, years))
        return 0;
    return index.packages.count(static_cast<std::uint8_t>(years)) != 0 ? years : 0;
}

} // namespace vorn
