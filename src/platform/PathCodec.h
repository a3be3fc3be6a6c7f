#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <string_view>

namespace tarnwick {

// The one crossing between file names as the file system stores them (bytes)
// and text. Valid UTF-8 decodes as usual; every byte that is not part of a
// valid UTF-8 sequence becomes the lone low surrogate U+DC00 + byte
// (U+DC80…U+DCFF), which encode() turns back into that byte. So
// encode(decode(b)) == b for every byte string b, and a name that is not valid
// UTF-8 still names its own file, never another one shown the same way.
namespace PathCodec {

QString decode(std::string_view bytes);
inline QString decode(const QByteArray& bytes) {
    return decode(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}
QByteArray encode(QStringView text);

// The text carries escaped bytes (it came from a name that is not UTF-8).
bool hasEscapedBytes(QStringView text);

}  // namespace PathCodec

}  // namespace tarnwick
