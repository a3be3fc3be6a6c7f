#pragma once

#include <QString>

#include <optional>

namespace tarnwick {

// What ties an entry of the user's Library (a support folder, a cache, a
// preferences file) to one installed application: its name, in lower case
// with and without spaces, and its bundle identifier.
//
// A name key claims every entry whose lower-cased name contains it, but only
// from four characters up, so that a short name ("Go", "X") claims nothing.
// The identifier claims the entry named exactly like it, and the entries
// whose names start with it (in any case) followed by "." ("com.example.Tool"
// claims "com.example.tool.agent" and "com.example.Tool.plist", never
// "com.example.Toolbox"); the prefix rule needs an identifier of at least two
// parts, so that "com" claims nothing but itself.
class AppMatchKeys {
public:
    static constexpr qsizetype kShortestNameKey = 4;

    AppMatchKeys(const QString& name, const std::optional<QString>& bundleId);

    // By a name key or by the identifier.
    bool claims(const QString& entryName) const;
    // By the identifier alone.
    bool claimsByIdentifier(const QString& entryName) const;

    // The identifier rule on its own: entryName is identifier, or (for an
    // identifier of two parts or more) starts with it, ignoring case, and
    // ends there or goes on with ".".
    static bool hasIdentifierPrefix(const QString& entryName, const QString& identifier);

private:
    QString nameKey_;
    QString spacelessKey_;
    std::optional<QString> bundleId_;
};

}  // namespace tarnwick
