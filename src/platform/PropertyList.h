#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

namespace tarnwick {

// A property list (XML or binary) read from a file the program does not
// control, such as the Info.plist of any application bundle. Reading refuses
// what could hurt the program before the parser sees it: documents larger
// than a cap, containers nested deeper than a limit (the parser and its
// clean-up recurse once per level), and binary documents whose object table
// points outside the document or loops back on itself. Every value is
// type-checked when it is asked for, so a key of the wrong type reads as
// missing.
class PropertyList {
public:
    static constexpr qint64 kMaxBytes = 1024 * 1024;
    static constexpr int kMaxDepth = 32;

    // Nothing when the bytes are empty, too large, nested too deep, malformed
    // or not a property list.
    static std::optional<PropertyList> parse(QByteArrayView bytes);
    // The same for a regular file (never a link, pipe or device); nothing when
    // it cannot be read or is larger than the cap.
    static std::optional<PropertyList> read(const QString& path);

    // Whether the bytes pass the depth and structure checks (either format).
    static bool isWithinLimits(QByteArrayView bytes);

    // The top level is a dictionary.
    bool isDictionary() const;
    // The text under key in the top-level dictionary; nothing when the top
    // level is not a dictionary or the key is missing or not text.
    std::optional<QString> text(const char* key) const;

    ~PropertyList();
    PropertyList(PropertyList&&) noexcept;
    PropertyList& operator=(PropertyList&&) noexcept;
    PropertyList(const PropertyList&) = delete;
    PropertyList& operator=(const PropertyList&) = delete;

private:
    explicit PropertyList(void* root) : root_(root) {}

    void* root_ = nullptr;  // a plist_t
};

}  // namespace tarnwick
