#pragma once

#include "models/ScanInsights.h"
#include "models/ScanNode.h"
#include "models/VolumeInfo.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarnwick {

// Renders the main screens of the program to PNG files, offscreen. The
// module screens, the home screen before and after a Vidur Aded pass, the
// Safe Bin and the tray panel show what the real finders, the real pass and
// the real clean make of the made-up computer (DemoComputer) written into a
// temporary folder. The map in its four styles, the insights lists, the
// collector, the scanning screen and the volume chooser show a made-up size
// tree instead: a walk measures the space files take, and a credible map
// would need gigabytes of data. Needs a QApplication; touches nothing of the
// real home or support folders.
namespace ScreenPictures {

// One row of a module picture: the place it names, the home folder written
// as "~" (a process as its "PID n" line), and the size it shows (0 for rows
// without one).
struct Row {
    QString place;
    qint64 size = 0;

    bool operator==(const Row&) const = default;
};

struct Outcome {
    QStringList written;  // the pictures written, in order
    QString error;        // why the pictures stopped; empty when all were written
    // The rows of the module pictures, by file name, as their screens held
    // them when drawn.
    QHash<QString, QList<Row>> rows;
};

// The names of the files written.
QStringList fileNames();
// Writes every picture into the folder (made if missing).
Outcome render(const QString& outputDirectory);

// The made-up size tree the map pictures show, its insights and volumes.
ScanNodePtr demoTree();
ScanInsights demoInsights(const QDateTime& now);
std::vector<VolumeInfo> demoVolumes();

}  // namespace ScreenPictures

}  // namespace tarnwick
