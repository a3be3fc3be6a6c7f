#pragma once

#include <QString>

namespace tarnwick {

// How far a running scan has come; handed to the scan's progress callback.
struct ScanProgress {
    qint64 scannedFiles = 0;  // files counted so far
    qint64 scannedBytes = 0;  // their bytes on disk
    QString currentPath;      // absolute path of the entry handled last
};

}  // namespace tarnwick
