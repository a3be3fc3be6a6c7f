#pragma once

#include "models/SafeBinEntry.h"
#include "platform/FileDescriptor.h"
#include "services/safebin/SafeBinClock.h"
#include "services/safebin/SafeBinJournal.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>
#include <vector>

struct stat;

namespace tarnwick {

// The Safe Bin folder's names and items, for the parts of the store: which
// names are the store's own files, which are items, where an item lies, and
// what it occupies. Only the store itself includes this.
namespace SafeBinFolder {

inline const QString kManifestName = QStringLiteral("manifest.json");
inline const QString kJournalName = QString::fromLatin1(SafeBinJournal::kFileName);
inline const QString kLockName = QStringLiteral("manifest.lock");
inline const QString kClockName = QString::fromLatin1(SafeBinClock::kFileName);
// An item on its way out for good: renamed to this first, so that a kill
// during the removal never leaves a half-removed item under its stored name.
inline constexpr std::string_view kRemovingPrefix = ".tarnwick-removing-";
// Failures named one by one in a message; the rest are counted.
inline constexpr qsizetype kNamedFailures = 3;

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

// The bytes the entry name of dirFd occupies on disk (see SafeBinService::allocatedSize()).
qint64 allocatedSizeAt(int dirFd, const QByteArray& name);

// 0 when the folder holds an entry of that name (a dangling link counts), else errno.
int probeAt(int dirFd, const QByteArray& name);

std::optional<SafeBinEntry::Remains> remainsOf(const struct stat& st);
bool isRemains(const std::optional<SafeBinEntry::Remains>& remains, const struct stat& st);

// The tag of the partial copy a restore makes beside an item's destination.
QString restoreTag(const SafeBinEntry& entry, const QString& memberName = {});

// The names in an open folder, without "." and "..". False when it cannot be read.
bool listNames(int directoryFd, std::vector<QByteArray>& names);

FileDescriptor openStoredFolder(int binFd, const QString& storedName);

}  // namespace SafeBinFolder

}  // namespace tarnwick
