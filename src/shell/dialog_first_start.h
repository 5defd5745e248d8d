#pragma once
// Where the market comes from. On the first start (no content file, no source configured) a
// dialog offers the sample market, the J-Quants API, a matrix server or CSV quote files. The
// sample and CSV files are built before start-up restores them; the J-Quants file is built by
// start-up itself, under its progress window. The choice is kept in the profile.
#include <filesystem>
#include <string>

#include "acquisition/jquants_source.h"
#include "acquisition/startup_sequence.h"
#include "foundation/profile.h"

#include <QDialog>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vorn {

struct FirstStartChoice {
    std::string source = "sample";
    std::string key;
    std::string plan = "free";
    std::string host;
    std::string folder;
    std::string securitiesList;
};

// The J-Quants key (shown masked), the plan, and whether start-up updates from the API; the
// menu's dialog.
class CDialogJQuantsKey final : public QDialog {
public:
    CDialogJQuantsKey(const QString& plan, bool updateFromApi, QWidget* parent = nullptr);
    std::string Key() const;
    std::string Plan() const;
    bool UpdateFromApi() const;

private:
    QLineEdit* key_;
    QComboBox* plan_;
    QCheckBox* source_;
};

class CDialogFirstStart final : public QDialog {
public:
    explicit CDialogFirstStart(QWidget* parent = nullptr);
    FirstStartChoice Choice() const;
    // Offers the J-Quants API already chosen, with its plan: a first build given up before.
    void ChooseJQuants(const QString& plan);

private:
    QButtonGroup* sources_;
    QLineEdit* key_;
    QComboBox* plan_;
    QLineEdit* host_;
    QLineEdit* folder_;
    QLineEdit* securities_;
};

// Runs before start-up: the first-start dialog when nothing is configured. The choice goes
// into `config` (local sources set local mode); the caller keeps it in the profile once
// start-up has succeeded, so that a first build given up is offered again. False (with
// `message`) when the user gave up or nothing could be built; start-up must not run then.
bool PrepareMarketSource(IProfile& profile, const std::filesystem::path& dataDirectory,
                         StartupConfig& config, QWidget* parent, QString& message);

// Stores the key file, the plan and the source of the update step, from the menu's key dialog.
// Turning the API off leaves the update to the matrix server.
bool EditJQuantsKey(IProfile& profile, const std::filesystem::path& dataDirectory, QWidget* parent,
                    QString& message);

} // namespace vorn
