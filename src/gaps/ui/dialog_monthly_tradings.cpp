#include "gaps/ui/dialog_monthly_tradings.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace vorn {

CDialogMonthlyTradings::CDialogMonthlyTradings(IMessageSink* owner, QWidget* parent)
    : CToolWindow(kMonthlyTradingListClosed, owner, true, parent) {
    setWindowTitle(QStringLiteral("月別トレーディング"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    grid_ = new CGridMonthlyTradings(this);
    layout->addWidget(grid_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(6, 0, 6, 4);
    buttons->addStretch();
    save_ = new QPushButton(QStringLiteral("保存..."), this);
    save_->setAutoDefault(false);
    connect(save_, &QPushButton::clicked, this, [this] { Save(); });
    buttons->addWidget(save_);
    layout->addLayout(buttons);
    resize(640, 300);
}

void CDialogMonthlyTradings::Fill(const SecurityRecord* security,
                                  std::span<const MonthlySegment> segments,
                                  const CCalendar& calendar, std::int64_t priceScale) {
    grid_->Load(security, segments, calendar, priceScale);
    ShowTitle(security);
}

void CDialogMonthlyTradings::Fill(const CWindowsPerformer& performer) {
    grid_->LoadFrom(performer);
    ShowTitle(performer.Security());
}

void CDialogMonthlyTradings::ShowTitle(const SecurityRecord* security) {
    if (security != nullptr)
        setWindowTitle(QStringLiteral("月別") +
                       QString::fromStdString(TradingWindowTitle(security)));
}

QString WithCsvExtension(const QString& file) {
    // A name without an extension gets the one the filter offers.
    const QFileInfo info(file);
    return info.suffix().isEmpty() ? file + QStringLiteral(".csv") : file;
}

void CDialogMonthlyTradings::Save() {
    QString file = QFileDialog::getSaveFileName(this, QStringLiteral("保存"), QString(),
                                                QStringLiteral("CSV Files(*.csv)"));
    if (file.isEmpty())
        return;
    file = WithCsvExtension(file);
    if (!ExportTo(std::filesystem::path(QFile::encodeName(file).toStdString()))) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("ファイルに保存できませんでした。"));
        return;
    }
    // The main window's status bar confirms it.
    const QWidget* top = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    if (const auto* main = qobject_cast<const QMainWindow*>(top))
        main->statusBar()->showMessage(QStringLiteral("保存しました: ") + file, 4000);
}

bool CDialogMonthlyTradings::ExportTo(const std::filesystem::path& path) const {
    return ExportMonthlyTrades(path, grid_->List().Rows());
}

} // namespace vorn
