#include "app/GraphicalSession.h"
#include "app/TarnwickApp.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Asked before the windowing library starts: without a display it would abort instead.
    if (const auto missing = tarnwick::GraphicalSession::missingMessage(argc, argv)) {
        std::fprintf(stderr, "%s\n", missing->toLocal8Bit().constData());
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));
    // Ties the windows to the installed desktop entry (and its icon).
    QApplication::setDesktopFileName(QStringLiteral("com.merrowfield4.tarnwick"));
    tarnwick::TarnwickApp app;
    app.start();
    return application.exec();
}
