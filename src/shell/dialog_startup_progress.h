#pragma once
// The modal progress window of start-up: two bars and a status line, driven only by the
// messages the start-up worker posts. Escape (and Enter while the worker runs) asks the
// worker to stop.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "acquisition/startup_sequence.h"
#include "foundation/event.h"

#include <QDialog>
#include <atomic>
#include <memory>

class QLabel;
class QProgressBar;

namespace vorn {

class CMessagePoster;

// Control identifiers, kept as object names so that tests and style sheets find them.
inline constexpr char kStepBarName[] = "1000";
inline constexpr char kStatusTextName[] = "1001";
inline constexpr char kOverallBarName[] = "1002";

class CDialogStartupProgress final : public QDialog, private IPackageChooser {
    Q_OBJECT
public:
    // The references must outlive the dialog; the worker writes `matrix` and `windows` until
    // the dialog has closed.
    CDialogStartupProgress(IProfile& profile, CMarketMatrixLoader& loader, CMarketMatrix& matrix,
                           CMarketWindows& windows, const StartupConfig& config,
                           QWidget* parent = nullptr);
    // Releases a worker waiting for the package choice, then stops and joins it.
    ~CDialogStartupProgress() override;

    void SetPauses(const StartupPauses& pauses);
    // The package choice when the worker needs one; by default CDialogMatrixDownloader over
    // this dialog. Null cancels every choice.
    void SetChooser(IPackageChooser* chooser) { externalChooser_ = chooser; }

    // Starts the worker (or shows why it could not) and runs the dialog. True when the
    // sequence failed; a worker that could not be started is not a failure.
    bool RunModal();

    const StartupProgressView& View() const { return view_; }
    bool Failed() const { return (view_.stepState & kStepFailed) != 0; }
    std::uint32_t Flags() const;
    const CStartupSequence& Sequence() const { return *sequence_; }
    bool Started() const { return started_; }

protected:
    void customEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    unsigned ChoosePackage(const MatrixIndex& index) override;
    void ShowView();

    QProgressBar* stepBar_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* overallBar_ = nullptr;
    StartupProgressView view_;
    StartupConfig config_;
    bool started_ = false;
    IPackageChooser* externalChooser_ = this;

    // The worker's package choice: the answer and the event that releases the worker.
    unsigned chosenYears_ = 0;
    std::atomic<bool> closing_{false};
    CEvent chosen_{true, false};

    std::unique_ptr<CMessagePoster> poster_;
    std::unique_ptr<CStartupSequence> sequence_;
};

} // namespace vorn
