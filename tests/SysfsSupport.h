#pragma once

// A fake sysfs tree for the tests of what the kernel tells about disks.

#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include <unistd.h>

namespace tarnwick::test {

// A small copy of the kernel's layout: /sys/dev/block/MAJOR:MINOR links to
// the device's folder under /sys/devices; a partition is a folder inside its
// disk holding a "partition" file; a disk's "device" links to the hardware
// folder above it, which names its driver, vendor and model.
class FakeSysfs {
public:
    explicit FakeSysfs(const QString& root) : root_(root) { makeDir(root_ + "/dev/block"); }
    QString root() const { return root_; }

    // A disk at devices/<folder>, with its queue's rotational flag and, when
    // given, its hardware's driver, vendor and model.
    void disk(const QString& node, const QString& folder, bool rotational, const char* driver = nullptr,
              const char* vendor = nullptr, const char* model = nullptr) {
        const QString at = root() + "/devices/" + folder;
        writeFile(at + "/queue/rotational", rotational ? "1\n" : "0\n");
        const QString hardware = QFileInfo(QFileInfo(at).path()).path();  // .../block/NAME -> its parent's parent
        makeDir(hardware);
        link("../../../" + QFileInfo(hardware).fileName(), at + "/device");
        if (driver) {
            makeDir(root() + "/bus/drivers/" + driver);
            link(relativeTo(QFileInfo(hardware).absoluteFilePath(), root() + "/bus/drivers/" + driver), hardware + "/driver");
        }
        if (vendor) writeFile(hardware + "/vendor", QByteArray(vendor) + "\n");
        if (model) writeFile(hardware + "/model", QByteArray(model) + "\n");
        nodeLink(node, folder);
    }
    void partition(const QString& node, const QString& diskFolder, const char* name) {
        writeFile(root() + "/devices/" + diskFolder + "/" + name + "/partition", "1\n");
        nodeLink(node, diskFolder + "/" + name);
    }
    // A stacked device over the given device folders.
    void stacked(const QString& node, const char* name, const QStringList& below) {
        const QString at = root() + "/devices/virtual/block/" + name;
        writeFile(at + "/queue/rotational", "1\n");
        makeDir(at + "/slaves");
        for (const QString& folder : below) {
            link(relativeTo(at + "/slaves", root() + "/devices/" + folder), at + "/slaves/" + QFileInfo(folder).fileName());
        }
        nodeLink(node, QStringLiteral("virtual/block/") + name);
    }

private:
    static void link(const QString& target, const QString& path) {
        ASSERT_EQ(::symlink(target.toUtf8().constData(), path.toUtf8().constData()), 0) << path.toStdString();
    }
    static QString relativeTo(const QString& from, const QString& to) { return QDir(from).relativeFilePath(to); }
    void nodeLink(const QString& node, const QString& folder) {
        link("../../devices/" + folder, root() + "/dev/block/" + node);
    }

    QString root_;
};

}  // namespace tarnwick::test
