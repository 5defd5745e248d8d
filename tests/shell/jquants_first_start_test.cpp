// The first start with an empty data directory and no server: the choice dialog, driven by
// real input events, builds a market and the application ends on a chart.
#include "acquisition/jquants_build.h"
#include "foundation/profile.h"
#include "support/fake_jquants_service.h"

#include "shell/dialog_first_start.h"
#include "shell/settings_profile.h"
#include "shell/vorn_app.h"
#include "support/offscreen_application.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

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
    {
        CSettingsProfile profile = Profile();
        profile.SetString(kProfileSection, kProfileJQuantsBaseUrl, service.BaseUrl());
        profile.SetInteger(kProfileSection, kProfileJQuantsRate, 60000);
    }
    AnswerWith([](QWidget& dialog) {
        Choose(dialog, "jquants");
        auto* key = dialog.findChild<QLineEdit*>(QStringLiteral("key"));
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->echoMode(), QLineEdit::Password);
        QTest::keyClicks(key, QString::fromLatin1(test::kJQuantsKey));
        auto* plan = dialog.findChild<QComboBox*>(QStringLiteral("plan"));
        ASSERT_NE(plan, nullptr);
        plan->setCurrentText(QStringLiteral("light"));
    });
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
}

} // namespace
} // namespace vorn
