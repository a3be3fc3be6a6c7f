#pragma once

#include "platform/Environment.h"
#include "platform/FileOperations.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <iterator>
#include <memory>
#include <optional>

namespace tarnwick::test {

// A throwaway home, root and support folder, installed as the current
// environment for the lifetime of the object.
class FakeEnvironment {
public:
    FakeEnvironment();
    // Removes the folder's contents by their own names first: names that are
    // not UTF-8 defeat QTemporaryDir's own removal.
    ~FakeEnvironment();

    QString path(const QString& relative = {}) const;  // inside the temporary folder
    QString home() const { return environment_.homeDirectory; }
    QString home(const QString& relative) const { return home() + QLatin1Char('/') + relative; }
    QString root() const { return environment_.rootPrefix; }
    QString support() const { return environment_.applicationSupport; }
    Environment& environment() { return environment_; }
    // Re-installs environment() after a test changed it.
    void apply();
    // Sets a fixed clock, as if that much time had passed (the uptime clock
    // follows it).
    void setNow(const QDateTime& now);
    // Sets the date and time alone, as a user or a bad clock does: the uptime
    // clock stays where it was.
    void jumpClock(const QDateTime& now);
    // Puts a shell script with the body in the place of the tool found at
    // usualPath; returns the script's path.
    QString tool(const QString& usualPath, const QByteArray& body);
    // Takes the tool found at usualPath away.
    void noTool(const QString& usualPath);

private:
    QTemporaryDir dir_;
    Environment environment_;
    std::unique_ptr<Environment::Scope> scope_;
};

// A small tmpfs mounted at a new folder for the lifetime of the object, for
// tests of a full or another file system. Mounting needs root (CI runs as
// root); ok() is false where it is not allowed, and the test skips.
class ScratchFileSystem {
public:
    ScratchFileSystem(const QString& mountPoint, qint64 bytes);
    ~ScratchFileSystem();
    ScratchFileSystem(const ScratchFileSystem&) = delete;
    ScratchFileSystem& operator=(const ScratchFileSystem&) = delete;

    bool ok() const { return mounted_; }
    QString path(const QString& relative = {}) const;
    // Fills what space is left with one file; returns its path.
    QString fill(const QString& name = QStringLiteral("filler"));

private:
    QString mountPoint_;
    bool mounted_ = false;
};

// A bind mount of source onto target (an existing folder) for the lifetime
// of the object: another folder's files seen inside target. Needs root, like
// ScratchFileSystem; ok() is false where it is not allowed.
class BindMount {
public:
    BindMount(const QString& source, const QString& target);
    ~BindMount();
    BindMount(const BindMount&) = delete;
    BindMount& operator=(const BindMount&) = delete;
    bool ok() const { return mounted_; }

private:
    QString target_;
    bool mounted_ = false;
};

// Installs a file-operation fault for the lifetime of the object.
struct FileFault {
    explicit FileFault(FileOperations::FaultHook hook) { FileOperations::setFaultHookForTesting(std::move(hook)); }
    ~FileFault() { FileOperations::setFaultHookForTesting({}); }
    FileFault(const FileFault&) = delete;
    FileFault& operator=(const FileFault&) = delete;
};

// Sets (a value) or unsets (none) a variable of this process for the lifetime
// of the object, then puts back what was there.
class ProcessVariable {
public:
    ProcessVariable(const char* name, const std::optional<QByteArray>& value);
    ~ProcessVariable();
    ProcessVariable(const ProcessVariable&) = delete;
    ProcessVariable& operator=(const ProcessVariable&) = delete;

private:
    QByteArray name_;
    std::optional<QByteArray> previous_;
};

// Writes a file (making its folders); returns its path.
QString writeFile(const QString& path, const QByteArray& contents = {});
// Writes an executable shell script ("#!/bin/sh" and the body); returns its path.
QString writeScript(const QString& path, const QByteArray& body);
// Makes a folder with its parents; returns its path.
QString makeDir(const QString& path);
// A file of the test data folder (tests/data).
QString dataPath(const QString& relative);

// The titles of a list of findings, in order.
template <class Items>
QStringList titlesOf(const Items& items) {
    QStringList titles;
    for (const auto& item : items) {
        if constexpr (requires { item.item.title; }) {
            titles.append(item.item.title);
        } else {
            titles.append(item.title);
        }
    }
    return titles;
}

// The finding of a list at path, or null.
template <class Items>
auto byPath(const Items& items, const QString& path) -> decltype(&*std::begin(items)) {
    for (const auto& item : items) {
        if (item.path == path) return &item;
    }
    return nullptr;
}

}  // namespace tarnwick::test
