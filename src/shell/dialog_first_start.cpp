#include "shell/dialog_first_start.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "acquisition/jquants_build.h"
#include "matrix/matrix_file.h"
#include "matrix/quote_import.h"
#include "matrix/sample_market.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
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

// Runs `work` on a worker thread under a cancellable progress window; the worker reads the
// flag between requests. The thread is joined before this returns.
template <class Work>
JQuantsBuildResult RunWithProgress(QWidget* parent, const QString& title,
                                   JQuantsBuildOptions& options, Work work) {
    std::atomic<bool> cancelled{false};
    std::atomic<bool> done{false};
    std::mutex textMutex;
    QString text = QStringLiteral("J-Quants API に接続しています…"); // guarded by textMutex
    options.client.cancelled = [&cancelled] { return cancelled.load(); };
    options.progress = [&](const JQuantsProgress& progress) {
        QString line = QString::fromStdString(progress.step);
        if (progress.day != kNoDate)
            line += QLatin1Char(' ') + QString::fromStdString(FormatApiDate(progress.day));
        line += QStringLiteral("\n%1 件取得, 残り %2 件, 残り約 %3 分")
                    .arg(progress.requestsDone)
                    .arg(progress.requestsLeft)
                    .arg(static_cast<int>(progress.secondsLeft / 60 + 0.5));
        std::lock_guard lock(textMutex);
        text = line;
    };
    QProgressDialog dialog(title, QStringLiteral("キャンセル"), 0, 0, parent);
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setMinimumDuration(0);
    dialog.show();
    JQuantsBuildResult result = JQuantsBuildResult::Cancelled;
    std::thread worker([&] {
        result = work(options);
        done = true;
    });
    struct Joiner {
        std::thread& thread;
        std::atomic<bool>& cancel;
        ~Joiner() {
            cancel = true;
            if (thread.joinable())
                thread.join();
        }
    } joiner{worker, cancelled};
    while (!done) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        if (dialog.wasCanceled())
            cancelled = true;
        {
            std::lock_guard lock(textMutex);
            dialog.setLabelText(text);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    worker.join();
    options.progress = nullptr;
    options.client.cancelled = nullptr;
    return result;
}

bool JQuantsOptions(IProfile& profile, const fs::path& dataDirectory, JQuantsBuildOptions& options,
                    QString& message) {
    const std::string planName = profile.GetString(kProfileSection, kProfileJQuantsPlan);
    const auto plan = FindJQuantsPlan(planName.empty() ? "free" : planName);
    if (!plan) {
        message = QStringLiteral("J-Quants のプランが正しくありません: ") +
                  QString::fromStdString(planName);
        return false;
    }
    options.plan = *plan;
    options.client.requestsPerMinute = plan->requestsPerMinute;
    if (const std::uint32_t rate = profile.GetInteger(kProfileSection, kProfileJQuantsRate, 0);
        rate != 0) {
        options.client.requestsPerMinute = rate;
        options.client.statementsPerMinute = rate;
        options.client.retryDelay = std::chrono::milliseconds(60000 / rate);
    }
    const std::string url = profile.GetString(kProfileSection, kProfileJQuantsBaseUrl);
    if (!url.empty())
        options.client.baseUrl = url;
    std::string error;
    if (!LoadJQuantsKey(dataDirectory, options.client.apiKey, error)) {
        message = QString::fromStdString(error);
        return false;
    }
    return true;
}

bool BuildChosen(const FirstStartChoice& choice, IProfile& profile, const fs::path& dataDirectory,
                 const fs::path& matrixPath, QWidget* parent, QString& message) {
    if (choice.source == "sample") {
        CMarketMatrix matrix;
        if (!BuildSampleMarket(matrix, SampleMarketOptions{}) ||
            GenerateMatrix(matrix, matrixPath, nullptr, nullptr) != kMatrixOk) {
            message = QStringLiteral("サンプルマーケットを作成できませんでした");
            return false;
        }
        return true;
    }
    if (choice.source == "csv") {
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
    if (choice.source == "server")
        return profile.SetString(kProfileSection, kProfileServer, choice.host);
    std::string error;
    if (!choice.key.empty() && !SaveJQuantsKey(dataDirectory, choice.key, error)) {
        message = QString::fromStdString(error);
        return false;
    }
    profile.SetString(kProfileSection, kProfileJQuantsPlan, choice.plan);
    JQuantsBuildOptions options;
    if (!JQuantsOptions(profile, dataDirectory, options, message))
        return false;
    JQuantsBuildReport report;
    const JQuantsBuildResult result = RunWithProgress(
        parent, QStringLiteral("J-Quants API からマーケットマトリクスを作成します"), options,
        [&](const JQuantsBuildOptions& o) { return BuildJQuantsFile(o, matrixPath, report); });
    if (result != JQuantsBuildResult::Ok) {
        message = result == JQuantsBuildResult::Cancelled
                      ? QStringLiteral("作成を中断しました。次回の起動で続きから再開します")
                      : QString::fromStdString(WithoutKey(report.error, options.client.apiKey));
        return false;
    }
    return true;
}

} // namespace

CDialogJQuantsKey::CDialogJQuantsKey(const QString& plan, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("J-Quants API キー"));
    auto* form = new QFormLayout(this);
    key_ = KeyEdit(this);
    plan_ = PlanBox(plan, this);
    form->addRow(QStringLiteral("API キー"), key_);
    form->addRow(QStringLiteral("プラン"), plan_);
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
    addSource("sample", QStringLiteral("サンプルマーケット"))->setChecked(true);
    addSource("jquants", QStringLiteral("J-Quants API (日本取引所グループ)"));
    auto* jquantsForm = new QFormLayout;
    key_ = KeyEdit(this);
    plan_ = PlanBox(QString(), this);
    jquantsForm->addRow(QStringLiteral("API キー"), key_);
    jquantsForm->addRow(QStringLiteral("プラン"), plan_);
    layout->addLayout(jquantsForm);
    addSource("server", QStringLiteral("マトリクスサーバー"));
    host_ = new QLineEdit(this);
    host_->setObjectName(QStringLiteral("host"));
    auto* serverForm = new QFormLayout;
    serverForm->addRow(QStringLiteral("ホスト"), host_);
    layout->addLayout(serverForm);
    addSource("csv", QStringLiteral("CSV 株価ファイル"));
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
    std::string source = profile.GetString(kProfileSection, kProfileDataSource);
    std::error_code ec;
    bool built = false;
    if (source.empty() && config.serverHost.empty() && !fs::exists(config.matrixPath, ec)) {
        CDialogFirstStart dialog(parent);
        if (dialog.exec() != QDialog::Accepted) {
            message = QStringLiteral("アプリケーションを終了します");
            return false;
        }
        const FirstStartChoice choice = dialog.Choice();
        if (!BuildChosen(choice, profile, dataDirectory, config.matrixPath, parent, message))
            return false;
        source = choice.source;
        profile.SetString(kProfileSection, kProfileDataSource, source);
        if (source == "server")
            config.serverHost = choice.host;
        built = true;
    }
    if (source == "sample" || source == "csv" || source == "jquants")
        config.flags |= kAppLocalMode;
    if (source != "jquants" || built || !fs::exists(config.matrixPath, ec))
        return true;
    // The update step of a J-Quants source: the new days go into the file before it is
    // restored; a failure leaves the file as it was and start-up goes on with it.
    JQuantsBuildOptions options;
    QString why;
    if (!JQuantsOptions(profile, dataDirectory, options, why)) {
        message = why;
        return true;
    }
    JQuantsBuildReport report;
    const JQuantsBuildResult result =
        RunWithProgress(parent, QStringLiteral("マーケットマトリクスを更新しています"), options,
                        [&](const JQuantsBuildOptions& o) {
                            return AppendJQuantsFile(o, config.matrixPath, report);
                        });
    if (result != JQuantsBuildResult::Ok && result != JQuantsBuildResult::NothingNew)
        message = QString::fromStdString(WithoutKey(report.error, options.client.apiKey));
    return true;
}

bool EditJQuantsKey(IProfile& profile, const fs::path& dataDirectory, QWidget* parent,
                    QString& message) {
    CDialogJQuantsKey dialog(
        QString::fromStdString(profile.GetString(kProfileSection, kProfileJQuantsPlan)), parent);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    std::string error;
    if (!dialog.Key().empty() && !SaveJQuantsKey(dataDirectory, dialog.Key(), error)) {
        message = QString::fromStdString(error);
        return false;
    }
    return profile.SetString(kProfileSection, kProfileJQuantsPlan, dialog.Plan());
}

} // namespace vorn
