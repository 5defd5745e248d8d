#pragma once
// One of the two lists of the specific-stock dialog: the securities of one set, by code, market
// and name. A double click hands the selected securities to the notify target with message
// 1029 and the list's identity in wParam.
#include <vector>

// The core headers come before Qt's, which defines `slots` and `signals` as macros.
#include "matrix/market_matrix.h"

#include "foundation/window_messages.h"
#include "grids/grid.h"

namespace vorn {

class CGridListings : public CGrid {
    Q_OBJECT
public:
    // The matrix must outlive the grid.
    CGridListings(const CMarketMatrix& matrix, int identity, QWidget* parent = nullptr);

    int Identity() const { return identity_; }
    void SetIdentity(int identity) { identity_ = identity; }
    // Shows these securities (any order), sorted by the current column.
    void Load(std::vector<SecurityKey> keys);
    const std::vector<SecurityKey>& Keys() const { return keys_; }
    std::vector<SecurityKey> SelectedKeys() const;

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    void OnDoubleClickCell(int row, int column) override;
    bool Sort() override;

private:
    static constexpr std::uint16_t kPreferredCodeClass = 4;
    static constexpr std::uint16_t kOtherCodeClass = 6;
    static constexpr std::uint16_t kOtherClass = 2;

    bool OnPreferredMarket(SecurityKey key) const;

    const CMarketMatrix& matrix_;
    int identity_;
    std::vector<SecurityKey> keys_;
};

} // namespace vorn
