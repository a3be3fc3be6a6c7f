// Renders the main window to a PNG: shell_screenshot OUTPUT.png [SECTION TITLE] [--about]
// The window is shown with a throwaway home holding a few logged activities
// and a cached scan, so the picture does not depend on this machine.
#include "app/MainWindow.h"
#include "app/TarnwickApp.h"
#include "design/WindowChrome.h"
#include "models/AppSection.h"
#include "platform/Environment.h"
#include "services/store/ActivityService.h"
#include "state/AppState.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

using namespace tarnwick;

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTextStream err(stderr);
    QStringList arguments = QApplication::arguments().mid(1);
    const bool about = arguments.removeAll(QStringLiteral("--about")) > 0;
    if (arguments.isEmpty() || arguments.size() > 2) {
        err << "usage: shell_screenshot OUTPUT.png [SECTION TITLE] [--about]\n";
        return 2;
    }
    const QString output = arguments[0];
    const QString title = arguments.size() == 2 ? arguments[1] : QStringLiteral("Activity");
    const auto section = appSectionFromRawValue(title);
    if (!section) {
        err << "shell_screenshot: no section titled " << title << "\n";
        return 2;
    }

    QTemporaryDir scratch;
    Environment environment = Environment::system();
    environment.homeDirectory = scratch.path() + QStringLiteral("/home");
    environment.applicationSupport = environment.homeDirectory + QStringLiteral("/.local/share");
    environment.tempDirectory = scratch.path();
    environment.settingsFile = scratch.path() + QStringLiteral("/settings.ini");
    QDir().mkpath(environment.applicationSupport);
    const QDateTime now = QDateTime::currentDateTime();
    // Each event is logged with the clock set back to when it happened.
    auto logAt = [&](int secondsAgo, const QString& kind, const QString& summary, qint64 bytes, qint64 items) {
        Environment past = environment;
        past.clock = [when = now.addSecs(-secondsAgo)] { return when; };
        Environment::Scope scope(past);
        ActivityService::log(kind, summary, bytes, items);
    };
    logAt(3 * 86400, QStringLiteral("Junk"), QStringLiteral("Removed 214 cache files"), 1'840'000'000, 214);
    logAt(5 * 3600, QStringLiteral("Maintenance"), QStringLiteral("Flushed the DNS cache"), 0, 1);
    logAt(25 * 60, QStringLiteral("Space Map"), QStringLiteral("Moved 3 items to the Safe Bin"), 5'300'000'000, 3);
    Environment::Scope scope(environment);

    MapServices services = MapServices::production();
    services.listVolumes = [] { return std::vector<VolumeInfo>{}; };
    services.loadCache = [now] {
        CachedScan cached;
        cached.rootPath = QStringLiteral("/");
        cached.rootName = QStringLiteral("Computer");
        cached.scannedAt = now.addSecs(-2 * 3600);
        cached.root = ScanNode::create(QUuid::createUuid(), cached.rootName, cached.rootPath, NodeKind::dir, 0);
        cached.insights = ScanInsights::empty();
        return std::optional<CachedScan>(cached);
    };

    TarnwickApp app(services);
    app.start();
    WindowChrome::install();
    app.state().openSection(*section);
    app.state().setShowAbout(about);
    MainWindow& window = app.mainWindow();
    window.resize(1200, 780);
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    const QImage image = window.grab().toImage();
    if (!image.save(output, "PNG")) {
        err << "shell_screenshot: cannot write " << output << "\n";
        return 1;
    }
    return 0;
}
