// Renders the main screens to PNG files: screen_pictures OUTPUT_FOLDER
// The pictures show a made-up computer written into a temporary folder, so they
// do not depend on this machine.
#include "pictures/ScreenPictures.h"

#include <QApplication>
#include <QHashSeed>
#include <QTextStream>

int main(int argc, char* argv[]) {
    // One hash seed on every run: the map colours folders by their names' hashes.
    QHashSeed::setDeterministicGlobalSeed();
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
    const tarnwick::ScreenPictures::Outcome outcome = tarnwick::ScreenPictures::render(arguments[0]);
    for (const QString& path : outcome.written) out << path << "\n";
    if (!outcome.error.isEmpty()) {
        err << "screen_pictures: " << outcome.error << "\n";
        return 1;
    }
    return 0;
}
