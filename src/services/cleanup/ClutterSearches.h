#pragma once

#include "models/ClutterItem.h"
#include "services/cleanup/JunkContext.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <stop_token>

namespace tarnwick {

// The searches of the clutter scan, each over the folders it is given (the
// scan resolves them through the locations table). They share the junk
// scan's context: places, the time the scan started and the stop request.
// Each reads only, swallows every file-system error, is bounded by entry and
// result counts, and returns its items in the order it made them; the scan
// filters, sorts and trims afterwards. Nothing in a folder that moves whole
// (a node_modules folder, a cache folder, ~/.var/app, the Trash, the
// program's own folders: see WholeFolders) is taken up, as a finding or as
// the copy a finding names, nor any mount point; the Trash search takes the
// Trash's own entries, each whole. Ages count from the context's time: an
// entry is older than N days when it was modified before that time minus N
// days.
namespace ClutterService {

// The bounded size of a place: nothing there, 0; a file (or a link, as
// itself), its allocated size; a folder, the file sizes of the regular files
// among the first 12,000 entries of its subtree, hidden entries and package
// contents included, nothing on another device than the folder.
// measuredInPart (may be null) tells whether the folder held more entries.
qint64 sizeOf(const QString& path, const std::stop_token& stop = {}, bool* measuredInPart = nullptr);

// Every direct entry of the trash's files folder (hidden ones too) of more
// than 100,000 bytes; preselected (a folder measured in part says so in its
// detail: it moves whole). Each names its record in the trash's info
// folder ("<name>.trashinfo") as a companion, so the two move, come back
// and go for good together.
QList<ClutterItem> trashItems(const QString& trash, const JunkContext& context);

// Installers and archives directly in the folder, older than 30 days and
// larger than 2,000,000 bytes; preselected unless they are programs (an
// AppImage or a file with an execute bit), which may be run from there.
QList<ClutterItem> oldDownloads(const QString& folder, const JunkContext& context);

// Files directly in each folder whose names say they are screenshots, older
// than 14 days and larger than 20,000 bytes.
QList<ClutterItem> screenshots(const QStringList& folders, const JunkContext& context);

// The Mail attachments folder as one item when it holds more than 1,000,000 bytes.
QList<ClutterItem> mailDownloads(const QString& folder, const JunkContext& context);

// Copies of files of 2,000,000 bytes or more below the folders (8,000
// entries a folder): for each size shared by two files or more, the first 10
// found are compared; a copy is a file whose whole content equals that of one
// found earlier. No further size is taken up once 40 copies are listed. A
// file's size here is its file size, or the space it takes on disk when that
// is less (a sparse file's holes take none). Each copy names the file that
// stays, as it was (NamedCopy).
QList<ClutterItem> duplicates(const QStringList& folders, const JunkContext& context);

// Near-duplicate pictures below the folders (4,000 entries a folder): JPEG,
// PNG and WebP files of more than 120,000 and less than 12,000,000 bytes, the
// first 120 that decode, grouped by their average hashes. The best picture of
// a group stays: the one of the most pixels, of those the one of the most
// bytes (the first found of equals); the others are listed, 25 at most, each
// naming it.
QList<ClutterItem> similarImages(const QStringList& folders, const JunkContext& context);

// Files of 100,000,000 bytes or more below the folders (10,000 entries a
// folder), not modified for 180 days; 40 at most.
QList<ClutterItem> largeOld(const QStringList& folders, const JunkContext& context);

}  // namespace ClutterService

}  // namespace tarnwick
