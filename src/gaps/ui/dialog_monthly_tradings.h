#pragma once
// "月別トレーディング": the tool window with the monthly trading list of the stock shown and
// its export to a comma-separated file.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/trading_lists.h"

#include <filesystem>

#include "gaps/ui/grid_monthly_tradings.h"
#include "gaps/ui/tool_window.h"

class QPushButton;
class QString;

namespace vorn {

// The file name a save dialog returned, with ".csv" added when it has no extension.
QString WithCsvExtension(const QString& file);

class CDialogMonthlyTradings : public CToolWindow {
public:
    // `owner` receives 1027 with wParam 2 when the window is closed. Enter does not close
    // it; Escape does.
    explicit CDialogMonthlyTradings(IMessageSink* owner, QWidget* parent = nullptr);

    void Fill(const SecurityRecord* security, std::span<const MonthlySegment> segments,
              const CCalendar& calendar, std::int64_t priceScale);
    void Fill(const CWindowsPerformer& performer);

    // "保存...": asks for a file and writes the rows to it.
    void Save();
    // Writes the rows as shown to `path` (cp932); false, with the file as it was, on failure.
    bool ExportTo(const std::filesystem::path& path) const;

    CGridMonthlyTradings& Grid() { return *grid_; }
    QPushButton* SaveButton() const { return save_; }

private:
    void ShowTitle(const SecurityRecord* security);

    CGridMonthlyTradings* grid_;
    QPushButton* save_;
};

} // namespace vorn
