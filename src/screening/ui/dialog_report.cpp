#include "screening/ui/dialog_report.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "foundation/text_encoding.h"
#include "matrix/stock_code.h"
#include "screening/signal_report.h"

namespace vorn {

std::optional<std::vector<std::uint16_t>> ParseStockCodes(const QString& text) {
    std::vector<std::uint16_t> codes;
    static const QRegularExpression separators(QStringLiteral("[\\s,、，]+"));
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        const std::optional<std::uint16_t> code = ParseTypedStockCode(
            std::u16string_view(reinterpret_cast<const char16_t*>(part.utf16()), part.size()));
        if (!code)
            return std::nullopt;
        codes.push_back(*code);
    }
    return codes;
}

void CopyTextToClipboard(const std::string& cp932) {
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(QString::fromStdString(Cp932ToUtf8(cp932)));
}

CDialogReport::CDialogReport(const CMarketMatrix& matrix, const AnalysisResults& analysis,
                             const std::vector<std::uint16_t>& codes, unsigned topCount,
                             QWidget* parent)
    : QDialog(parent), matrix_(matrix), analysis_(analysis),
      top_(new QRadioButton(QStringLiteral("時価総額上位："), this)), count_(new QSpinBox(this)),
      specific_(new QRadioButton(QStringLiteral("特定銘柄"), this)),
      codes_(new QPlainTextEdit(this)) {
    setWindowTitle(QStringLiteral("レポート"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    grid->addWidget(top_, 0, 0);
    grid->addWidget(count_, 0, 1);
    grid->addWidget(specific_, 1, 0);
    grid->addWidget(codes_, 2, 0, 1, 2);
    layout->addLayout(grid);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    box->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("キャンセル"));
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);

    count_->setRange(1, 9999);
    count_->setValue(static_cast<int>(std::clamp(topCount, 1u, 9999u)));
    // Listed as a person writes them in order (1301, 130A, 1332), not by stored value.
    std::vector<std::uint16_t> ordered = codes;
    std::ranges::sort(ordered, {}, [](std::uint16_t code) { return StockCodeSortKey(code); });
    QStringList lines;
    for (std::uint16_t code : ordered)
        lines << QString::fromStdString(FormatStockCode(code));
    codes_->setPlainText(lines.join(QLatin1Char('\n')));
    top_->setChecked(true);
}

void CDialogReport::accept() {
    if (top_->isChecked()) {
        report_ = CopySignalReport(matrix_, analysis_, static_cast<unsigned>(count_->value()));
    } else {
        const auto codes = ParseStockCodes(codes_->toPlainText());
        if (!codes || codes->empty()) {
            codes_->setFocus();
            codes_->selectAll();
            return;
        }
        report_ = CopySignalReportFor(matrix_, analysis_, *codes);
    }
    CopyTextToClipboard(report_);
    QDialog::accept();
}

} // namespace vorn
