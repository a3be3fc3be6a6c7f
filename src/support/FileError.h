#pragma once

#include <QString>

namespace tarnwick {

// A failure of a file operation, as the user gets to read it: the domain and
// code say where it came from, the description says what failed and on which
// path in plain words.
struct FileError {
    QString domain;
    int code = 0;
    QString description;

    // Errors of the operating system carry this domain and the errno value.
    static inline const QString kSystemDomain = QStringLiteral("POSIX");
    // Errors of the program itself.
    static inline const QString kTarnwickDomain = QStringLiteral("Tarnwick");

    // "<what>: <system's text for errorNumber>."
    static FileError system(int errorNumber, const QString& what);
    // The program's own error with a description.
    static FileError tarnwick(int code, const QString& description);
    // Restoring onto something that is already there.
    static FileError alreadyExists();

    // The system's text for an errno value ("No such file or directory").
    static QString systemText(int errorNumber);
    // A path or name as it appears inside a description: “/a/b.txt”.
    static QString quoted(const QString& text);

    bool isSystem(int errorNumber) const { return domain == kSystemDomain && code == errorNumber; }
    bool operator==(const FileError&) const = default;
};

}  // namespace tarnwick
