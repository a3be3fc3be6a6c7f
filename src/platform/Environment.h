#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

#include <functional>
#include <memory>

class QSettings;

namespace tarnwick {

// Where the program meets the machine: the user's folders, the prefix that
// absolute system paths hang from, the clock and the external tools.
// Production uses Environment::system(); tests install their own with
// Environment::Scope so that nothing touches the real home or root.
struct Environment {
    QString homeDirectory;       // the user's home folder, no trailing slash
    QString rootPrefix;          // prepended to absolute system paths; empty is the real root
    QString tempDirectory;       // scratch space
    QString applicationSupport;  // the user's Application Support folder
    QString settingsFile;        // empty: the platform's own user defaults; else an INI file
    std::function<QDateTime()> clock;     // empty: the real clock
    // A clock that counts only time that passes, whatever is done to the date
    // and time: milliseconds since the machine started, with an identifier of
    // that start (the counts of two starts are not comparable).
    struct Uptime {
        QByteArray boot;
        qint64 msecs = 0;
    };
    std::function<Uptime()> uptimeClock;  // empty: the system's boot clock
    QHash<QString, QString> toolPaths;    // a tool's usual path ("/usr/bin/flatpak") -> path here
    // Process environment values that the program reads (XDG_CACHE_HOME,
    // XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CURRENT_DESKTOP, PATH, and the
    // locale's LC_ALL, LC_MESSAGES and LANG); a name missing here is unset.
    QHash<QString, QString> variables;
    qint64 userId = -1;                   // the user the program acts for; -1: the process's own

    // A variable's value, empty when it is unset.
    QString variable(const QString& name) const;
    // The locale messages are shown in, as the C library picks it: LC_ALL,
    // then LC_MESSAGES, then LANG, an empty value counting as unset; empty
    // when none is set.
    QString messagesLocale() const;
    // userId, or the process's effective user id when that is -1.
    quint32 effectiveUserId() const;

    // The current date and time from the clock.
    QDateTime now() const;
    // The uptime clock's reading.
    Uptime uptime() const;
    // An absolute system path such as "/Applications" or "/private/var/log" as seen here.
    QString systemPath(const QString& absolutePath) const;
    // A path under the home folder: "~/Library/Caches", "Library/Caches" or "~".
    QString homePath(const QString& relativePath) const;
    // The program to run for a tool's usual path: the override, else systemPath(path).
    QString toolPath(const QString& usualPath) const;
    // The user defaults store (QSettings) this environment uses.
    std::unique_ptr<QSettings> settings() const;

    // The real machine's environment.
    static Environment system();
    // The environment in force. Replaced only by tests, while no work runs.
    static const Environment& current();
    static void setCurrent(const Environment& environment);

    // Installs an environment for the lifetime of the scope, then restores the previous one.
    class Scope {
    public:
        explicit Scope(const Environment& environment);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        std::shared_ptr<const Environment> previous_;
    };
};

}  // namespace tarnwick
