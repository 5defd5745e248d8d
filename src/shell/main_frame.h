#pragma once
// The main window: menus, tool bars, the stock search bar, the status bar and the view. Every
// command goes through RunCommand, which obeys the same enabling rules as the menus.
// Core headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "chart/chart_model.h"

#include <QMainWindow>
#include <cstdint>
#include <map>
#include <memory>

class QAction;
class QKeyEvent;
class QKeySequence;
class QLabel;
class QLineEdit;
class QMenu;
class QToolBar;

namespace vorn {

class IProfile;
class CVornApp;
class CVornView;
class CMessagePoster;
class CGridIntelligenceAgent;
class CDialogSecurities;
class CDialogLawBacktest;

class CMainFrame final : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CVornApp& app, QWidget* parent = nullptr);
    ~CMainFrame() override;

    CVornView& View() { return *view_; }
    // Runs a command when it is enabled; false when it was not run.
    bool RunCommand(std::uint32_t id);
    bool IsEnabled(std::uint32_t id) const;
    bool IsChecked(std::uint32_t id) const;
    // Brings menu items and tool bar buttons in line with the state.
    void UpdateCommandStates();
    void RebuildFavoritesMenu();

    QAction* Action(std::uint32_t id) const;
    // The key that runs a command (also its menu hint); empty when none does.
    static QKeySequence CommandKey(std::uint32_t id);
    // A short note in the status bar (added, copied, saved).
    void ShowStatusMessage(const QString& text);
    // Window placement, last stock, visible days, series and side panels, in the profile.
    void SaveState(IProfile& profile) const;
    void RestorePlacement(IProfile& profile);
    // Selects the last stock (when it still exists), its series kind and the side panels;
    // returns the visible days to show, 0 for the default.
    std::uint16_t RestoreView(IProfile& profile);
    QMenu* FavoritesMenu() const { return favoritesMenu_; }
    QLineEdit* CodeBox() const { return codeBox_; }
    CGridIntelligenceAgent* Announcements() const { return announcements_; }
    CDialogSecurities& NamePopup() const { return *popup_; }
    QLineEdit* NameBox() const { return nameBox_; }
    QString StatusPane(int pane) const;
    QToolBar* ToolBar(std::uint32_t barCommand) const;
    // Where the chart, the view and workers post frame messages.
    CMessagePoster& Poster() { return *poster_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void customEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, std::uint32_t id, const QString& text);
    // Puts the search bar on a line of its own when the tool bars do not fit in one.
    void ReflowToolBars();
    // Down/Up/Enter/Escape of the name box while its popup shows; true when handled.
    bool NameBoxKey(QKeyEvent* key);
    QString AboutText() const;
    void BuildMenus();
    void BuildToolBars();
    void BuildSearchBar();
    void BuildShortcuts();
    void RunChartCommand(std::uint32_t id);
    void CopyChart(bool withAnalysis);
    void CopyText();
    void RecoverMatrix();
    QString StockTitle() const;
    void SearchCode();
    void SearchName();
    void ClearStatus();
    void ActivateAnnouncement(std::uint32_t id);
    void StopFeed();
    void ShowLawBacktest();

    CVornApp& app_;
    CVornView* view_ = nullptr;
    std::unique_ptr<CMessagePoster> poster_;
    std::map<std::uint32_t, QAction*> actions_;
    std::map<std::uint32_t, QToolBar*> bars_;
    QMenu* favoritesMenu_ = nullptr;
    QLineEdit* codeBox_ = nullptr;
    QLineEdit* nameBox_ = nullptr;
    QLabel* panes_[2] = {};
    CGridIntelligenceAgent* announcements_ = nullptr;
    CDialogSecurities* popup_ = nullptr;
    CDialogLawBacktest* lawBacktest_ = nullptr; // made on first use
};

} // namespace vorn
