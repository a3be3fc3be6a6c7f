#pragma once

#include "platform/Environment.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::test {

// A throwaway home, root and support folder, installed as the current
// environment for the lifetime of the object.
class FakeEnvironment {
public:
    FakeEnvironment();

    QString path(const QString& relative = {}) const;  // inside the temporary folder
    QString home() const { return environment_.homeDirectory; }
    QString root() const { return environment_.rootPrefix; }
    QString support() const { return environment_.applicationSupport; }
    Environment& environment() { return environment_; }
    // Re-installs environment() after a test changed it.
    void apply();
    // Sets a fixed clock.
    void setNow(const QDateTime& now);

private:
    QTemporaryDir dir_;
    Environment environment_;
    std::unique_ptr<Environment::Scope> scope_;
};

// Writes a file (making its folders); returns its path.
QString writeFile(const QString& path, const QByteArray& contents = {});
// Writes an executable shell script ("#!/bin/sh" and the body); returns its path.
QString writeScript(const QString& path, const QByteArray& body);
// Makes a folder with its parents; returns its path.
QString makeDir(const QString& path);
// A file of the test data folder (tests/data).
QString dataPath(const QString& relative);

}  // namespace tarnwick::test
