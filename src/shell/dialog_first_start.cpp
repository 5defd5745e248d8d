#include "shell/dialog_first_start.h"

#include "acquisition/jquants_build.h"
#include "foundation/agency.h"
#include "matrix/matrix_file.h"
#include "matrix/quote_import.h"
#include "matrix/sample_market.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vorn {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPlans[] = {"free", "light", "standard", "premium"};

QComboBox* PlanBox(const QString& plan, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QStringLiteral("plan"));
    for (const char* name : kPlans)
        box->addItem(QString::fromLatin1(name));
    box->setCurrentText(plan.isEmpty() ? QStringLiteral("free") : plan);
    return box;
}

QLineEdit* KeyEdit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QStringLiteral("key"));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

bool BuildChosen(const FirstStartChoice& choice, IProfile& profile, const fs::path& dataDirectory,
                 const fs::path& matrixPath, QString& message) {
    if (choice.source == kDataSourceSample) {
        CMarketMatrix matrix;
        if (!BuildSampleMarket(matrix, SampleMarketOptions{}) ||
            GenerateMatrix(matrix, matrixPath, nullptr, nullptr) != kMatrixOk) {
            message = QStringLiteral("サンプルマーケットを作成できませんでした");
            return false;
        }
        return true;
    }
    if (choice.source == kDataSourceCsv) {
        QuoteImportOptions options;
        options.securitiesList = choice.securitiesList;
        options.quotes.emplace_back(choice.folder);
        QuoteImportReport report;
        if (ImportQuotesToFile(options, matrixPath, report) != kImportOk) {
            message = QString::fromStdString(report.error);
            return false;
        }
        return true;
    }
    if (choice.source == kDataSourceServer) {
        std::string host;
        std::uint16_t port = 0;
        if (!SplitServerHost(choice.host, 80, host, port)) {
            message = QStringLiteral("マトリクスサーバーのホストが正しくありません: ") +
                      QString::fromStdString(choice.host);
            return false;
        }
        return profile.SetString(kProfileSection, kProfileServer, choice.host);
    }
    // The J-Quants file is built by start-up; here only the key and plan are kept, and a
    // missing key is said at once rather than after the progress window opened.
    std::string error;
    if (!choice.key.empty() && !SaveJQuantsKey(dataDirectory, choice.key, error)) {
        message = QString::fromStdString(error);
        return false;
    }
    profile.SetString(kProfileSection, kProfileJQuantsPlan, choice.plan);
    JQuantsBuildOptions options;
    if (!ReadJQuantsSource(profile, dataDirectory, options, error)) {
        message = QString::fromStdString(error);
        return false;
    }
    return true;
}

} // namespace

CDialogJQuantsKey::CDialogJQuantsKey(const QString& plan, bool updateFromApi, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("J-Quants API キー"));
    auto* form = new QFormLayout(this);
    key_ = KeyEdit(this);
    key_->setPlaceholderText(QStringLiteral("変更しない場合は空欄"));
    plan_ = PlanBox(plan, this);
    source_ = new QCheckBox(QStringLiteral("起動時の更新に J-Quants API を使う"), this);
    source_->setObjectName(QStringLiteral("source"));
    source_->setChecked(updateFromApi);
    form->addRow(QStringLiteral("API キー"), key_);
    form->addRow(QStringLiteral("プラン"), plan_);
    form->addRow(source_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

std::string CDialogJQuantsKey::Key() const {
    return key_->text().trimmed().toStdString();
}
std::string CDialogJQuantsKey::Plan() const {
    return plan_->currentText().toStdString();
}
bool CDialogJQuantsKey::UpdateFromApi() const {
    return source_->isChecked();
}

CDialogFirstStart::CDialogFirstStart(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("マーケットデータの入手先"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("マーケットマトリクスがありません。"
                                                "株価データの入手先を選んでください。"),
                                 this));
    sources_ = new QButtonGroup(this);
    const auto addSource = [&](const char* name, const QString& label) {
        auto* button = new QRadioButton(label, this);
        button->setObjectName(QString::fromLatin1(name));
        sources_->addButton(button);
        layout->addWidget(button);
        return button;
    };
    addSource(kDataSourceSample, QStringLiteral("サンプルマーケット"))->setChecked(true);
    addSource(kDataSourceJQuants, QStringLiteral("J-Quants API (日本取引所グループ)"));
    auto* jquantsForm = new QFormLayout;
    key_ = KeyEdit(this);
    plan_ = PlanBox(QString(), this);
    jquantsForm->addRow(QStringLiteral("API キー"), key_);
    jquantsForm->addRow(QStringLiteral("プラン"), plan_);
    layout->addLayout(jquantsForm);
    addSource(kDataSourceServer, QStringLiteral("マトリクスサーバー"));
    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("host"));
    auto* serverForm = new QFormLayout;
    serverForm->addRow(QStringLiteral("ホスト"), host_);
    layout->addLayout(serverForm);
    addSource(kDataSourceCsv, QStringLiteral("CSV 株価ファイル"));
    folder_ = new QLineEdit(this);
    folder_->setObjectName(QStringLiteral("folder"));
    securities_ = new QLineEdit(this);
    securities_->setObjectName(QStringLiteral("securities"));
    auto* csvForm = new QFormLayout;
    csvForm->addRow(QStringLiteral("株価フォルダ"), folder_);
    csvForm->addRow(QStringLiteral("銘柄リスト"), securities_);
    layout->addLayout(csvForm);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void CDialogFirstStart::ChooseJQuants(const QString& plan) {
    for (QAbstractButton* button : sources_->buttons())
        if (button->objectName() == QLatin1String(kDataSourceJQuants))
            button->setChecked(true);
    if (!plan.isEmpty())
        plan_->setCurrentText(plan);
}

