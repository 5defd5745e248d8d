#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLabel placeholder(QString::fromUtf8("Vorn"));
    placeholder.resize(640, 480);
    placeholder.show();
    return app.exec();
}
