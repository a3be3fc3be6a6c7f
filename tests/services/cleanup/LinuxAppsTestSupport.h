#pragma once

// The apps a user installs here, written into a fake home or root: AppImages,
// the desktop entries that start them, and Flatpak apps deployed as flatpak
// deploys them.

#include "services/cleanup/FlatpakTool.h"

#include "FileTreeSupport.h"
#include "TestSupport.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick::test {

// An executable AppImage of bytes, all of them allocated (its blocks
// reserved, not written), that starts with the ELF and AppImage marks;
// `marked` false leaves the marks out.
inline QString writeAppImage(const QString& path, qint64 bytes, bool marked = true) {
    QByteArray head("\x7f" "ELF\x02\x01\x01\x00" "AI\x02\x00", 12);
    if (!marked) head = QByteArray(12, 'x');
    writeFile(path, head);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        if (bytes > head.size() && ::posix_fallocate(fd, 0, bytes) != 0) {}
        ::fchmod(fd, 0755);
        ::close(fd);
    }
    return path;
}

// A desktop entry in the folder starting program (quoted, with a field code).
inline QString writeDesktopEntry(const QString& folder, const QString& file, const QString& name,
                                 const QString& program, const QByteArray& more = {}) {
    return writeFile(folder + QLatin1Char('/') + file,
                     "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=\"" + program.toUtf8() +
                         "\" %U\n" + more);
}

// A Flatpak app deployed in an installation's apps folder: metadata naming
// `metadataName` (the id unless given), the exported desktop entry with the
// name, the metainfo with the version, and a program of bytes (sparse).
inline QString writeFlatpakApp(const QString& appsFolder, const QString& id, const QString& name,
                               const QString& version, qint64 bytes, const QString& metadataName = {}) {
    const QString app = appsFolder + QLatin1Char('/') + id;
    const QString active = app + QStringLiteral("/x86_64/stable/0a1b2c");
    writeFile(active + QStringLiteral("/metadata"),
              "[Application]\nname=" + (metadataName.isNull() ? id : metadataName).toUtf8() + "\nruntime=org.x.Platform\n");
    if (!name.isEmpty()) {
        writeFile(active + QStringLiteral("/export/share/applications/") + id + QStringLiteral(".desktop"),
                  "[Desktop Entry]\nType=Application\nName=" + name.toUtf8() + "\nExec=run\n");
    }
    if (!version.isEmpty()) {
        writeFile(active + QStringLiteral("/files/share/metainfo/") + id + QStringLiteral(".metainfo.xml"),
                  "<component><releases><release version=\"" + version.toUtf8() +
                      "\"/><release version=\"0.1\"/></releases></component>");
    }
    writeSparse(active + QStringLiteral("/files/bin/program"), bytes);
    makeLink(QStringLiteral("0a1b2c"), app + QStringLiteral("/x86_64/stable/active"));
    makeLink(QStringLiteral("x86_64/stable"), app + QStringLiteral("/current"));
    return app;
}

// A stand-in flatpak at the environment's tool path: it notes each command
// line it gets ("remote-ls --user ...") in a calls file, then runs body.
class FakeFlatpak {
public:
    explicit FakeFlatpak(FakeEnvironment& env) : env_(env) {}

    void install(const QByteArray& body) {
        const QString script = writeScript(env_.path(QStringLiteral("tools/flatpak")),
                                           "echo \"$*\" >> '" + calls_.toUtf8() + "'\n" + body);
        env_.environment().toolPaths.insert(FlatpakTool::kUsualPath, script);
        env_.apply();
    }
    QStringList calls() const {
        QFile file(calls_);
        if (!file.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    FakeEnvironment& env_;
    QString calls_ = env_.path(QStringLiteral("tools/calls"));
};

}  // namespace tarnwick::test
