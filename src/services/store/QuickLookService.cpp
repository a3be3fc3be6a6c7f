#include "services/store/QuickLookService.h"

#include "platform/FileDescriptor.h"
#include "platform/PathCodec.h"
#include "support/PathRules.h"
#include "support/Saturating.h"

#include <QFile>
#include <QImageIOHandler>
#include <QImageReader>
#include <QMimeDatabase>
#include <QMutex>
#include <QStringDecoder>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tarnwick {

namespace {

QMutex presenterMutex;

std::function<void(const QString&)>& presenterSlot() {
    static std::function<void(const QString&)> presenter;
    return presenter;
}

QDateTime dateFrom(qint64 seconds, qint64 nanoseconds) {
    return QDateTime::fromMSecsSinceEpoch(seconds * 1000 + nanoseconds / 1000000);
}

std::optional<QDateTime> birthTime(const QByteArray& path) {
#ifdef STATX_BTIME
    struct statx info {};
    if (::statx(AT_FDCWD, path.constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &info) == 0 &&
        (info.stx_mask & STATX_BTIME)) {
        return dateFrom(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
    }
#else
    Q_UNUSED(path);
#endif
    return std::nullopt;
}

QString capitalized(QString text) {
    if (!text.isEmpty()) text[0] = text[0].toUpper();
    return text;
}

// The kind as the file's name tells it ("PNG image"); empty when the name says nothing.
QString kindFromName(const QString& path) {
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault()) return {};
    return capitalized(type.comment());
}

bool nameSaysText(const QString& path) {
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    return type.isValid() && type.inherits(QStringLiteral("text/plain"));
}

bool nameSaysImage(const QString& path) {
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    return type.isValid() && type.name().startsWith(QStringLiteral("image/"));
}

QString specialKind(mode_t mode) {
    if (S_ISLNK(mode)) return QStringLiteral("Symbolic link");
    if (S_ISFIFO(mode)) return QStringLiteral("Named pipe");
    if (S_ISSOCK(mode)) return QStringLiteral("Socket");
    if (S_ISCHR(mode)) return QStringLiteral("Character device");
    if (S_ISBLK(mode)) return QStringLiteral("Block device");
    return QStringLiteral("Item");
}

void inspectFolder(const QByteArray& nativePath, const QuickLookService::Limits& limits,
                   QuickLookService::Preview& result) {
    result.kind = QuickLookService::PreviewKind::folder;
    result.kindDescription = QStringLiteral("Folder");
    result.size.reset();
    FileDescriptor directory(::open(nativePath.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (directory.get() < 0) {
        result.note = QStringLiteral("The folder's contents can't be read.");
        return;
    }
    const int dirFd = directory.get();
    DIR* listing = ::fdopendir(dirFd);
    if (!listing) {
        result.note = QStringLiteral("The folder's contents can't be read.");
        return;
    }
    directory.release();  // closedir() closes it now
    Saturating::Total bytes;
    qint64 count = 0;
    while (dirent* entry = ::readdir(listing)) {
        const char* name = entry->d_name;
        if ((name[0] == '.' && name[1] == '\0') || (name[0] == '.' && name[1] == '.' && name[2] == '\0'))
            continue;
        if (count >= limits.folderEntries) {
            result.folderCountTruncated = true;
            break;
        }
        ++count;
        struct stat info {};
        if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode))
            bytes.add(info.st_size);
    }
    ::closedir(listing);
    result.folderItemCount = count;
    result.folderListedBytes = bytes.value();
}

// Decodes the picture the reader sits on, within the limits; false when it is not shown.
bool decodeImage(QImageReader& reader, qint64 fileSize, const QuickLookService::Limits& limits,
                 QuickLookService::Preview& result) {
    if (fileSize > limits.imageFileBytes) {
        result.note = QStringLiteral("The image is too large to preview.");
        return false;
    }
    reader.setAllocationLimit(limits.imageAllocationMB);
    const QSize size = reader.size();
    result.imageSize = size;
    if (size.isValid()) {
        const qint64 pixels = qint64(size.width()) * size.height();
        const qint64 ceiling = qint64(limits.imageAllocationMB) * 1024 * 1024 / 4;
        const bool tooLarge = size.width() > limits.imageMaxSide || size.height() > limits.imageMaxSide;
        if (tooLarge) {
            // A decoder that cannot scale while it reads decodes the whole
            // picture first; refuse that when it would not fit the ceiling.
            if (!reader.supportsOption(QImageIOHandler::ScaledSize) && pixels > ceiling) {
                result.note = QStringLiteral("The image is too large to preview.");
                return false;
            }
            reader.setScaledSize(size.scaled(limits.imageMaxSide, limits.imageMaxSide, Qt::KeepAspectRatio));
        }
    }
    QImage image = reader.read();
    if (image.isNull()) {
        result.note = QStringLiteral("The image can't be shown.");
        return false;
    }
    if (!result.imageSize.isValid()) result.imageSize = image.size();
    result.image = std::move(image);
    return true;
}

// Reads the start of the file as text; false when it does not look like text.
bool readText(QFile& file, const QString& path, const QuickLookService::Limits& limits,
              QuickLookService::Preview& result) {
    if (!file.seek(0)) return false;
    QByteArray data = file.read(limits.textBytes + 1);
    const bool truncated = data.size() > limits.textBytes;
    if (truncated) data.truncate(limits.textBytes);
    if (data.isEmpty() && !nameSaysText(path)) return false;
    if (data.contains('\0')) return false;
    // A cut through a multi-byte character at the cap is not an error; the
    // same incomplete character at the true end of the file is.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           truncated ? QStringDecoder::Flag::Default : QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(data);
    if (decoder.hasError()) {
        if (!nameSaysText(path)) return false;
        text = QString::fromLatin1(data);
    }
    result.kind = QuickLookService::PreviewKind::text;
    result.text = std::move(text);
    result.textTruncated = truncated;
    if (result.kindDescription.isEmpty()) result.kindDescription = QStringLiteral("Plain text document");
    return true;
}

void inspectRegularFile(const QByteArray& nativePath, const struct stat& seen,
                        const QuickLookService::Limits& limits, QuickLookService::Preview& result) {
    result.kind = QuickLookService::PreviewKind::other;
    result.kindDescription = kindFromName(result.path);
    // O_NONBLOCK: should the path have become a pipe since it was examined,
    // opening it must not wait for a writer. O_NOFOLLOW: never read through a link.
    FileDescriptor fd(::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY));
    struct stat opened {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0) {
        result.note = QStringLiteral("The file can't be read.");
        if (result.kindDescription.isEmpty()) result.kindDescription = QStringLiteral("Document");
        return;
    }
    if (!S_ISREG(opened.st_mode) || opened.st_dev != seen.st_dev || opened.st_ino != seen.st_ino) {
        result.note = QStringLiteral("The item changed while it was being read.");
        if (result.kindDescription.isEmpty()) result.kindDescription = QStringLiteral("Document");
        return;
    }
    result.size = opened.st_size;
    result.modified = dateFrom(opened.st_mtim.tv_sec, opened.st_mtim.tv_nsec);

