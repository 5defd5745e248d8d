#include "acquisition/ui/dialog_matrix_property.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "acquisition/matrix_index.h"
#include "foundation/number_format.h"

namespace vorn {
namespace {

std::string Grouped(std::uint64_t value) {
    char text[kGroupedIntegerCapacity];
    FormatGroupedInteger(text, value);
    return text;
}

} // namespace

MatrixProperties BuildMatrixProperties(const CMarketMatrix& matrix, std::uint32_t version) {
    MatrixProperties properties;
    properties.version = FormatMatrixVersion(version);

    const CCalendar& calendar = matrix.DailyCalendar();
    const long tradingDays = static_cast<long>(calendar.Count()) - matrix.ProjectedDays();
    PackedDate lastDay = kNoDate;
    if (tradingDays > 0) {
        const PackedDate firstDay = calendar[0];
        lastDay = calendar[static_cast<std::size_t>(tradingDays - 1)];
        char text[128];
        std::snprintf(text, sizeof text, "至:%04u/%02u/%02u  迄:%04u/%02u/%02u  [%s日間]",
                      DateYear(firstDay), DateMonth(firstDay), DateDay(firstDay), DateYear(lastDay),
                      DateMonth(lastDay), DateDay(lastDay),
                      Grouped(static_cast<std::uint64_t>(tradingDays)).c_str());
        properties.period = text;
    } else {
        properties.period = "至:#NA/#NA/#NA  迄:#NA/#NA/#NA  [#NA日間]";
    }

    properties.companies = Grouped(matrix.Companies().size());
    std::uint64_t listed = 0;
    for (const auto& [key, security] : matrix.Securities())
        if (lastDay != kNoDate && security.lastDate >= lastDay)
            ++listed;
    properties.listed = Grouped(listed);
    properties.delisted = Grouped(matrix.Securities().size() - listed);
    return properties;
}

CDialogMatrixProperty::CDialogMatrixProperty(const CMarketMatrix& matrix, std::uint32_t version,
                                             QWidget* parent)
    : QDialog(parent), properties_(BuildMatrixProperties(matrix, version)) {
    setWindowTitle(QStringLiteral("マーケットマトリクスのプロパティ"));
    auto* layout = new QVBoxLayout(this);
    auto* fields = new QFormLayout;
    const std::string* values[] = {&properties_.version, &properties_.period,
                                   &properties_.companies, &properties_.listed,
                                   &properties_.delisted};
    for (std::size_t i = 0; i < kLabels.size(); ++i) {
        auto* value = new QLabel(QString::fromStdString(*values[i]), this);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        fields->addRow(QString::fromUtf8(kLabels[i]), value);
    }
    layout->addLayout(fields);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    close->setDefault(true);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    buttons->addWidget(close);
    layout->addLayout(buttons);
}

} // namespace vorn
