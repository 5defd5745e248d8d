#pragma once
// The saved screening settings: saving the current settings under a title ("スクリーニング設定の
// 保存") or putting a saved record back ("スクリーニング設定の再現").
#include <QDialog>
#include <string>

#include "contents/saved_screenings.h"

class QLineEdit;
class QPushButton;

namespace vorn {

class CGridScreeningFilters;

class CDialogScreening : public QDialog {
    Q_OBJECT
public:
    enum class Mode { Save, Restore };

    // Both must outlive the dialog. In restore mode OK copies the chosen record into `current`;
    // the caller then rebuilds the list and records the screening.
    CDialogScreening(Mode mode, CSavedScreenings& saved, ScreeningSettings& current,
                     QWidget* parent = nullptr);

    CGridScreeningFilters* Grid() const { return grid_; }
    QLineEdit* TitleEdit() const { return title_; }
    QPushButton* SaveNewButton() const { return saveNew_; }
    QPushButton* DeleteButton() const { return delete_; }
    QPushButton* OkButton() const { return ok_; }
    // Chooses a row as a click would.
    void ChooseRow(int row);

public slots:
    void accept() override;

protected:
    // Shows the warnings; a test replaces it to read them.
    virtual void Warn(const QString& text);

private:
    void SaveNew();
    void DeleteSelected();
    void UpdateButtons();

    Mode mode_;
    CSavedScreenings& saved_;
    ScreeningSettings& current_;
    CGridScreeningFilters* grid_;
    QLineEdit* title_;
    QPushButton* saveNew_;
    QPushButton* delete_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

} // namespace vorn