    QFile file;
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        result.note = QStringLiteral("The file can't be read.");
        if (result.kindDescription.isEmpty()) result.kindDescription = QStringLiteral("Document");
        return;
    }

    // Text comes first unless the name says picture: some decoders claim
    // almost any bytes from their header alone.
    const bool namedImage = nameSaysImage(result.path);
    if (!namedImage && readText(file, result.path, limits, result)) return;
    if (!file.seek(0)) {
        result.note = QStringLiteral("The file can't be read.");
        return;
    }
    QImageReader reader(&file);
    reader.setDecideFormatFromContent(true);
    if (reader.canRead()) {
        if (!namedImage) result.kindDescription = QString::fromLatin1(reader.format()).toUpper() + QStringLiteral(" image");
        if (decodeImage(reader, opened.st_size, limits, result)) result.kind = QuickLookService::PreviewKind::image;
        return;
    }
    if (namedImage && readText(file, result.path, limits, result)) return;
    if (result.kindDescription.isEmpty()) result.kindDescription = QStringLiteral("Document");
}

}  // namespace

namespace QuickLookService {

Preview inspect(const QString& path, const Limits& limits) {
    Preview result;
    result.path = path;
    result.name = PathRules::lastPathComponent(path);
    const QByteArray nativePath = PathCodec::encode(path);
    struct stat info {};
    if (path.isEmpty() || ::lstat(nativePath.constData(), &info) != 0) {
        const int error = errno;
        result.kind = PreviewKind::missing;
        result.note = (path.isEmpty() || error == ENOENT || error == ENOTDIR)
                          ? QStringLiteral("The item can't be found.")
                          : QStringLiteral("The item can't be examined.");
        return result;
    }
    result.modified = dateFrom(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
    result.created = birthTime(nativePath);

    if (S_ISDIR(info.st_mode)) {
        inspectFolder(nativePath, limits, result);
    } else if (S_ISREG(info.st_mode)) {
        inspectRegularFile(nativePath, info, limits, result);
    } else {
        // Links, pipes, sockets and devices are described, never opened.
        result.kind = PreviewKind::other;
        result.kindDescription = specialKind(info.st_mode);
        if (S_ISLNK(info.st_mode)) {
            result.size = info.st_size;
            QByteArray target(qMax<qint64>(info.st_size, 255) + 1, '\0');
            const ssize_t length = ::readlink(nativePath.constData(), target.data(), target.size());
            if (length >= 0) result.linkTarget = PathCodec::decode(target.left(length));
        }
    }
    return result;
}

void preview(const QString& path) {
    std::function<void(const QString&)> presenter;
    {
        QMutexLocker lock(&presenterMutex);
        presenter = presenterSlot();
    }
    if (presenter) presenter(path);
}

void setPresenter(std::function<void(const QString& path)> presenter) {
    QMutexLocker lock(&presenterMutex);
    presenterSlot() = std::move(presenter);
}

}  // namespace QuickLookService

}  // namespace tarnwick
