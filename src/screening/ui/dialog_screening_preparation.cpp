#include "screening/ui/dialog_screening_preparation.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "ui_base/posted_message.h"

namespace vorn {
namespace {

constexpr std::uintptr_t kWorkerFinished = 1;
constexpr std::uintptr_t kWorkerRefused = static_cast<std::uintptr_t>(-1);

class CWaitCursor {
public:
    CWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};

} // namespace

CDialogScreeningPreparation::CDialogScreeningPreparation(
    const CMarketMatrix& matrix, CMarketWindows& marketWindows, AnalysisResults& analysis,
    CIndicatorScreening& indicators, const ScreeningSettings& settings, QWidget* parent)
    : QDialog(parent), matrix_(matrix), marketWindows_(marketWindows), analysis_(analysis),
      indicators_(indicators), settings_(settings), poster_(std::make_unique<CMessagePoster>(this)),
      bar_(new QProgressBar(this)) {
    setWindowTitle(QStringLiteral("Vorn"));
    setModal(true);
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QString::fromUtf8(kScreeningPreparationText), this));
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    bar_->setMinimumWidth(320);
    layout->addWidget(bar_);
}

CDialogScreeningPreparation::~CDialogScreeningPreparation() {
    if (running_) {
        marketWindows_.CancelEvent().Set();
        marketWindows_.JoinWorker();
    }
}

void CDialogScreeningPreparation::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        QMetaObject::invokeMethod(
            this, [this] { Start(); }, Qt::QueuedConnection);
    }
}

void CDialogScreeningPreparation::Start() {
    running_ = true;
    // A refusal or a thread failure is posted as well; that message then finds the dialog
    // closing and is ignored.
    if (!marketWindows_.StartMarketAnalysis(matrix_, analysis_, poster_.get())) {
        running_ = false;
        Fail();
    }
}

void CDialogScreeningPreparation::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QDialog::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    if (message->Message() == kMsgProgress)
        HandleProgress(message->WParam(), message->LParam());
}

void CDialogScreeningPreparation::HandleProgress(std::uintptr_t wParam, std::intptr_t lParam) {
    if (closing_)
        return;
    if (wParam == kProgressPercent) {
        bar_->setValue(static_cast<int>(std::clamp<std::intptr_t>(lParam, 0, 100)));
    } else if (wParam == kWorkerFinished || wParam == kWorkerRefused) {
        // Our worker has ended (a refusal of the start leaves running_ clear, and the worker
        // that was running then is not ours to wait for).
        if (running_)
            marketWindows_.JoinWorker();
        running_ = false;
        if (wParam == kWorkerFinished)
            Finish();
        else
            Fail();
    }
}

void CDialogScreeningPreparation::Finish() {
    closing_ = true;
    bar_->setValue(100);
    {
        const CWaitCursor wait;
        if (!indicators_.IsInclinationScreeningCurrent(settings_.inclinationParameters))
            indicators_.RecomputeInclinationScreening(settings_.inclinationParameters);
        indicators_.RecomputeTurnoverScreening(settings_.turnoverParameters);
    }
    succeeded_ = true;
    accept();
}

void CDialogScreeningPreparation::Fail() {
    closing_ = true;
    bar_->setTextVisible(false);
    bar_->setValue(100);
    bar_->setStyleSheet(QStringLiteral("QProgressBar::chunk { background-color: red; }"));
    QTimer::singleShot(1000, this, [this] { QDialog::reject(); });
}

void CDialogScreeningPreparation::reject() {
    if (!running_ && !closing_)
        QDialog::reject();
}

} // namespace vorn
