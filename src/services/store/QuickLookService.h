#pragma once

#include <QDateTime>
#include <QImage>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace tarnwick {

// Previews of files and folders. preview() is the one entry the screens call;
// it hands the path to the window the application registered. inspect()
// decides what that window shows and reads only what it needs: regular files
// alone are opened (never a pipe, socket or device, never through a symbolic
// link), text is read up to a cap and images are decoded only below size and
// memory limits, so no path can block or exhaust the program.
namespace QuickLookService {

enum class PreviewKind {
    image,    // a decoded picture
    text,     // the start of a text file
    folder,   // a folder's summary
    other,    // name, kind, size and dates only
    missing,  // nothing at the path (or it cannot be examined)
};

struct Limits {
    qint64 textBytes = 256 * 1024;             // text read from the start of a file
    qint64 imageFileBytes = 64 * 1024 * 1024;  // larger image files are not decoded
    int imageAllocationMB = 256;               // the decoder's memory ceiling
    int imageMaxSide = 4096;                   // larger pictures are decoded scaled down
    qint64 folderEntries = 100000;             // folder entries counted before stopping
};

struct Preview {
    QString path;
    QString name;  // last path component
    PreviewKind kind = PreviewKind::missing;
    QString kindDescription;  // "Folder", "PNG image", "Named pipe", ...
    std::optional<qint64> size;  // bytes, for anything that is not a folder
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
    QString linkTarget;  // for a symbolic link

    // image
    QImage image;
    QSize imageSize;  // the picture's own size, before any scaling

    // text
    QString text;
    bool textTruncated = false;

    // folder
    qint64 folderItemCount = 0;
    qint64 folderListedBytes = 0;  // the sizes of the regular files listed in it
    bool folderCountTruncated = false;

    // Why the content is not shown, when it is not ("The image is too large to preview.").
    QString note;
};

// What a preview of the path shows. Synchronous; safe on any thread; never throws.
Preview inspect(const QString& path, const Limits& limits = {});

// Shows the path in the preview window, replacing what it showed. Does nothing
// until the application has registered its presenter.
void preview(const QString& path);
// The application's preview window; an empty function unregisters it.
void setPresenter(std::function<void(const QString& path)> presenter);

}  // namespace QuickLookService

}  // namespace tarnwick
