// vorn answers --help and --version before it needs a display.
#include <gtest/gtest.h>

#include <string>

#include "support/run_command.h"

namespace {

std::pair<int, std::string> RunWithoutDisplay(const std::string& arguments) {
    return vorn::test::RunCommandLine("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " +
                                      std::string(VORN_APP_PATH) + " " + arguments + " 2>&1");
}

TEST(VornCommandLine, HelpAndVersionNeedNoDisplay) {
    const auto [helpStatus, help] = RunWithoutDisplay("--help");
    EXPECT_EQ(helpStatus, 0) << help;
    for (const char* option : {"--data-dir", "--server", "--local", "--screenshot", "--version"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    EXPECT_EQ(RunWithoutDisplay("-h"), std::make_pair(helpStatus, help));

    const auto [versionStatus, version] = RunWithoutDisplay("--version");
    EXPECT_EQ(versionStatus, 0);
    EXPECT_EQ(version.rfind("vorn ", 0), 0u) << version;
    EXPECT_EQ(version.find("unknown"), std::string::npos);
}

} // namespace
