// The first start with an empty data directory and no server: the choice dialog, driven by
// real input events, builds a market (or finds a server) and the application ends on a chart;
// and the menu's dialog for the J-Quants key and plan.
#include "acquisition/jquants_build.h"
#include "acquisition/matrix_publisher.h"
#include "acquisition/static_http_server.h"
#include "foundation/calendar_math.h"
#include "foundation/date_text.h"
#include "foundation/profile.h"
#include "matrix/matrix_file.h"
#include "support/answer_chooser.h"
#include "support/fake_jquants_service.h"
#include "support/market_builder.h"
#include "support/test_files.h"

#include "chart/chart_model.h"
#include "shell/dialog_first_start.h"
#include "shell/dialog_startup_progress.h"
#include "shell/main_frame.h"
#include "shell/settings_profile.h"
#include "shell/vorn_app.h"
#include "shell/vorn_view.h"
#include "support/offscreen_application.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace vorn {
namespace {

namespace fs = std::filesystem;

class FirstStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::OffscreenApplication();
        char pattern[] = "/tmp/vorn_first_start_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory_ = pattern;
        options_.dataDirectory = directory_;
        options_.localMode = false;
        options_.interactive = false;
        options_.pauses = StartupPauses::None();
        ::unsetenv("JQUANTS_API_KEY");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(directory_, ignored);
    }
    CSettingsProfile Profile() {
        return CSettingsProfile(QString::fromStdString((directory_ / "Vorn.ini").string()));
    }
    // Points the profile at `service` at `rate` requests a minute and answers the first-start
    // dialog with the J-Quants choice, the test key typed and the light plan (the fake market
    // lies further back than the free plan's two years); `check` looks at the key box first.
    void ChooseJQuants(const test::CFakeService& service, std::uint32_t rate,
                       std::function<void(QLineEdit&)> check = {}) {
        {
            CSettingsProfile profile = Profile();
            profile.SetString(kProfileSection, kProfileJQuantsBaseUrl, service.BaseUrl());
            profile.SetInteger(kProfileSection, kProfileJQuantsRate, rate);
        }
        AnswerWith([check](QWidget& dialog) {
            Choose(dialog, "jquants");
            auto* key = dialog.findChild<QLineEdit*>(QStringLiteral("key"));
            ASSERT_NE(key, nullptr);
            if (check)
                check(*key);
            QTest::mouseClick(key, Qt::LeftButton);
            QTest::keyClicks(key, QString::fromLatin1(test::kJQuantsKey));
            auto* plan = dialog.findChild<QComboBox*>(QStringLiteral("plan"));
            ASSERT_NE(plan, nullptr);
            plan->setCurrentText(QStringLiteral("light"));
        });
    }
    // Answers the first-start dialog, when it comes, with `fill` and a click on OK.
    void AnswerWith(std::function<void(QWidget&)> fill) {
        QTimer::singleShot(50, [this, fill] {
            auto* dialog = dynamic_cast<CDialogFirstStart*>(QApplication::activeModalWidget());
            if (dialog == nullptr)
                return;
            ++shown_;
            fill(*dialog);
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (button->text().contains(QStringLiteral("OK"), Qt::CaseInsensitive) ||
                    button->isDefault()) {
                    QTest::mouseClick(button, Qt::LeftButton);
                    return;
                }
        });
    }
    static void Choose(QWidget& dialog, const char* source) {
        auto* button = dialog.findChild<QRadioButton*>(QString::fromLatin1(source));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(4, button->height() / 2));
    }
    static void Type(QWidget& dialog, const char* field, const std::string& text) {
        auto* edit = dialog.findChild<QLineEdit*>(QString::fromLatin1(field));
        ASSERT_NE(edit, nullptr);
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClicks(edit, QString::fromStdString(text));
    }
    void ExpectChartOf(CVornApp& app, std::uint16_t code) {
        ASSERT_NE(app.MainFrame(), nullptr);
        EXPECT_EQ(app.ContentsMode(), kContentsChart);
        ASSERT_NE(app.SelectedStock(), nullptr);
        EXPECT_EQ(app.SelectedStock()->Code(), code);
        ASSERT_NE(app.MainFrame()->View().ChartModel(), nullptr);
        EXPECT_EQ(app.MainFrame()->View().ChartModel()->Stock(), app.SelectedStock());
    }

    fs::path directory_;
    AppOptions options_;
    int shown_ = 0;
};

