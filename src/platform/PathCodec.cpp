#include "platform/PathCodec.h"

#include <cstdint>

namespace tarnwick::PathCodec {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool isEscape(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// The length of the valid UTF-8 sequence starting at bytes[i], or 0.
int sequenceLength(const unsigned char* bytes, size_t i, size_t size) {
    const unsigned char lead = bytes[i];
    auto continuation = [&](size_t k) { return k < size && (bytes[k] & 0xC0) == 0x80; };
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return continuation(i + 1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!continuation(i + 1) || !continuation(i + 2)) return 0;
        const unsigned char second = bytes[i + 1];
        if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
        if (lead == 0xED && second > 0x9F) return 0;  // a surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) return 0;
        const unsigned char second = bytes[i + 1];
        if (lead == 0xF0 && second < 0x90) return 0;  // overlong
        if (lead == 0xF4 && second > 0x8F) return 0;  // above U+10FFFF
        return 4;
    }
    return 0;
}

}  // namespace

QString decode(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t size = bytes.size();
    size_t i = 0;
    while (i < size && data[i] < 0x80) ++i;
    if (i == size) return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(size));

    // Find out whether the rest is valid; most names with other letters are.
    bool valid = true;
    for (size_t k = i; k < size;) {
        const int length = sequenceLength(data, k, size);
        if (length == 0) {
            valid = false;
            break;
        }
        k += static_cast<size_t>(length);
    }
    if (valid) return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(size));

    QString text;
    text.reserve(static_cast<qsizetype>(size));
    size_t runStart = 0;
    auto flush = [&](size_t end) {
        if (end > runStart)
            text += QString::fromUtf8(bytes.data() + runStart, static_cast<qsizetype>(end - runStart));
    };
    for (size_t k = 0; k < size;) {
        const int length = sequenceLength(data, k, size);
        if (length == 0) {
            flush(k);
            text += QChar(static_cast<char16_t>(kEscapeBase + data[k]));
            ++k;
            runStart = k;
        } else {
            k += static_cast<size_t>(length);
        }
    }
    flush(size);
    return text;
}

QByteArray encode(QStringView text) {
    if (!hasEscapedBytes(text)) return text.toUtf8();
    QByteArray bytes;
    bytes.reserve(text.size() * 3);
    qsizetype runStart = 0;
    auto flush = [&](qsizetype end) {
        if (end > runStart) bytes += text.mid(runStart, end - runStart).toUtf8();
    };
    for (qsizetype k = 0; k < text.size(); ++k) {
        const char16_t unit = text[k].unicode();
        // A low surrogate right after a high one is half of a real character.
        const bool paired = k > 0 && QChar::isHighSurrogate(text[k - 1].unicode());
        if (isEscape(unit) && !paired) {
            flush(k);
            bytes += static_cast<char>(unit - kEscapeBase);
            runStart = k + 1;
        }
    }
    flush(text.size());
    return bytes;
}

bool hasEscapedBytes(QStringView text) {
    for (qsizetype k = 0; k < text.size(); ++k) {
        if (isEscape(text[k].unicode()) && !(k > 0 && QChar::isHighSurrogate(text[k - 1].unicode()))) return true;
    }
    return false;
}

}  // namespace tarnwick::PathCodec
