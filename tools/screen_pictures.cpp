// Renders the main screens to PNG files: screen_pictures OUTPUT_FOLDER
// The pictures show a made-up home folder, so they do not depend on this machine.
#include "app/ScreenPictures.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList arguments = QApplication::arguments().mid(1);
    if (arguments.size() != 1) {
        err << "usage: screen_pictures OUTPUT_FOLDER\n";
        return 2;
    }
    QString error;
    const QStringList written = tarnwick::ScreenPictures::render(arguments[0], &error);
    for (const QString& path : written) out << path << "\n";
    if (!error.isEmpty()) {
        err << "screen_pictures: " << error << "\n";
        return 1;
    }
    return 0;
}