TEST_F(FirstStartTest, TheSampleMarketEndsOnAChartAndTheChoiceIsKept) {
    AnswerWith([](QWidget& dialog) { Choose(dialog, "sample"); });
    {
        CVornApp app;
        ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
        EXPECT_EQ(shown_, 1);
        EXPECT_NE(app.MainFrame(), nullptr);
        EXPECT_EQ(app.ContentsMode(), kContentsChart);
        EXPECT_NE(app.SelectedStock(), nullptr);
        app.ExitInstance();
    }
    EXPECT_EQ(Profile().GetString(kProfileSection, kProfileDataSource), "sample");
    // The next start asks nothing.
    AnswerWith([](QWidget& dialog) { Choose(dialog, "sample"); });
    CVornApp again;
    ASSERT_TRUE(again.InitInstance(options_)) << again.LastMessage().toStdString();
    QTest::qWait(100);
    EXPECT_EQ(shown_, 1);
}

TEST_F(FirstStartTest, JQuantsBuildsTheFileFromTheServiceAndEndsOnAChart) {
    test::CFakeService service;
    service.tooManyAt = 0;
    service.failAt = 0;
    ChooseJQuants(service, 60000,
                  [](QLineEdit& key) { EXPECT_EQ(key.echoMode(), QLineEdit::Password); });
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
    EXPECT_EQ(shown_, 1);
    EXPECT_EQ(app.ContentsMode(), kContentsChart);
    ASSERT_NE(app.SelectedStock(), nullptr);
    EXPECT_GE(app.Matrix().Securities().size(), 4u);
    EXPECT_EQ(service.KeysSeen(), std::set<std::string>{test::kJQuantsKey});
    CSettingsProfile profile = Profile();
    EXPECT_EQ(profile.GetString(kProfileSection, kProfileDataSource), "jquants");
    EXPECT_EQ(profile.GetString(kProfileSection, kProfileJQuantsPlan), "light");
    // The key went to a file only its owner can read.
    const auto perms = fs::status(directory_ / kJQuantsKeyFileName).permissions();
    EXPECT_EQ(perms & (fs::perms::group_all | fs::perms::others_all), fs::perms::none);
    // ... and into no other file: profile, log, cache or market.
    EXPECT_TRUE(test::FilesHolding(directory_, test::kJQuantsKey, directory_ / kJQuantsKeyFileName)
                    .empty());
    EXPECT_EQ(app.StartupStatus().indexOf(QString::fromLatin1(test::kJQuantsKey)), -1);
}

TEST_F(FirstStartTest, CsvQuoteFilesAreImportedAndEndOnAChart) {
    const fs::path quotes = directory_ / "quotes";
    fs::create_directories(quotes);
    std::ofstream(directory_ / "securities.csv") << "code,market,name,industry,unit,margin\n"
                                                 << "1301,1,Kyokuyo,1,100,1\n"
                                                 << "7203,1,Toyota,17,100,1\n";
    for (const char* code : {"1301", "7203"}) {
        std::ofstream out(quotes / (std::string(code) + ".csv"));
        out << "date,open,high,low,close,volume\n";
        PackedDate day = MakePackedDate(2024, 1, 4);
        for (int i = 0; i < 120; ++i) {
            const int base = 1000 + (i % 30) * 10 + (i % 7 == 0 ? 60 : 0);
            out << FormatDateText(day) << ',' << base << ',' << base + 20 << ',' << base - 20 << ','
                << base + 5 << ",10000\n";
            do
                day = AddDaysToPackedDate(day, 1);
            while (WeekdayOfPackedDate(day) == 0 || WeekdayOfPackedDate(day) == 6);
        }
    }
    AnswerWith([&](QWidget& dialog) {
        Choose(dialog, "csv");
        Type(dialog, "folder", quotes.string());
        Type(dialog, "securities", (directory_ / "securities.csv").string());
    });
    {
        CVornApp app;
        ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
        EXPECT_EQ(shown_, 1);
        ExpectChartOf(app, 1301);
        EXPECT_EQ(app.Matrix().Securities().size(), 2u);
        // Imported quotes have nothing to fetch: no network step ran.
        EXPECT_NE(app.Flags() & kAppLocalMode, 0u);
        app.ExitInstance();
    }
    EXPECT_EQ(Profile().GetString(kProfileSection, kProfileDataSource), "csv");
    CMarketMatrix written;
    EXPECT_EQ(RestoreMatrix(written, directory_ / "Market.kbx", nullptr, nullptr), kMatrixOk);
}

