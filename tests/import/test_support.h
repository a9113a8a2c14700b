// Shared fixtures of the import tests: an isolated HOME per test, scoped
// environment changes, small file helpers and package writing.
#pragma once

#include "stfs_image.h"
#include "stfs_package_builder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name(name)
    {
        if (qEnvironmentVariableIsSet(name))
            previous = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv()
    {
        if (previous)
            qputenv(name, *previous);
        else
            qunsetenv(name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    std::optional<QByteArray> previous;
};

// A temporary HOME and XDG_CONFIG_HOME, so no test touches the user's files.
class IsolatedHome {
public:
    IsolatedHome()
        : home(dir.filePath(QStringLiteral("home"))),
          homeEnv("HOME", QFile::encodeName(home)),
          configEnv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/.config")))
    {
        QDir().mkpath(home + QStringLiteral("/.config"));
    }

    // A fresh path inside the temporary folder (not created).
    QString path(const QString& name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString home;
    ScopedEnv homeEnv;
    ScopedEnv configEnv;
};

inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size()
        && file.flush();
}

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Deterministic, position-dependent bytes, so a block read from the wrong
// place never matches.
inline QByteArray patternBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    quint32 state = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

using ImageEdit = std::function<void(stfsbuild::StfsImage&)>;
Q_DECLARE_METATYPE(ImageEdit)
