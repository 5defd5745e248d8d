#include "gaps/ui/dialog_tradings.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace vorn {
namespace {

void SetTextColour(QLabel* label, ColorRef colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ToQColor(colour));
    label->setPalette(palette);
}

} // namespace

CDialogTradings::CDialogTradings(IMessageSink* owner, QWidget* parent)
    : CToolWindow(kTradingListClosed, owner, false, parent) {
    setWindowTitle(QStringLiteral("トレーディング"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    grid_ = new CGridTradings(this);
    layout->addWidget(grid_, 1);

    auto* bar = new QWidget(this);
    bar->setAutoFillBackground(true);
    QPalette palette = bar->palette();
    palette.setColor(QPalette::Window, Qt::black);
    bar->setPalette(palette);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 3, 6, 3);
    const char* labels[] = {"買い／売り：", "損益：", "損益率："};
    for (int i = 0; i < 3; ++i) {
        auto* label = new QLabel(QString::fromUtf8(labels[i]), bar);
        SetTextColour(label, kTextWhite);
        fields_[i] = new QLabel(bar);
        fields_[i]->setTextFormat(Qt::PlainText);
        row->addWidget(label);
        row->addWidget(fields_[i]);
    }
    row->addStretch();
    layout->addWidget(bar);
    resize(640, 300);
    ShowSummary(nullptr);
}

void CDialogTradings::Fill(const SecurityRecord* security, std::span<const PositionEntry> positions,
                           const CCalendar& calendar, int firstPosition, std::int64_t priceScale) {
    grid_->Load(security, positions, calendar, firstPosition, priceScale);
    ShowSummary(security);
}

void CDialogTradings::Fill(const CWindowsPerformer& performer) {
    grid_->LoadFrom(performer);
    ShowSummary(performer.Security());
}

QLabel* CDialogTradings::SummaryField(int index) const {
    return index >= 0 && index < 3 ? fields_[index] : nullptr;
}

void CDialogTradings::ShowSummary(const SecurityRecord* security) {
    if (security != nullptr)
        setWindowTitle(QString::fromStdString(TradingWindowTitle(security)));
    summary_ = SummariseTrades(grid_->List().Rows(), grid_->List().Hundredths());
    const TradeSummaryField* shown[] = {&summary_.counts, &summary_.profit, &summary_.rate};
    for (int i = 0; i < 3; ++i) {
        fields_[i]->setText(QString::fromStdString(shown[i]->text));
        SetTextColour(fields_[i], shown[i]->colour);
    }
}

} // namespace vorn
