#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace tarnwick {

// A fast writer and reader for JSON documents made of flat objects (keys with
// string, number, Boolean or null values), as the Safe Bin keeps its manifest
// and journal: linear in the size of the text, with no document tree built.
//
// Text round-trips exactly, lone UTF-16 surrogates included: the writer
// escapes a surrogate without its partner as \uXXXX and the reader turns that
// escape back into the same code unit, so the escaped bytes PathCodec makes of
// a file name that is not UTF-8 survive the file. Raw bytes inside a string
// that are not UTF-8 (a hand-edited file) are read through PathCodec as well.
namespace FlatJson {

// Appends text as a JSON string literal, "/" written as "\/".
void appendString(QByteArray& out, QStringView text);
void appendInteger(QByteArray& out, qint64 value);
// The shortest decimal form that reads back as the same double.
void appendNumber(QByteArray& out, double value);

struct Value {
    enum class Type { null, boolean, number, string, nested };
    Type type = Type::null;
    QString string;       // decoded, unless the reader skims
    QByteArrayView raw;   // a string's or nested value's text as written (escapes kept), inside the document
    double number = 0;
    std::optional<qint64> integer;  // a number with an integral value in the 64-bit range
    bool boolean = false;
};

struct Field {
    // UTF-8; points into the document being read (or into ownedKey when the
    // key had escapes), so an Object is used while its document lives.
    QByteArrayView key;
    QByteArray ownedKey;
    Value value;
};
using Object = std::vector<Field>;

// The value of key (the last one when a key repeats), or nullptr.
const Value* find(const Object& object, QLatin1StringView key);

class Reader {
public:
    explicit Reader(QByteArrayView data) : data_(data) {}

    // Skimming checks strings as strictly but leaves them undecoded (only
    // Value::raw is set): a quick pass over a document to judge it.
    void setSkimming(bool skim) { skim_ = skim; }

    // "[" starting the top-level array.
    bool beginArray();
    // The next object of the array into object; false at the closing "]" (then
    // failed() is false) or on malformed text (failed() is true). Values that
    // are arrays or objects are checked and skipped, typed nested.
    bool nextObject(Object& object);
    // One object at the reader's position (for documents of one object per line).
    bool readObject(Object& object);
    // Only whitespace remains.
    bool atEnd();
    bool failed() const { return failed_; }

private:
    void skipWhitespace();
    bool readString(QString& text, QByteArrayView* raw = nullptr);
    bool readKey(Field& field);
    bool readValue(Value& value, int depth);
    bool readNumber(Value& value);
    bool skipNested(int depth);
    bool literal(const char* word);
    bool fail() {
        failed_ = true;
        return false;
    }

    QByteArrayView data_;
    qsizetype pos_ = 0;
    bool skim_ = false;
    bool inArray_ = false;
    bool first_ = true;
    bool failed_ = false;
};

}  // namespace FlatJson

}  // namespace tarnwick
