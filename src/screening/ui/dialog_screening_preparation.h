#pragma once
// The modal progress dialog that prepares the screening the first time its contents are shown:
// it runs the market analysis worker into the application's analysis results and then the
// inclination and trading-value passes. On failure the bar turns red and the dialog closes
// after a second with Rejected.
#include <memory>

// The core headers come before Qt's, which defines `slots` and `signals` as macros.
#include "gaps/listing_analysis.h"
#include "gaps/market_windows.h"
#include "screening/screening_settings.h"
#include "screening/indicator_screening.h"

#include <QDialog>

class QProgressBar;
class QLabel;

namespace vorn {

class CMessagePoster;

inline constexpr char kScreeningPreparationText[] = "スクリーニングの準備をしています…";

class CDialogScreeningPreparation : public QDialog {
    Q_OBJECT
public:
    // Everything given must outlive the dialog; `analysis` is not read until the worker has
    // handed its results over.
    CDialogScreeningPreparation(const CMarketMatrix& matrix, CMarketWindows& marketWindows,
                                AnalysisResults& analysis, CIndicatorScreening& indicators,
                                const ScreeningSettings& settings, QWidget* parent = nullptr);
    // Stops and joins a worker that is still running before the message poster goes.
    ~CDialogScreeningPreparation() override;

    bool Succeeded() const { return succeeded_; }
    // The posted-message handling, reachable for a window that forwards messages.
    void HandleProgress(std::uintptr_t wParam, std::intptr_t lParam);

public slots:
    // Ignored while the worker runs: the results must arrive whole.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    void Start();
    void Finish();
    void Fail();

    const CMarketMatrix& matrix_;
    CMarketWindows& marketWindows_;
    AnalysisResults& analysis_;
    CIndicatorScreening& indicators_;
    const ScreeningSettings& settings_;
    std::unique_ptr<CMessagePoster> poster_;
    QProgressBar* bar_;
    bool started_ = false;
    bool running_ = false;
    bool closing_ = false;
    bool succeeded_ = false;
};

} // namespace vorn
