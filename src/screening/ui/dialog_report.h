#pragma once
// "レポート": copies the signal report to the clipboard, either for the largest companies by
// market capitalisation ("時価総額上位：") or for stock codes the user names ("特定銘柄").
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The core headers come before Qt's, which defines `slots` and `signals` as macros.
#include "gaps/listing_analysis.h"
#include "matrix/market_matrix.h"

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;

namespace vorn {

// The stock codes of a text (four characters each, "7203", "130A", half- or full-width), in
// any separation; nothing when a part of the text is not such a code.
std::optional<std::vector<std::uint16_t>> ParseStockCodes(const QString& text);

class CDialogReport : public QDialog {
    Q_OBJECT
public:
    // `codes` prefills the "特定銘柄" field (the screening's preferred companies, for instance).
    CDialogReport(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                  const std::vector<std::uint16_t>& codes, unsigned topCount = 50,
                  QWidget* parent = nullptr);

    QRadioButton* TopButton() const { return top_; }
    QSpinBox* TopCount() const { return count_; }
    QRadioButton* SpecificButton() const { return specific_; }
    QPlainTextEdit* CodesEdit() const { return codes_; }
    // The report copied by the last OK, cp932.
    const std::string& Report() const { return report_; }

public slots:
    void accept() override;

private:
    const CMarketMatrix& matrix_;
    const AnalysisResults& analysis_;
    QRadioButton* top_;
    QSpinBox* count_;
    QRadioButton* specific_;
    QPlainTextEdit* codes_;
    std::string report_;
};

// Puts cp932 text on the clipboard as the UTF-8 text this platform's clipboard holds.
void CopyTextToClipboard(const std::string& cp932);

} // namespace vorn
