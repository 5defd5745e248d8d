#pragma once
// "マーケットマトリクスのリカバリー": downloads a full package over the local matrix file on a
// worker thread and reports its progress; on success the application has to restart.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "acquisition/market_matrix_loader.h"
#include "acquisition/matrix_writer.h"
#include "foundation/profile.h"

#include <QDialog>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

class QLabel;

namespace vorn {

class CMessagePoster;

class CDialogMatrixRecovery : public QDialog {
public:
    static constexpr int kClosingDelayMs = 3000;
    // From the worker to the dialog when the download has ended: lParam the package's first
    // day, 0 on failure.
    static constexpr std::uint32_t kMsgRecoveryEnded = kMsgMatrixRecoveryEnded;

    // The loader must hold the index; `profile` (may be null) receives "First" on success.
    CDialogMatrixRecovery(CMarketMatrixLoader& loader, std::string serverHost,
                          std::filesystem::path matrixPath, unsigned years, IProfile* profile,
                          QWidget* parent = nullptr);
    // Waits for a download still running: the loader offers no way to abandon one.
    ~CDialogMatrixRecovery() override;

    // The recovery command is offered only when the index lists a package and no background
    // writer is regenerating the matrix file (`writer` may be null).
    static bool IsAvailable(const CMarketMatrixLoader& loader, const CMatrixWriter* writer) {
        return !loader.Index().packages.empty() && (writer == nullptr || !writer->IsRunning());
    }

    // Starts the worker; called when the dialog is first shown. False when the thread could
    // not be created (the dialog then reports it and closes).
    bool Start();
    bool IsRunning() const { return worker_.joinable() && !ended_.load(); }
    // True once the matrix was replaced: the main window has to close.
    bool RestartRequested() const { return restartRequested_; }
    PackedDate FirstDate() const { return firstDate_; }

    QString StatusText() const;
    QString DetailText() const;
    void SetClosingDelay(int milliseconds) { closingDelayMs_ = milliseconds; }

    // Enter and Escape do not close the dialog.
    void reject() override {}

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void ShowState(const QString& status, const QString& detail, bool failed);
    void Finish(PackedDate firstDate);

    CMarketMatrixLoader& loader_;
    std::string serverHost_;
    std::filesystem::path matrixPath_;
    unsigned years_;
    IProfile* profile_;
    QLabel* status_;
    QLabel* detail_;
    QTimer closing_;
    int closingDelayMs_ = kClosingDelayMs;
    bool started_ = false;
    bool restartRequested_ = false;
    PackedDate firstDate_ = kNoDate;
    // Declared before the worker so that it outlives every Post the worker makes.
    std::unique_ptr<CMessagePoster> poster_;
    std::atomic<bool> ended_{false};
    std::thread worker_;
};

} // namespace vorn
