#include "support/FlatJson.h"

#include "platform/PathCodec.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace tarnwick::FlatJson {

namespace {

constexpr char kHex[] = "0123456789abcdef";
constexpr int kMaxDepth = 64;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Decodes the escape whose backslash is at data[i], inside a string whose
// closing quote is at end: its code unit, with i moved past it. False when
// the escape is malformed.
bool decodeEscape(const char* data, qsizetype& i, qsizetype end, char16_t& unit) {
    const char kind = data[i + 1];
    i += 2;
    switch (kind) {
    case '"': unit = u'"'; return true;
    case '\\': unit = u'\\'; return true;
    case '/': unit = u'/'; return true;
    case 'b': unit = u'\b'; return true;
    case 'f': unit = u'\f'; return true;
    case 'n': unit = u'\n'; return true;
    case 'r': unit = u'\r'; return true;
    case 't': unit = u'\t'; return true;
    case 'u':
        if (end - i < 4) return false;
        unit = 0;
        for (int k = 0; k < 4; ++k) {
            const int digit = hexValue(data[i + k]);
            if (digit < 0) return false;
            unit = char16_t(unit * 16 + digit);
        }
        i += 4;
        return true;
    default:
        return false;
    }
}

}  // namespace

void appendString(QByteArray& out, QStringView text) {
    // Written straight into room made beforehand: at most six bytes per code
    // unit (an escape), plus the quotes.
    const qsizetype size = text.size();
    const qsizetype start = out.size();
    out.resize(start + size * 6 + 2);
    char* const begin = out.data() + start;
    char* p = begin;
    *p++ = '"';
    const char16_t* units = reinterpret_cast<const char16_t*>(text.utf16());
    auto escapeUnit = [&p](char16_t unit) {
        *p++ = '\\';
        *p++ = 'u';
        *p++ = kHex[(unit >> 12) & 0xF];
        *p++ = kHex[(unit >> 8) & 0xF];
        *p++ = kHex[(unit >> 4) & 0xF];
        *p++ = kHex[unit & 0xF];
    };
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t unit = units[i];
        if (unit < 0x80) {
            if (unit >= 0x20 && unit != '"' && unit != '\\' && unit != '/') {
                *p++ = char(unit);
                continue;
            }
            switch (unit) {
            case '"': *p++ = '\\'; *p++ = '"'; break;
            case '\\': *p++ = '\\'; *p++ = '\\'; break;
            case '/': *p++ = '\\'; *p++ = '/'; break;
            case '\b': *p++ = '\\'; *p++ = 'b'; break;
            case '\f': *p++ = '\\'; *p++ = 'f'; break;
            case '\n': *p++ = '\\'; *p++ = 'n'; break;
            case '\r': *p++ = '\\'; *p++ = 'r'; break;
            case '\t': *p++ = '\\'; *p++ = 't'; break;
            default: escapeUnit(unit);
            }
        } else if (unit < 0x800) {
            *p++ = char(0xC0 | (unit >> 6));
            *p++ = char(0x80 | (unit & 0x3F));
        } else if (QChar::isHighSurrogate(unit) && i + 1 < size && QChar::isLowSurrogate(units[i + 1])) {
            const char32_t code = QChar::surrogateToUcs4(unit, units[i + 1]);
            *p++ = char(0xF0 | (code >> 18));
            *p++ = char(0x80 | ((code >> 12) & 0x3F));
            *p++ = char(0x80 | ((code >> 6) & 0x3F));
            *p++ = char(0x80 | (code & 0x3F));
            ++i;
        } else if (QChar::isSurrogate(unit)) {
            escapeUnit(unit);  // a lone half: only an escape keeps it
        } else {
            *p++ = char(0xE0 | (unit >> 12));
            *p++ = char(0x80 | ((unit >> 6) & 0x3F));
            *p++ = char(0x80 | (unit & 0x3F));
        }
    }
    *p++ = '"';
    out.resize(start + (p - begin));
}

void appendInteger(QByteArray& out, qint64 value) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

void appendNumber(QByteArray& out, double value) {
    if (!std::isfinite(value)) {
        out.append("null", 4);  // JSON has no such numbers
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr - buffer);
}

const Value* find(const Object& object, QLatin1StringView key) {
    for (auto it = object.rbegin(); it != object.rend(); ++it) {
        if (it->key.size() == key.size() && std::string_view(it->key.data(), size_t(it->key.size())) ==
                                                std::string_view(key.data(), size_t(key.size()))) {
            return &it->value;
        }
    }
    return nullptr;
}

