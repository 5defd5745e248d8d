// vorn [--data-dir DIR] [--server HOST[:PORT]] [--local]
//      [--screenshot PATH [--code CODE[:MARKET]] [--mode chart|screening|report]
//       [--period daily|weekly|monthly] [--size WxH]]
// The application's headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "foundation/writer_lock.h"
#include "shell/screenshot.h"
#include "shell/vorn_app.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr char kUsage[] =
    "usage: vorn [--data-dir DIR] [--server HOST[:PORT]] [--local]\n"
    "            [--screenshot PATH [--code CODE[:MARKET]] [--mode chart|screening|report]\n"
    "             [--period daily|weekly|monthly] [--size WIDTHxHEIGHT]]\n";

// Also "--name=value"; the toolkit's own options are not yet taken out here.
bool HasArgument(int argc, char** argv, const char* name) {
    const std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], name, length) == 0 &&
            (argv[i][length] == '\0' || argv[i][length] == '='))
            return true;
    return false;
}

#ifndef VORN_VERSION
#define VORN_VERSION "unknown"
#endif

constexpr char kHelp[] =
    "vorn: the desktop application for analysing the Japanese stock market through price gaps\n"
    "\n"
    "options:\n"
    "  --data-dir DIR            the data folder with Vorn.ini and the market file (default: "
    "the program's folder)\n"
    "  --server HOST[:PORT]      the matrix server for this run (default: the profile's; port "
    "80)\n"
    "  --local                   start without any network step\n"
    "  --screenshot PATH         start, save a PNG of the main window to PATH and exit\n"
    "  --code CODE[:MARKET]      with --screenshot: the security shown\n"
    "  --mode chart|screening|report  with --screenshot: the view shown (default chart)\n"
    "  --help, -h                show this help\n"
    "  --version                 print the version\n"
    "\n"
    "example:\n"
    "  vorn --data-dir /tmp/vorn-client --server 127.0.0.1:8080\n";

// --help and --version are answered before the toolkit starts, so they work without a display.
bool AnswersAlone(int argc, char** argv, int& status) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            std::fputs(kHelp, stdout);
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("vorn %s\n", VORN_VERSION);
        } else {
            continue;
        }
        status = std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
        return true;
    }
    return false;
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

void PrintError(const QString& text) {
    std::fprintf(stderr, "vorn: %s\n", text.toUtf8().constData());
}

} // namespace

int main(int argc, char** argv) {
    if (int status = 0; AnswersAlone(argc, argv, status))
        return status;
    // A picture needs no screen: without one the window is drawn offscreen. The platform has
    // to be chosen before the application object exists; an explicit choice is kept.
    if (HasArgument(argc, argv, "--screenshot") && !IsSet("DISPLAY") && !IsSet("WAYLAND_DISPLAY") &&
        !IsSet("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);

    // An interrupted write-back leaves no unfinished file beside the data.
    vorn::InstallInterruptCleanup("vorn");
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));

    vorn::AppOptions options;
    QString error;
    if (!vorn::ParseAppOptions(QApplication::arguments(), options, error)) {
        PrintError(error);
        std::fputs(kUsage, stderr);
        return 2;
    }
    // Nobody answers message boxes while a picture is taken: failures go to standard error.
    vorn::CTerminalPackageChooser terminalChooser;
    if (options.screenshot) {
        options.interactive = false;
        options.chooser = &terminalChooser;
    }
    vorn::CVornApp app;
    if (!app.InitInstance(options)) {
        if (options.screenshot)
            PrintError(QStringLiteral("start-up failed: ") + app.LastMessage().trimmed() +
                       QStringLiteral(" (") + app.StartupStatus() + QStringLiteral(")"));
        app.ExitInstance();
        return 1;
    }
    if (options.screenshot) {
        const bool taken = vorn::TakeScreenshot(app, *options.screenshot, error);
        app.ExitInstance();
        if (!taken) {
            PrintError(error);
            return 1;
        }
        return 0;
    }
    const int result = QApplication::exec();
    const int exitResult = app.ExitInstance();
    return result != 0 ? result : exitResult;
}
