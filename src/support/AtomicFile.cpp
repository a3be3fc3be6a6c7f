#include "support/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace tarnwick::AtomicFile {

bool write(const QString& path, const QByteArray& data, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) *error = file.errorString();
        return false;
    }
    if (file.write(data) != data.size()) {
        if (error) *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

std::optional<QByteArray> read(const QString& path, qint64 maxBytes) {
    QFileInfo info(path);
    if (!info.exists() || !info.isFile()) return std::nullopt;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    if (file.size() > maxBytes) return std::nullopt;
    QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes || file.error() != QFile::NoError) return std::nullopt;
    return data;
}

}  // namespace tarnwick::AtomicFile
