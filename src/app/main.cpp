#include "app/SingleInstance.h"
#include "app/TarnwickApp.h"
#include "support/AppIdentity.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarnwick"));
    QApplication::setOrganizationName(QStringLiteral("Tarnwick"));
    QApplication::setApplicationVersion(QStringLiteral(TARNWICK_VERSION));

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
