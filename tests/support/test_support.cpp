// Shared fixtures of the launcher and import tests.
#include "test_support.h"

#include "core/app_setup.h"
#include "core/game_profile.h"
#include "core/launcher_settings.h"
#include "core/program_files.h"

#include <QFile>
#include <QSettings>

namespace testing_support {

namespace {

QString scratchRoot()
{
    const QString root = QStringLiteral(ORVELLO_TEST_SCRATCH);
    QDir().mkpath(root);
    return root;
}

} // namespace

ScopedEnv::ScopedEnv(const char* name, const QByteArray& value) : name(name)
{
    if (qEnvironmentVariableIsSet(name))
        previous = qgetenv(name);
    qputenv(name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (previous)
        qputenv(name, *previous);
    else
        qunsetenv(name);
}

QString scratchTemplate(const QString& name)
{
    return QDir(scratchRoot()).filePath(name + QStringLiteral("-XXXXXX"));
}

FakeDecoder::FakeDecoder(const QString& folder, const QByteArray& body)
    : script(QDir(folder).filePath(QStringLiteral("zorv"))),
      path("PATH", QFile::encodeName(folder) + ":/usr/bin:/bin")
{
    QDir().mkpath(folder);
    setBody(body);
}

void FakeDecoder::setBody(const QByteArray& body)
{
    QFile::remove(script);
    if (body.isEmpty())
        return;
    writeFile(script, "#!/bin/sh\n" + body);
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

ScratchHome::ScratchHome()
    : dir_(scratchTemplate(QStringLiteral("home"))), previousHome_(qgetenv("HOME"))
{
    qputenv("HOME", dir_.path().toLocal8Bit());
    clearSettings();
}

ScratchHome::~ScratchHome()
{
    qputenv("HOME", previousHome_);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file.errorString()));
    QCOMPARE(file.write(bytes), bytes.size());
    QVERIFY2(file.flush(), qPrintable(file.errorString()));
}

QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void flipByte(const QString& path, qint64 offset)
{
    QFile file(path);
    char byte = 0;
    QVERIFY2(file.open(QIODevice::ReadWrite) && file.seek(offset) && file.getChar(&byte), qPrintable(path));
    QVERIFY2(file.seek(offset) && file.putChar(char(byte ^ 0x20)), qPrintable(path));
}

QByteArray patternBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    quint32 state = seed * 2654435761u + 1;
    for (qsizetype i = 0; i < size; ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(state >> 24);
    }
    return bytes;
}

void makeGameRoot(const QString& folder, const QString& titleId, bool nested)
{
    const QString image = nested ? QStringLiteral("gamedata/default.xex") : QStringLiteral("default.xex");
    writeFile(QDir(folder).filePath(image), xexImage(titleId));
}

void makeProgramFiles(const QString& folder, const QStringList& names)
{
    for (const QString& name : names.isEmpty() ? programSet(gameProfile()) : names) {
        const QString path = QDir(folder).filePath(name);
        writeFile(path, "#!/bin/sh\n");
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther);
    }
}

void clearSettings()
{
    sharedSettings().clear();
    sharedSettings().sync();
    QFile::remove(sharedSettings().fileName());
}

void initTestProcess()
{
    // One settings file per test program, in a scratch configuration folder;
    // the shared settings object keeps its file for the process's lifetime.
    static QTemporaryDir config(scratchTemplate(QStringLiteral("config")));
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("HOME", config.path().toLocal8Bit());
    // The play journal goes under HOME too, so each scratch home has its own.
    qunsetenv("XDG_STATE_HOME");
    configureApplication(gameProfile());
}

} // namespace testing_support