FirstStartChoice CDialogFirstStart::Choice() const {
    FirstStartChoice choice;
    if (const QAbstractButton* checked = sources_->checkedButton())
        choice.source = checked->objectName().toStdString();
    choice.key = key_->text().trimmed().toStdString();
    choice.plan = plan_->currentText().toStdString();
    choice.host = host_->text().trimmed().toStdString();
    choice.folder = folder_->text().trimmed().toStdString();
    choice.securitiesList = securities_->text().trimmed().toStdString();
    return choice;
}

bool PrepareMarketSource(IProfile& profile, const fs::path& dataDirectory, StartupConfig& config,
                         QWidget* parent, QString& message) {
    std::error_code ec;
    if (!config.source.empty() || !config.serverHost.empty() || fs::exists(config.matrixPath, ec))
        return true;
    CDialogFirstStart dialog(parent);
    // A J-Quants build that was cancelled or failed left its plan (and its cache): offered
    // again as it was chosen, so that OK goes on where it stopped.
    const std::string plan = profile.GetString(kProfileSection, kProfileJQuantsPlan);
    if (!plan.empty())
        dialog.ChooseJQuants(QString::fromStdString(plan));
    if (dialog.exec() != QDialog::Accepted) {
        message = QStringLiteral("アプリケーションを終了します");
        return false;
    }
    const FirstStartChoice choice = dialog.Choice();
    if (!BuildChosen(choice, profile, dataDirectory, config.matrixPath, message))
        return false;
    config.source = choice.source;
    if (choice.source == kDataSourceSample || choice.source == kDataSourceCsv)
        config.flags |= kAppLocalMode;
    if (choice.source == kDataSourceServer)
        config.serverHost = choice.host;
    return true;
}

bool EditJQuantsKey(IProfile& profile, const fs::path& dataDirectory, QWidget* parent,
                    QString& message) {
    const std::string source = profile.GetString(kProfileSection, kProfileDataSource);
    CDialogJQuantsKey dialog(
        QString::fromStdString(profile.GetString(kProfileSection, kProfileJQuantsPlan)),
        source == kDataSourceJQuants, parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    std::string error;
    if (!dialog.Key().empty() && !SaveJQuantsKey(dataDirectory, dialog.Key(), error)) {
        message = QString::fromStdString(error);
        return false;
    }
    if (!profile.SetString(kProfileSection, kProfileJQuantsPlan, dialog.Plan()))
        return false;
    // Takes effect at the next start, whose update step reads it.
    if (dialog.UpdateFromApi() && source != kDataSourceJQuants)
        return profile.SetString(kProfileSection, kProfileDataSource, kDataSourceJQuants);
    if (!dialog.UpdateFromApi() && source == kDataSourceJQuants)
        return profile.SetString(kProfileSection, kProfileDataSource, kDataSourceServer);
    return true;
}

} // namespace vorn
