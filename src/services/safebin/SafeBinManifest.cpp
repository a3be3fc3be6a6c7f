#include "services/safebin/SafeBinManifest.h"

#include "platform/FileOperations.h"
#include "platform/PathCodec.h"
#include "services/safebin/SafeBinErrors.h"
#include "services/safebin/SafeBinFolder.h"
#include "support/AtomicFile.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace tarnwick::SafeBinManifest {

namespace {

// A manifest larger than this is refused as unreadable (about 3.5 million entries).
constexpr qint64 kMaxManifestBytes = qint64(1) << 30;

QString unreadableText(const QString& path) {
    return QStringLiteral("The Safe Bin\u2019s list of items ") + FileError::quoted(path) +
           QStringLiteral(" cannot be read, so nothing was changed. The items in the Safe Bin are untouched.");
}


bool newer(const SafeBinEntry& a, const SafeBinEntry& b) { return a.removedAt > b.removedAt; }

}  // namespace

bool sameRecord(const SafeBinEntry& a, const SafeBinEntry& b) { return a.id == b.id && a.storedName == b.storedName; }

Manifest readManifest(const QString& bin, std::optional<QDateTime> skimBefore) {
    Manifest manifest;
    const QString path = SafeBinFolder::manifestPath(bin);
    const int state = FileOperations::probe(path);
    if (state == ENOENT || state == ENOTDIR) return manifest;  // no manifest yet
    // Never through a link, a FIFO or a device in its place: such a manifest reads as damaged.
    struct stat st {};
    const FileDescriptor file = AtomicFile::openForReading(AT_FDCWD, PathCodec::encode(path), &st);
    auto data = file.valid() && st.st_size <= kMaxManifestBytes ? AtomicFile::readOpened(file.get(), kMaxManifestBytes, st.st_size)
                                                                : std::nullopt;
    if (data && skimBefore) {
        const auto summary = SafeBinEntry::summarizeManifest(*data);
        if (summary && summary->newestFirst && !(summary->oldest && *summary->oldest < *skimBefore)) {
            manifest.text = std::move(*data);
            manifest.decoded = false;
            return manifest;
        }
    }
    auto entries = data ? SafeBinEntry::decodeManifest(*data) : std::nullopt;
    if (!entries) {
        manifest.error = FileError::tarnwick(SafeBinErrors::kManifestUnreadableCode, unreadableText(path));
        return manifest;
    }
    manifest.entries = std::move(*entries);
    manifest.text = std::move(*data);
    return manifest;
}

std::optional<FileError> save(const QString& bin, const QByteArray& text) {
    const QString path = SafeBinFolder::manifestPath(bin);
    QString reason;
    int code = 0;
    if (!AtomicFile::write(path, text, &reason, &code)) {
        return FileError::system(code, QStringLiteral("Could not write the Safe Bin\u2019s list of items ") +
                                           FileError::quoted(path));
    }
    return std::nullopt;
}

bool isNewestFirst(const std::vector<SafeBinEntry>& entries) {
    return std::is_sorted(entries.begin(), entries.end(), newer);
}

void sortNewestFirst(std::vector<SafeBinEntry>& entries) {
    if (!isNewestFirst(entries)) std::stable_sort(entries.begin(), entries.end(), newer);
}

// Drops the records of one stored item: same id and same stored name. A
// hand-edited manifest may repeat an id; the other records are not touched.
bool eraseRecord(std::vector<SafeBinEntry>& entries, const SafeBinEntry& entry) {
    const auto end = std::remove_if(entries.begin(), entries.end(),
                                    [&](const SafeBinEntry& e) { return sameRecord(e, entry); });
    const bool found = end != entries.end();
    entries.erase(end, entries.end());
    return found;
}

SafeBinEntry* findRecord(std::vector<SafeBinEntry>& entries, const SafeBinEntry& entry) {
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const SafeBinEntry& e) { return sameRecord(e, entry); });
    return found == entries.end() ? nullptr : &*found;
}

QByteArray prependedManifest(const QByteArray& read, const std::vector<SafeBinEntry>& added) {
    const qsizetype open = read.indexOf('[');
    QByteArray text;
    text.reserve(read.size() + qsizetype(added.size()) * 400);
    text.append('[');
    for (auto it = added.rbegin(); it != added.rend(); ++it) {
        if (it != added.rbegin()) text.append(',');
        it->appendJson(text);
    }
    const QByteArrayView rest = QByteArrayView(read).sliced(open + 1);
    if (rest.trimmed() != "]") text.append(',');
    text.append(rest);
    return text;
}

}  // namespace tarnwick::SafeBinManifest
