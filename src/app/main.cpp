#include "app/GraphicalSession.h"
#include "app/SingleInstance.h"
#include "app/TarnwickApp.h"
#include "support/AppIdentity.h"

#include <QApplication>
#include <QMessageBox>

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

    // One copy per support folder: a second start brings the first one's window forward.
    tarnwick::SingleInstance instance(tarnwick::AppIdentity::supportDirectory());
    switch (instance.claim()) {
    case tarnwick::SingleInstance::Role::primary:
        break;
    case tarnwick::SingleInstance::Role::forwarded:
        std::fputs("Tarnwick is already running; its window was brought forward.\n", stderr);
        return 0;
    case tarnwick::SingleInstance::Role::refused:
        std::fprintf(stderr, "%s\n", tarnwick::SingleInstance::refusalMessage().toLocal8Bit().constData());
        QMessageBox::warning(nullptr, QStringLiteral("Tarnwick"), tarnwick::SingleInstance::refusalMessage());
        return 1;
    }

    tarnwick::TarnwickApp app;
    QObject::connect(&instance, &tarnwick::SingleInstance::activationRequested, &app,
                     &tarnwick::TarnwickApp::bringForward);
    app.start();
    return application.exec();
}
