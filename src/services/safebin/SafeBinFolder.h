#pragma once

#include "models/SafeBinEntry.h"
#include "platform/FileDescriptor.h"
#include "services/safebin/SafeBinClock.h"
#include "services/safebin/SafeBinJournal.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <string_view>
#include <vector>

namespace tarnwick {

// The Safe Bin folder and the names in it, for the parts of the store: where
// the folder is, which names are the store's own files, which are items, what
// an item is stored under and where it lies. What an item occupies is
// measured by SafeBinMeasure. Only the store itself includes this.
namespace SafeBinFolder {

inline const QString kManifestName = QStringLiteral("manifest.json");
inline const QString kJournalName = QString::fromLatin1(SafeBinJournal::kFileName);
inline const QString kLockName = QStringLiteral("manifest.lock");
inline const QString kClockName = QString::fromLatin1(SafeBinClock::kFileName);
// An item on its way out for good: renamed to this first, so that a kill
// during the removal never leaves a half-removed item under its stored name.
inline constexpr std::string_view kRemovingPrefix = ".tarnwick-removing-";

// The folder in use (see SafeBinService::root()).
QString root();

QString manifestPath(const QString& bin);
QString itemPath(const QString& bin, const QString& storedName);
QString prefixText(std::string_view prefix);

// A name inside the bin (or inside a group's folder) that is one entry of
// that folder: never a path, never the folder or its parent.
bool isPlainName(const QString& name);
// A stored name from the manifest is only used when it names one entry of the
// Safe Bin folder itself, and never one of the store's own files.
bool isPlainStoredName(const QString& name);
// The last component of a path names an item (not "/", "." or "..").
bool namesAnItem(const QString& name);

// The only folder whose own links are resolved when a path is opened.
QString trustedPrefix();

// True when path is the Safe Bin, lies inside it or holds it.
bool touchesBin(const QString& path, const QString& bin);

// prefix + name, name shortened (its extension kept where sensible) so the whole fits in one name.
QString nameWithPrefix(const QString& prefix, const QString& name);

// The names an item and a group's member are stored under (see
// SafeBinService::storedNameFor() and SafeBinService::memberStoredNameFor()).
QString storedNameFor(const QUuid& id, const QString& displayName);
QString memberStoredNameFor(int position, const QString& name);

// 0 when the folder holds an entry of that name (a dangling link counts), else errno.
int probeAt(int dirFd, const QByteArray& name);

// The tag of the partial copy a restore makes beside an item's destination.
QString restoreTag(const SafeBinEntry& entry, const QString& memberName = {});

// The names in an open folder, without "." and "..". False when it cannot be read.
bool listNames(int directoryFd, std::vector<QByteArray>& names);

FileDescriptor openStoredFolder(int binFd, const QString& storedName);

}  // namespace SafeBinFolder

}  // namespace tarnwick
