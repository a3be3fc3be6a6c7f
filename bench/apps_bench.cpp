// Runs the apps finder and the update finder on a home folder.
//
//   apps_bench                generate a made-up home (an AppImage with its
//                             desktop entry and leftovers, a newer AppImage in
//                             Downloads, a Flatpak app of the user's
//                             installation with its data, a stand-in flatpak
//                             that reports one update) and scan it
//   apps_bench --home DIR     scan DIR as the home folder (system places and
//                             tools as they are on this machine)
//
// Prints one line per app "app<TAB>name<TAB>bytes<TAB>path" followed by its
// leftovers "leftover<TAB>bytes<TAB>path", one line per update candidate
// "update<TAB>name<TAB>path", then the time of each finder and the peak
// memory. Each finder runs twice (the first run warms the caches); the
// figures are those of the second run.
#include "FinderRun.h"
#include "JunkHome.h"
#include "platform/Environment.h"
#include "services/cleanup/AppUninstallerService.h"
#include "services/cleanup/AppUpdaterService.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

using namespace tarnwick;
using junkhome::Generator;
using junkhome::MB;

namespace {

void text(Generator& g, const std::string& path, const std::string& contents) {
    g.dir(path.substr(0, path.rfind('/')));
    std::ofstream(path) << contents;
}

// An AppImage of size bytes: its blocks reserved, the ELF and AppImage marks at the start.
void appImage(Generator& g, const std::string& path, long long size) {
    g.file(path, size, Generator::Kind::allocated);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    const char head[12] = {'\x7f', 'E', 'L', 'F', 2, 1, 1, 0, 'A', 'I', 2, 0};
    if (fd >= 0) {
        if (::pwrite(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) std::perror("pwrite");
        ::close(fd);
    }
    ::chmod(path.c_str(), 0755);
}

void generate(const std::string& home, const std::string& tools, Generator& g) {
    const auto A = Generator::Kind::allocated;
    const std::string studio = home + "/Applications/Fernwood-Studio-3.4.1-x86_64.AppImage";
    appImage(g, studio, 180 * MB);
    text(g, home + "/.local/share/applications/appimagekit-fernwood-studio.desktop",
         "[Desktop Entry]\nType=Application\nName=Fernwood Studio\nExec=\"" + studio + "\" %U\n");
    g.file(home + "/.config/Fernwood Studio/settings.json", 2 * MB, A);
    g.file(home + "/.cache/fernwoodstudio/previews.bin", 40 * MB, A);
    g.file(home + "/.local/state/Fernwood Studio/session.log", 1 * MB, A);
    appImage(g, home + "/Downloads/Fernwood-Studio-3.5.0-x86_64.AppImage", 185 * MB);
    appImage(g, home + "/.local/bin/quillpad", 12 * MB);  // marked, without the name

    const std::string deploy = home + "/.local/share/flatpak/app/org.pixelforge.Editor";
    const std::string active = deploy + "/x86_64/stable/5d1c0ffee";
    text(g, active + "/metadata", "[Application]\nname=org.pixelforge.Editor\nruntime=org.freedesktop.Platform\n");
    text(g, active + "/export/share/applications/org.pixelforge.Editor.desktop",
         "[Desktop Entry]\nType=Application\nName=Pixelforge\nExec=pixelforge\n");
    text(g, active + "/files/share/metainfo/org.pixelforge.Editor.metainfo.xml",
         "<component><releases><release version=\"5.0.2\"/></releases></component>\n");
    g.file(active + "/files/bin/pixelforge", 420 * MB, A);
    if (::symlink("5d1c0ffee", (deploy + "/x86_64/stable/active").c_str()) != 0) std::perror("symlink");
    if (::symlink("x86_64/stable", (deploy + "/current").c_str()) != 0) std::perror("symlink");
    g.file(home + "/.var/app/org.pixelforge.Editor/config/pixelforge.conf", 1 * MB, A);
    g.file(home + "/.var/app/org.pixelforge.Editor/data/brushes.bin", 60 * MB, A);
    g.file(home + "/.var/app/org.pixelforge.Editor/cache/thumbs.bin", 30 * MB, A);

    text(g, tools + "/flatpak",
         "#!/bin/sh\ncase \"$*\" in *remote-ls*--user*) printf 'org.pixelforge.Editor\\t5.1.0\\n' ;; esac\n");
    ::chmod((tools + "/flatpak").c_str(), 0755);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Environment environment = Environment::system();
    QTemporaryDir scratch;
    if (argc == 3 && std::string(argv[1]) == "--home") {
        environment.homeDirectory = QString::fromLocal8Bit(argv[2]);
    } else if (argc == 1) {
        if (!scratch.isValid()) {
            std::fprintf(stderr, "cannot make a scratch folder\n");
            return 1;
        }
        const std::string base = scratch.path().toStdString();
        Generator generator(base);
        generate(base + "/home/user", base + "/tools", generator);
        environment.homeDirectory = QString::fromStdString(base + "/home/user");
        environment.rootPrefix = QString::fromStdString(base + "/root");
        environment.variables.clear();
        environment.toolPaths.insert(QStringLiteral("/usr/bin/flatpak"), QString::fromStdString(base + "/tools/flatpak"));
    } else {
        std::fprintf(stderr, "usage: apps_bench [--home DIR]\n");
        return 2;
    }
    Environment::setCurrent(environment);

    using Apps = bench::FinderRun<InstalledApp>;
    using Updates = bench::FinderRun<AppUpdateItem>;
    const auto apps = [](const Apps::Progress& progress) { return AppUninstallerService::scan(progress); };
    const auto updates = [](const Updates::Progress& progress) { return AppUpdaterService::scan(progress); };
    const Apps warmApps = Apps::measure(apps);
    const Apps appsRun = Apps::measure(apps);
    const Updates warmUpdates = Updates::measure(updates);
    const Updates updatesRun = Updates::measure(updates);

    for (const InstalledApp& item : appsRun.items) {
        std::printf("app\t%s\t%lld\t%s\n", item.name.toUtf8().constData(), static_cast<long long>(item.size),
                    item.path.toUtf8().constData());
        for (const InstalledApp::Leftover& leftover : item.leftovers) {
            std::printf("leftover\t%lld\t%s\n", static_cast<long long>(leftover.size),
                        leftover.path.toUtf8().constData());
        }
    }
    for (const AppUpdateItem& item : updatesRun.items) {
        std::printf("update\t%s\t%s\n", item.name.toUtf8().constData(), item.path.toUtf8().constData());
    }
    std::printf("time\tapps\t%.3f s (first run %.3f s)\t%llu files opened\n", appsRun.total, warmApps.total,
                static_cast<unsigned long long>(appsRun.filesOpened));
    std::printf("time\tupdates\t%.3f s (first run %.3f s)\t%llu files opened\n", updatesRun.total,
                warmUpdates.total, static_cast<unsigned long long>(updatesRun.filesOpened));
    std::printf("peak\t%ld MiB\n", bench::peakMiB());
    return 0;
}