void Reader::skipWhitespace() {
    while (pos_ < data_.size()) {
        const char c = data_[pos_];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t') return;
        ++pos_;
    }
}

bool Reader::atEnd() {
    skipWhitespace();
    return pos_ == data_.size();
}

bool Reader::literal(const char* word) {
    const qsizetype length = qsizetype(std::char_traits<char>::length(word));
    if (data_.size() - pos_ < length || std::string_view(data_.data() + pos_, length) != word) return fail();
    pos_ += length;
    return true;
}

bool Reader::readString(QString& text, QByteArrayView* raw) {
    // pos_ is on the opening quote. First find the closing one, noting what
    // the string holds, so that the usual strings take a quick way.
    ++pos_;
    const char* data = data_.data();
    const qsizetype size = data_.size();
    bool escapes = false;
    bool highBytes = false;
    qsizetype end = pos_;
    while (end < size) {
        const unsigned char c = static_cast<unsigned char>(data[end]);
        if (c == '"') break;
        if (c == '\\') {
            escapes = true;
            end += 2;
            continue;
        }
        if (c < 0x20) return fail();
        highBytes |= c >= 0x80;
        ++end;
    }
    if (end >= size) return fail();
    const qsizetype begin = pos_;
    if (raw) *raw = QByteArrayView(data + begin, end - begin);
    char16_t unit = 0;
    if (skim_ && raw) {
        for (qsizetype i = begin; escapes && i < end;) {
            if (data[i] != '\\') {
                ++i;
            } else if (!decodeEscape(data, i, end, unit)) {
                return fail();
            }
        }
        pos_ = end + 1;
        return true;
    }
    if (!escapes) {
        text = highBytes ? PathCodec::decode(std::string_view(data + begin, size_t(end - begin)))
                         : QString::fromLatin1(data + begin, end - begin);
        pos_ = end + 1;
        return true;
    }
    if (!highBytes) {
        // Plain ASCII with escapes (every path: "\/"): one pass, no pieces.
        text.resize(end - begin);
        QChar* out = text.data();
        for (qsizetype i = begin; i < end;) {
            if (data[i] != '\\') {
                *out++ = QLatin1Char(data[i++]);
            } else if (decodeEscape(data, i, end, unit)) {
                *out++ = QChar(unit);  // halves of a pair meet again in the text
            } else {
                return fail();
            }
        }
        text.resize(out - text.constData());
        pos_ = end + 1;
        return true;
    }
    // Other letters and escapes: the runs between escapes through PathCodec.
    text.clear();
    text.reserve(end - begin);
    qsizetype runStart = begin;
    for (qsizetype i = begin; i < end;) {
        if (data[i] != '\\') {
            ++i;
            continue;
        }
        if (i > runStart) text += PathCodec::decode(std::string_view(data + runStart, size_t(i - runStart)));
        if (!decodeEscape(data, i, end, unit)) return fail();
        text += QChar(unit);
        runStart = i;
    }
    if (end > runStart) text += PathCodec::decode(std::string_view(data + runStart, size_t(end - runStart)));
    pos_ = end + 1;
    return true;
}

bool Reader::readKey(Field& field) {
    if (pos_ >= data_.size() || data_[pos_] != '"') return fail();
    // Keys are plain names: take the bytes in place unless something is escaped.
    qsizetype end = pos_ + 1;
    while (end < data_.size() && data_[end] != '"' && data_[end] != '\\' &&
           static_cast<unsigned char>(data_[end]) >= 0x20) {
        ++end;
    }
    if (end < data_.size() && data_[end] == '"') {
        field.key = QByteArrayView(data_.data() + pos_ + 1, end - pos_ - 1);
        pos_ = end + 1;
        return true;
    }
    QString text;
    if (!readString(text)) return false;
    field.ownedKey = PathCodec::encode(text);
    field.key = QByteArrayView(field.ownedKey);
    return true;
}

