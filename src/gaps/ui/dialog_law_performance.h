#pragma once
// "法則別パフォーマンス": the tool window around the law performance panel. It follows the
// security selected in the main window and passes the keys the main window navigates with.
// Before any Qt header: the core uses names that Qt defines as macros.
#include "gaps/law_performance_model.h"

#include <QPointer>
#include <functional>

#include "gaps/ui/law_performance.h"
#include "gaps/ui/tool_window.h"

namespace vorn {

class CDialogLawPerformance : public CToolWindow {
    Q_OBJECT
public:
    // `owner` receives 1027 with wParam 4 when the window is closed; `results` are the
    // application's analysis results and must outlive the window.
    CDialogLawPerformance(const AnalysisResults& results, IMessageSink* owner,
                          QWidget* parent = nullptr);

    // Called whenever the selected security changes; nothing happens for the one shown.
    bool SetListing(const SecurityRecord* security, MarketNaming naming = {});

    // Where keys and the mouse wheel go: the wheel and, in display mode 0, the navigation
    // keys (space, page up and down, end, home, arrows) to the main window; in mode 1 every
    // key to the window of the current contents. Without forwarding they are dropped.
    void SetForwarding(QWidget* mainWindow, std::function<int()> displayMode,
                       std::function<QWidget*()> contentsWindow);

    CLawPerformance& Panel() { return *panel_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    CLawPerformance* panel_;
    QPointer<QWidget> mainWindow_;
    std::function<int()> displayMode_;
    std::function<QWidget*()> contentsWindow_;
};

} // namespace vorn
