#pragma once
// Widget tests share one QApplication on the offscreen platform (unless QT_QPA_PLATFORM names
// another): made before the first test, or on first use, and destroyed after the last test.
#include <QApplication>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace vorn::test {

inline std::unique_ptr<QApplication>& OffscreenApplicationSlot() {
    static std::unique_ptr<QApplication> application;
    return application;
}

inline QApplication& OffscreenApplication() {
    auto& application = OffscreenApplicationSlot();
    if (!application) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "vorn_test";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QApplication>(argc, argv);
    }
    return *application;
}

class COffscreenEnvironment final : public ::testing::Environment {
public:
    void SetUp() override { OffscreenApplication(); }
    void TearDown() override { OffscreenApplicationSlot().reset(); }
};

inline ::testing::Environment* const kOffscreenEnvironment =
    ::testing::AddGlobalTestEnvironment(new COffscreenEnvironment);

} // namespace vorn::test
