#pragma once
// Where the market comes from. On the first start (no content file, no source configured) a
// dialog offers the sample market, the J-Quants API, a matrix server or CSV quote files, and
// the file is built before start-up restores it. With J-Quants as the source, each start
// fetches the days after the file's last day first. The choice is kept in the profile.
#include <filesystem>
#include <string>

#include "acquisition/startup_sequence.h"
#include "foundation/profile.h"

#include <QDialog>
#include <QString>

class QButtonGroup;
class QComboBox;
class QLineEdit;

namespace vorn {

// "sample", "jquants", "server" or "csv"; empty until chosen.
inline constexpr char kProfileDataSource[] = "DataSource";
// "free", "light", "standard" or "premium".
inline constexpr char kProfileJQuantsPlan[] = "JQuantsPlan";
// Another server for the J-Quants API (a local test server); empty: the service itself.
inline constexpr char kProfileJQuantsBaseUrl[] = "JQuantsBaseUrl";
// Requests per minute instead of the plan's limit (0: the plan's).
inline constexpr char kProfileJQuantsRate[] = "JQuantsRate";

struct FirstStartChoice {
    std::string source = "sample";
    std::string key;
    std::string plan = "free";
    std::string host;
    std::string folder;
    std::string securitiesList;
};

// The J-Quants key (shown masked) and plan; used alone from the menu and inside the
// first-start dialog.
class CDialogJQuantsKey final : public QDialog {
public:
    explicit CDialogJQuantsKey(const QString& plan, QWidget* parent = nullptr);
    std::string Key() const;
    std::string Plan() const;

private:
    QLineEdit* key_;
    QComboBox* plan_;
};

class CDialogFirstStart final : public QDialog {
public:
    explicit CDialogFirstStart(QWidget* parent = nullptr);
    FirstStartChoice Choice() const;

private:
    QButtonGroup* sources_;
    QLineEdit* key_;
    QComboBox* plan_;
    QLineEdit* host_;
    QLineEdit* folder_;
    QLineEdit* securities_;
};

// Runs before start-up: the first-start dialog when nothing is configured, then the J-Quants
// update when that is the source. Local sources set local mode in `config`. False (with
// `message`) when the user gave up or nothing could be built; start-up must not run then.
bool PrepareMarketSource(IProfile& profile, const std::filesystem::path& dataDirectory,
                         StartupConfig& config, QWidget* parent, QString& message);

// Stores the key file and the plan, from the menu's key dialog.
bool EditJQuantsKey(IProfile& profile, const std::filesystem::path& dataDirectory, QWidget* parent,
                    QString& message);

} // namespace vorn
