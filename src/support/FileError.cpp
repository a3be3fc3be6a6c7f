#include "support/FileError.h"

#include <cstring>

namespace tarnwick {

FileError FileError::system(int errorNumber, const QString& what) {
    return FileError{kSystemDomain, errorNumber, what + QStringLiteral(": ") + systemText(errorNumber) + QLatin1Char('.')};
}

FileError FileError::tarnwick(int code, const QString& description) {
    return FileError{kTarnwickDomain, code, description};
}

FileError FileError::alreadyExists() {
    return tarnwick(1, QStringLiteral("A file already exists at the original location."));
}

QString FileError::systemText(int errorNumber) {
    char buffer[256] = {};
    // The GNU strerror_r returns the text, which may or may not live in buffer.
    const char* text = strerror_r(errorNumber, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text ? text : buffer);
}

QString FileError::quoted(const QString& text) {
    return QStringLiteral("\u201C") + text + QStringLiteral("\u201D");
}

}  // namespace tarnwick
