#include "acquisition/ui/dialog_matrix_recovery.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <cstdio>
#include <system_error>

#include "ui_base/graphic_manager.h"
#include "ui_base/posted_message.h"

namespace vorn {
namespace {

constexpr ColorRef kStatusColour = 0x00FF00;
constexpr ColorRef kStatusFailedColour = 0x0045FF;
constexpr ColorRef kDetailColour = 0xFFFFFF;
constexpr ColorRef kDetailFailedColour = 0x00D7FF;

void SetTextColour(QLabel* label, ColorRef colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ToQColor(colour));
    label->setPalette(palette);
}

} // namespace

CDialogMatrixRecovery::CDialogMatrixRecovery(CMarketMatrixLoader& loader, std::string serverHost,
                                             std::filesystem::path matrixPath, unsigned years,
                                             IProfile* profile, QWidget* parent)
    : QDialog(parent), loader_(loader), serverHost_(std::move(serverHost)),
      matrixPath_(std::move(matrixPath)), years_(years), profile_(profile),
      poster_(std::make_unique<CMessagePoster>(this)) {
    setWindowTitle(QStringLiteral("マーケットマトリクスのリカバリー"));
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, Qt::black);
    setPalette(palette);

    auto* layout = new QGridLayout(this);
    auto* statusLabel = new QLabel(QStringLiteral("状態："), this);
    SetTextColour(statusLabel, kDetailColour);
    status_ = new QLabel(this);
    detail_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);
    detail_->setTextFormat(Qt::PlainText);
    layout->addWidget(statusLabel, 0, 0);
    layout->addWidget(status_, 0, 1);
    layout->addWidget(detail_, 1, 0, 1, 2);
    layout->setColumnStretch(1, 1);
    setMinimumWidth(420);

    closing_.setSingleShot(true);
    connect(&closing_, &QTimer::timeout, this,
            [this] { done(restartRequested_ ? QDialog::Accepted : QDialog::Rejected); });
}

CDialogMatrixRecovery::~CDialogMatrixRecovery() {
    if (worker_.joinable())
        worker_.join();
}

bool CDialogMatrixRecovery::Start() {
    if (started_)
        return worker_.joinable();
    started_ = true;
    try {
        worker_ = std::thread([this] {
            const PackedDate first =
                loader_.DownloadPackage(serverHost_, matrixPath_, years_, poster_.get(),
                                        kMsgProgress, kProgressPercent, kProgressText, 50);
            if (first == kNoDate)
                poster_->Post(kMsgProgress, kProgressFailure,
                              ResultCode(kAcquisitionPackageFailed));
            poster_->Post(kMsgRecoveryEnded, 0, first);
            ended_ = true;
        });
    } catch (const std::system_error&) {
        ShowState(QStringLiteral("失敗"), QStringLiteral("リカバリースレッドの生成に失敗しました"),
                  true);
        closing_.start(closingDelayMs_);
        return false;
    }
    ShowState(QStringLiteral("処理中"), QString(), false);
    return true;
}

QString CDialogMatrixRecovery::StatusText() const {
    return status_->text();
}

QString CDialogMatrixRecovery::DetailText() const {
    return detail_->text();
}

void CDialogMatrixRecovery::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_)
        Start();
}

void CDialogMatrixRecovery::closeEvent(QCloseEvent* event) {
    // The download cannot be abandoned; the dialog closes by itself when it has ended.
    if (worker_.joinable())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void CDialogMatrixRecovery::customEvent(QEvent* event) {
    if (event->type() != CPostedMessage::EventType())
        return QDialog::customEvent(event);
    const auto* message = static_cast<const CPostedMessage*>(event);
    if (message->Message() == kMsgRecoveryEnded) {
        Finish(static_cast<PackedDate>(message->LParam()));
        return;
    }
    if (message->Message() != kMsgProgress)
        return;
    if (message->WParam() == kProgressText && message->LParam() != 0) {
        detail_->setText(QString::fromUtf8(reinterpret_cast<const char*>(message->LParam())));
    } else if (message->WParam() == kProgressFailure) {
        char text[32];
        std::snprintf(text, sizeof text, "エラー：%03u",
                      static_cast<unsigned>(message->LParam() & 0xFFFF));
        ShowState(QStringLiteral("失敗"), QString::fromUtf8(text), true);
    }
}

void CDialogMatrixRecovery::ShowState(const QString& status, const QString& detail, bool failed) {
    status_->setText(status);
    detail_->setText(detail);
    SetTextColour(status_, failed ? kStatusFailedColour : kStatusColour);
    SetTextColour(detail_, failed ? kDetailFailedColour : kDetailColour);
}

void CDialogMatrixRecovery::Finish(PackedDate firstDate) {
    if (worker_.joinable())
        worker_.join();
    firstDate_ = firstDate;
    if (firstDate != kNoDate) {
        if (profile_ != nullptr)
            profile_->SetInteger(kProfileSection, kProfileFirst, firstDate);
        restartRequested_ = true;
        ShowState(QStringLiteral("完了"), QStringLiteral("アプリケーションを再起動して下さい"),
                  false);
    }
    closing_.start(closingDelayMs_);
}

} // namespace vorn
