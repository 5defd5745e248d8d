#pragma once
// The list of saved screening settings: title and the time of the last save.
#include <string>
#include <vector>

#include "contents/saved_screenings.h"
#include "grids/grid.h"

namespace vorn {

class CGridScreeningFilters : public CGrid {
    Q_OBJECT
public:
    // The records must outlive the grid; Reload after every change to them.
    explicit CGridScreeningFilters(const CSavedScreenings& saved, QWidget* parent = nullptr);

    void Reload();
    // The stored (cp932) name of a row; empty out of range.
    std::string NameAt(int row) const;
    // -1 without a selected row.
    int SelectedRow() const;

    void BuildColumns() override;
    void DrawCell(int row, int column, const QRect& cell, std::uint8_t state,
                  std::uint8_t columnPosition, QPainter& painter) override;
    void OnClickCell(int row, int column) override;
    void OnDoubleClickCell(int row, int column) override;
    bool Sort() override;

signals:
    void rowChosen(int row);
    void rowActivated(int row);

private:
    const CSavedScreenings& saved_;
    std::vector<std::string> names_;
};

// "%04u/%02u/%02u %02u:%02u:%02u"
std::string SavedTimeText(const SavedScreening& record);

} // namespace vorn
