#pragma once
// "マーケットマトリクスのプロパティ": what the local market matrix holds.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "matrix/market_matrix.h"

#include <QDialog>
#include <array>
#include <cstdint>
#include <string>

namespace vorn {

// The five values of the dialog (UTF-8), in the order of their labels.
struct MatrixProperties {
    std::string version;   // "%3u.%3u.%3u.%3u"
    std::string period;    // first and last trading day and the number of trading days
    std::string companies; // grouped
    std::string listed;    // securities whose data reach the last trading day
    std::string delisted;  // the other securities
};

// Forecast days appended to the calendar are not trading days and are left out.
MatrixProperties BuildMatrixProperties(const CMarketMatrix& matrix, std::uint32_t version);

class CDialogMatrixProperty : public QDialog {
public:
    static constexpr std::array<const char*, 5> kLabels = {"バージョン：", "対象期間：", "企業：",
                                                           "上場銘柄：", "上場廃止銘柄："};

    // `version` is the stored matrix version (the profile value "Version").
    CDialogMatrixProperty(const CMarketMatrix& matrix, std::uint32_t version,
                          QWidget* parent = nullptr);

    const MatrixProperties& Properties() const { return properties_; }

private:
    MatrixProperties properties_;
};

} // namespace vorn