bool Reader::readNumber(Value& value) {
    const char* data = data_.data();
    const qsizetype start = pos_;
    qsizetype i = pos_;
    if (i < data_.size() && data[i] == '-') ++i;
    if (i >= data_.size() || !isDigit(data[i])) return fail();
    if (data[i] == '0') {
        ++i;
    } else {
        while (i < data_.size() && isDigit(data[i])) ++i;
    }
    bool integral = true;
    if (i < data_.size() && data[i] == '.') {
        integral = false;
        ++i;
        if (i >= data_.size() || !isDigit(data[i])) return fail();
        while (i < data_.size() && isDigit(data[i])) ++i;
    }
    if (i < data_.size() && (data[i] == 'e' || data[i] == 'E')) {
        integral = false;
        ++i;
        if (i < data_.size() && (data[i] == '+' || data[i] == '-')) ++i;
        if (i >= data_.size() || !isDigit(data[i])) return fail();
        while (i < data_.size() && isDigit(data[i])) ++i;
    }
    value.type = Value::Type::number;
    value.integer.reset();
    if (integral) {
        qint64 whole = 0;
        const auto parsed = std::from_chars(data + start, data + i, whole);
        if (parsed.ec == std::errc() && parsed.ptr == data + i) value.integer = whole;
    }
    double number = 0;
    const auto parsed = std::from_chars(data + start, data + i, number);
    if (parsed.ec == std::errc::result_out_of_range) {
        number = (data[start] == '-') ? -HUGE_VAL : HUGE_VAL;
    } else if (parsed.ec != std::errc() || parsed.ptr != data + i) {
        return fail();
    }
    value.number = value.integer ? double(*value.integer) : number;
    // A written-out fraction of an integral value counts as that integer
    // (4096.0), as long as it lies inside the 64-bit range.
    if (!value.integer && std::isfinite(number) && number == std::floor(number) && number >= -9223372036854775808.0 &&
        number < 9223372036854775808.0) {
        value.integer = qint64(number);
    }
    pos_ = i;
    return true;
}

bool Reader::skipNested(int depth) {
    if (depth > kMaxDepth) return fail();
    const char open = data_[pos_];
    const char close = open == '[' ? ']' : '}';
    ++pos_;
    skipWhitespace();
    if (pos_ < data_.size() && data_[pos_] == close) {
        ++pos_;
        return true;
    }
    for (;;) {
        skipWhitespace();
        if (open == '{') {
            Field key;
            if (!readKey(key)) return false;
            skipWhitespace();
            if (pos_ >= data_.size() || data_[pos_] != ':') return fail();
            ++pos_;
            skipWhitespace();
        }
        Value ignored;
        if (!readValue(ignored, depth + 1)) return false;
        skipWhitespace();
        if (pos_ >= data_.size()) return fail();
        if (data_[pos_] == ',') {
            ++pos_;
            continue;
        }
        if (data_[pos_] == close) {
            ++pos_;
            return true;
        }
        return fail();
    }
}

bool Reader::readValue(Value& value, int depth) {
    if (pos_ >= data_.size()) return fail();
    value.integer.reset();
    switch (data_[pos_]) {
    case '"':
        value.type = Value::Type::string;
        return readString(value.string, &value.raw);
    case 't':
        value.type = Value::Type::boolean;
        value.boolean = true;
        return literal("true");
    case 'f':
        value.type = Value::Type::boolean;
        value.boolean = false;
        return literal("false");
    case 'n':
        value.type = Value::Type::null;
        return literal("null");
    case '[':
    case '{': {
        value.type = Value::Type::nested;
        const qsizetype start = pos_;
        if (!skipNested(depth)) return false;
        value.raw = data_.sliced(start, pos_ - start);
        return true;
    }
    default:
        return readNumber(value);
    }
}

bool Reader::readObject(Object& object) {
    object.clear();
    skipWhitespace();
    if (pos_ >= data_.size() || data_[pos_] != '{') return fail();
    ++pos_;
    skipWhitespace();
    if (pos_ < data_.size() && data_[pos_] == '}') {
        ++pos_;
        return true;
    }
    for (;;) {
        skipWhitespace();
        Field& field = object.emplace_back();
        if (!readKey(field)) return false;
        skipWhitespace();
        if (pos_ >= data_.size() || data_[pos_] != ':') return fail();
        ++pos_;
        skipWhitespace();
        if (!readValue(field.value, 1)) return false;
        skipWhitespace();
        if (pos_ >= data_.size()) return fail();
        if (data_[pos_] == ',') {
            ++pos_;
            continue;
        }
        if (data_[pos_] == '}') {
            ++pos_;
            return true;
        }
        return fail();
    }
}

bool Reader::beginArray() {
    skipWhitespace();
    if (pos_ >= data_.size() || data_[pos_] != '[') return fail();
    ++pos_;
    inArray_ = true;
    first_ = true;
    return true;
}

bool Reader::nextObject(Object& object) {
    if (!inArray_ || failed_) return fail();
    skipWhitespace();
    if (pos_ >= data_.size()) return fail();
    if (data_[pos_] == ']') {
        ++pos_;
        inArray_ = false;
        return false;
    }
    if (!first_) {
        if (data_[pos_] != ',') return fail();
        ++pos_;
    }
    first_ = false;
    return readObject(object);
}

}  // namespace tarnwick::FlatJson