TEST_F(FirstStartTest, AMatrixServerGivesThePackageAndEndsOnAChart) {
    const std::vector<PackedDate> calendar = test::Weekdays(MakePackedDate(2006, 1, 4), 200);
    auto market = test::CMarketBuilder()
                      .Calendar(calendar)
                      .Security(1301, 1, calendar[0], test::SteppedRows(200, 200))
                      .Security(7203, 1, calendar[0], test::SteppedRows(200, 3000))
                      .Build();
    const fs::path tree = directory_ / "server";
    PublishOptions publish;
    publish.years = {1};
    ASSERT_EQ(PublishMatrix(*market, tree, publish, nullptr), kPublishOk);
    CStaticHttpServer server(tree);
    ASSERT_TRUE(server.Start());
    test::CAnswerChooser oneYear(1);
    options_.chooser = &oneYear;
    options_.dataDirectory = directory_ / "data";
    AnswerWith([&](QWidget& dialog) {
        Choose(dialog, "server");
        Type(dialog, "host", server.Host());
    });
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
    EXPECT_EQ(shown_, 1);
    EXPECT_EQ(oneYear.calls, 1);
    ExpectChartOf(app, 1301);
    EXPECT_TRUE(fs::exists(directory_ / "data" / "Market.kbx"));
    EXPECT_EQ(app.ServerHost(), server.Host());
    CSettingsProfile profile(QString::fromStdString((directory_ / "data" / "Vorn.ini").string()));
    EXPECT_EQ(profile.GetString(kProfileSection, kProfileServer), server.Host());
    EXPECT_EQ(profile.GetString(kProfileSection, kProfileDataSource), "server");
}

TEST_F(FirstStartTest, AJQuantsSourceUpdatesInTheStartUpStepOnTheNextStart) {
    test::CFakeService service;
    service.tooManyAt = 0;
    service.failAt = 0;
    service.lastTradingDay = 3;
    ChooseJQuants(service, 60000);
    {
        CVornApp app;
        ASSERT_TRUE(app.InitInstance(options_))
            << app.LastMessage().toStdString() << " " << app.StartupStatus().toStdString();
        EXPECT_EQ(*app.Matrix().DailyCalendar().Last(), MakePackedDate(2024, 3, 5));
        EXPECT_EQ(app.Flags() & kAppMatrixChanged, 0u);
        app.ExitInstance();
    }
    service.lastTradingDay = 5;
    {
        CVornApp app;
        ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
        EXPECT_EQ(shown_, 1);
        EXPECT_EQ(*app.Matrix().DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
        EXPECT_EQ(app.Flags() & kAppMatrixChanged, kAppMatrixChanged);
        EXPECT_TRUE(app.LastMessage().isEmpty()) << app.LastMessage().toStdString();
        app.ExitInstance();
    }
    // The exit step wrote the new days back.
    CMarketMatrix written;
    ASSERT_EQ(RestoreMatrix(written, directory_ / "Market.kbx", nullptr, nullptr), kMatrixOk);
    EXPECT_EQ(*written.DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
    const std::string before = test::ReadWholeFile(directory_ / "Market.kbx");

    // A server that fails: the market of the last start, and a warning that says why.
    service.failFrom = 1;
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
    EXPECT_NE(app.MainFrame(), nullptr);
    EXPECT_NE(app.LastMessage().indexOf(QStringLiteral("HTTP 500")), -1)
        << app.LastMessage().toStdString();
    EXPECT_EQ(app.LastMessage().indexOf(QString::fromLatin1(test::kJQuantsKey)), -1);
    app.ExitInstance();
    EXPECT_EQ(test::ReadWholeFile(directory_ / "Market.kbx"), before);
}

TEST_F(FirstStartTest, EscapeStopsTheFirstJQuantsBuildAndTheNextStartGoesOnFromTheCache) {
    test::CFakeService service;
    service.tooManyAt = 0;
    service.failAt = 0;
    ChooseJQuants(service, 300); // slow enough for a key press to land during the build
    bool escaped = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* progress = dynamic_cast<CDialogStartupProgress*>(QApplication::activeModalWidget());
        if (progress == nullptr || escaped)
            return;
        auto* status = progress->findChild<QLabel*>(QString::fromLatin1(kStatusTextName));
        if (status != nullptr && status->text().contains(QStringLiteral("日足 2024/03/05"))) {
            escaped = true;
            QTest::keyClick(progress, Qt::Key_Escape);
        }
    });
    watcher.start(10);
    {
        CVornApp app;
        EXPECT_FALSE(app.InitInstance(options_));
        EXPECT_EQ(app.StartupStatus(), QString::fromUtf8(kTextStartupJQuantsResume));
    }
    watcher.stop();
    ASSERT_TRUE(escaped);
    EXPECT_FALSE(fs::exists(directory_ / "Market.kbx"));
    EXPECT_TRUE(Profile().GetString(kProfileSection, kProfileDataSource).empty());

    // The next start offers J-Quants as it was chosen; OK goes on from the cache.
    Profile().SetInteger(kProfileSection, kProfileJQuantsRate, 60000);
    QString offeredPlan;
    bool offeredJQuants = false;
    AnswerWith([&](QWidget& dialog) {
        auto* jquants = dialog.findChild<QRadioButton*>(QStringLiteral("jquants"));
        offeredJQuants = jquants != nullptr && jquants->isChecked();
        if (auto* plan = dialog.findChild<QComboBox*>(QStringLiteral("plan")))
            offeredPlan = plan->currentText();
    });
    const std::size_t asked = service.Log().size();
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_)) << app.StartupStatus().toStdString();
    EXPECT_EQ(shown_, 2);
    EXPECT_TRUE(offeredJQuants);
    EXPECT_EQ(offeredPlan, QStringLiteral("light"));
    EXPECT_EQ(*app.Matrix().DailyCalendar().Last(), MakePackedDate(2024, 3, 7));
    const auto log = service.Log();
    for (std::size_t i = asked; i < log.size(); ++i)
        EXPECT_NE(log[i].target, "/v2/equities/bars/daily?date=2024-03-01");
    EXPECT_EQ(Profile().GetString(kProfileSection, kProfileDataSource), "jquants");
}

