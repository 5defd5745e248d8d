#include "shell/dialog_startup_progress.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include "shell/command_ids.h"
#include "shell/dialog_matrix_downloader.h"
#include "ui_base/posted_message.h"

namespace vorn {
namespace {

const QString kBarStyle =
    QStringLiteral("QProgressBar { background: black; border: 1px solid #404040; }"
                   "QProgressBar::chunk { background: %1; }");

} // namespace

CDialogStartupProgress::CDialogStartupProgress(IProfile& profile, CMarketMatrixLoader& loader,
                                               CMarketMatrix& matrix, CMarketWindows& windows,
                                               const StartupConfig& config, QWidget* parent)
    : QDialog(parent), config_(config) {
    setWindowTitle(QStringLiteral("ヴォルン [起動]"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    stepBar_ = new QProgressBar(this);
    stepBar_->setObjectName(kStepBarName);
    status_ = new QLabel(this);
    status_->setObjectName(kStatusTextName);
    status_->setAutoFillBackground(true);
    status_->setMinimumHeight(24);
    // A failure of the J-Quants API says where and why, which takes more than one line.
    status_->setWordWrap(true);
    overallBar_ = new QProgressBar(this);
    overallBar_->setObjectName(kOverallBarName);
    for (QProgressBar* bar : {stepBar_, overallBar_}) {
        bar->setRange(0, 100);
        bar->setTextVisible(false);
        bar->setFixedHeight(14);
    }
    layout->addWidget(stepBar_);
    layout->addWidget(status_);
    layout->addWidget(overallBar_);
    setFixedWidth(420);

    poster_ = std::make_unique<CMessagePoster>(this);
    sequence_ = std::make_unique<CStartupSequence>(profile, loader, matrix, windows, *poster_);
    sequence_->SetChooser(this);
    ShowView();
}

CDialogStartupProgress::~CDialogStartupProgress() {
    closing_ = true;
    chosen_.Set();
    if (sequence_)
        sequence_->Cancel();
    sequence_.reset();
}

void CDialogStartupProgress::SetPauses(const StartupPauses& pauses) {
    sequence_->SetPauses(pauses);
}

std::uint32_t CDialogStartupProgress::Flags() const {
    return started_ ? sequence_->Flags() : config_.flags;
}

bool CDialogStartupProgress::RunModal() {
    started_ = sequence_->Start(config_);
    if (!started_) {
        view_.status = kTextStartupNoThread;
        ShowView();
    }
    exec();
    if (started_)
        sequence_->Wait();
    return Failed();
}

void CDialogStartupProgress::ShowView() {
    stepBar_->setValue(static_cast<int>(view_.stepBar));
    overallBar_->setValue(static_cast<int>(view_.overallBar));
    const QString barColour = view_.failureColours ? QStringLiteral("red") : QStringLiteral("lime");
    stepBar_->setStyleSheet(kBarStyle.arg(barColour));
    overallBar_->setStyleSheet(kBarStyle.arg(barColour));
    status_->setStyleSheet(view_.failureColours
                               ? QStringLiteral("QLabel { color: #FFD700; background: red; }")
                               : QStringLiteral("QLabel { color: white; background: black; }"));
    status_->setText(QString::fromStdString(view_.status));
}

void CDialogStartupProgress::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QDialog::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    if (message->Message() == kMsgChoosePackage) {
        const auto* index = reinterpret_cast<const MatrixIndex*>(message->LParam());
        unsigned years = 0;
        if (index != nullptr && externalChooser_ == this) {
            CDialogMatrixDownloader downloader(*index, this);
            years = downloader.Choose();
        } else if (index != nullptr && externalChooser_ != nullptr) {
            years = externalChooser_->ChoosePackage(*index);
        }
        chosenYears_ = years;
        chosen_.Set();
        return;
    }
    const bool isText =
        message->Message() == kMsgProgress &&
        (message->WParam() == kProgressText || message->WParam() == kProgressFailureText ||
         message->WParam() == kProgressDetailText);
    ApplyStartupMessage(view_, message->Message(), message->WParam(), message->LParam(),
                        isText ? reinterpret_cast<const char*>(message->LParam()) : nullptr);
    ShowView();
    if (view_.closed)
        done(Failed() ? QDialog::Rejected : QDialog::Accepted);
}

unsigned CDialogStartupProgress::ChoosePackage(const MatrixIndex& index) {
    // Runs on the worker: the choice is made by the dialog's thread, which releases us.
    chosen_.Reset();
    // Checked after the reset: a dialog closing meanwhile has set the event or the flag.
    if (closing_)
        return 0;
    poster_->Post(kMsgChoosePackage, 0, reinterpret_cast<std::intptr_t>(&index));
    chosen_.Wait();
    return closing_ ? 0 : chosenYears_;
}

void CDialogStartupProgress::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
        if (!started_ && key != Qt::Key_Escape) {
            // Without a worker only Enter ends the dialog; start-up goes on without data.
            accept();
            return;
        }
        if (started_)
            sequence_->Cancel();
        return; // never passed on: the dialog closes only when the worker says so
    }
    QDialog::keyPressEvent(event);
}

void CDialogStartupProgress::closeEvent(QCloseEvent* event) {
    if (started_ && !view_.closed) {
        sequence_->Cancel();
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

} // namespace vorn
