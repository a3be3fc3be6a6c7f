#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Tarnwick"));
    window.setMinimumSize(1100, 720);
    window.show();
    return app.exec();
}
