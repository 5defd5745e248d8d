// vorn [--data-dir DIR] [--server HOST[:PORT]] [--local]
// The application's headers come before the toolkit's: the toolkit defines "slots" as a macro.
#include "shell/vorn_app.h"

#include <QApplication>
#include <QStringList>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vorn"));
    QApplication::setOrganizationName(QStringLiteral("Vorn"));

    vorn::AppOptions options;
    QString error;
    if (!vorn::ParseAppOptions(QApplication::arguments(), options, error)) {
        std::fprintf(stderr,
                     "vorn: %s\nusage: vorn [--data-dir DIR] [--server HOST[:PORT]] [--local]\n",
                     error.toLocal8Bit().constData());
        return 2;
    }
    vorn::CVornApp app;
    if (!app.InitInstance(options)) {
        app.ExitInstance();
        return 1;
    }
    const int result = QApplication::exec();
    const int exitResult = app.ExitInstance();
    return result != 0 ? result : exitResult;
}