TEST_F(FirstStartTest, TheMenuKeepsTheKeyMaskedInAnOwnerOnlyFileAndThePlanAndSourceInTheProfile) {
    AnswerWith([](QWidget& dialog) { Choose(dialog, "sample"); });
    CVornApp app;
    ASSERT_TRUE(app.InitInstance(options_)) << app.LastMessage().toStdString();
    QMenu* file = nullptr;
    for (QAction* top : app.MainFrame()->menuBar()->actions())
        if (top->menu() != nullptr && top->text().startsWith(QStringLiteral("ファイル")))
            file = top->menu();
    ASSERT_NE(file, nullptr);
    bool answered = false;
    QString shownText;
    QTimer::singleShot(50, [&] {
        auto* dialog = dynamic_cast<CDialogJQuantsKey*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        answered = true;
        auto* key = dialog->findChild<QLineEdit*>(QStringLiteral("key"));
        auto* plan = dialog->findChild<QComboBox*>(QStringLiteral("plan"));
        if (key == nullptr || plan == nullptr)
            return dialog->reject();
        QTest::mouseClick(key, Qt::LeftButton);
        QTest::keyClicks(key, QString::fromLatin1(test::kJQuantsKey));
        shownText = key->displayText();
        // free, light, standard: two steps down.
        plan->setFocus();
        QTest::keyClick(plan, Qt::Key_Down);
        QTest::keyClick(plan, Qt::Key_Down);
        auto* source = dialog->findChild<QCheckBox*>(QStringLiteral("source"));
        if (source == nullptr)
            return dialog->reject();
        QTest::mouseClick(source, Qt::LeftButton, {}, QPoint(4, source->height() / 2));
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->text().contains(QStringLiteral("OK"), Qt::CaseInsensitive))
                return QTest::mouseClick(button, Qt::LeftButton);
        dialog->reject();
    });
    // The menu opened and its mnemonic typed, as a user does.
    file->popup(app.MainFrame()->mapToGlobal(QPoint(0, 0)));
    QTest::qWait(20);
    QTest::keyClick(file, Qt::Key_J);
    QTest::qWait(100);
    ASSERT_TRUE(answered);
    EXPECT_FALSE(shownText.isEmpty());
    EXPECT_EQ(shownText.indexOf(QString::fromLatin1(test::kJQuantsKey)), -1);
    EXPECT_EQ(shownText.indexOf(QStringLiteral("RECOGNISABLE")), -1);

    const fs::path keyFile = directory_ / kJQuantsKeyFileName;
    EXPECT_EQ(test::ReadWholeFile(keyFile), std::string(test::kJQuantsKey) + "\n");
    struct stat info {};
    ASSERT_EQ(::stat(keyFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(Profile().GetString(kProfileSection, kProfileJQuantsPlan), "standard");
    // The next start updates from the API.
    EXPECT_EQ(Profile().GetString(kProfileSection, kProfileDataSource), "jquants");
    std::string key, error;
    EXPECT_TRUE(LoadJQuantsKey(directory_, key, error)) << error;
    EXPECT_EQ(key, test::kJQuantsKey);
    app.ExitInstance();
}

} // namespace
} // namespace vorn
