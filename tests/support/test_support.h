// Shared fixtures of the launcher and import tests: scratch home folders
// outside the system temporary folder (the launcher's searches skip that
// one), scoped environment changes, file helpers, XEX2 images, program sets,
// and test mains that isolate the settings file.
#pragma once

#include "stfs_image.h"
#include "xex_image.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <functional>
#include <optional>

namespace testing_support {

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name;
    std::optional<QByteArray> previous;
};

// A fake decoder: for as long as the object lives, folder/zorv (a shell
// script with the body given) is the only "zorv" on PATH, which holds
// folder, /usr/bin and /bin (for the script's own tools). Without a body
// there is no decoder at all, and PATH still finds no other.
class FakeDecoder {
public:
    explicit FakeDecoder(const QString& folder, const QByteArray& body = {});
    // Writes the script anew with this body; an empty one removes it.
    void setBody(const QByteArray& body);
    QString scriptPath() const { return script; }

private:
    QString script;
    ScopedEnv path;
};

// A fresh folder under the build tree's scratch area that becomes HOME for
// as long as the object lives. The settings file stays where the test
// program put it at start-up (see ORVELLO_TEST_MAIN) and is emptied here.
class ScratchHome {
public:
    ScratchHome();
    ~ScratchHome();
    QString path() const { return dir_.path(); }
    QString filePath(const QString& relative) const { return QDir(dir_.path()).filePath(relative); }

private:
    QTemporaryDir dir_;
    QByteArray previousHome_;
};

// A QTemporaryDir template under the build tree's scratch area (not under
// the system temporary folder).
QString scratchTemplate(const QString& name = QStringLiteral("dir"));

// XEX2 images (tools/xex_image, shared with the benchmarks and write-xex).
using xexbuild::XexEntry;
using xexbuild::xexHeader;
using xexbuild::xexImage;

// Writes bytes to path, creating its folder; fails the test on error.
void writeFile(const QString& path, const QByteArray& bytes);

// The file's bytes, or empty when it cannot be read.
QByteArray readBytes(const QString& path);

// Inverts one bit of the byte at offset in the file; fails the test on error.
void flipByte(const QString& path, qint64 offset);

// Deterministic, position-dependent bytes, so a block read from the wrong
// place never matches.
QByteArray patternBytes(qsizetype size, quint32 seed);

// Makes folder a game root of the given title in the "gamedata" layout (or
// with default.xex directly in it).
void makeGameRoot(const QString& folder, const QString& titleId = QStringLiteral("4E3D2C71"), bool nested = true);

// Puts the named program-set members (all three by default) into folder.
void makeProgramFiles(const QString& folder, const QStringList& names = {});

// Empties the shared settings file.
void clearSettings();

// Prepares the process: settings file in a scratch XDG_CONFIG_HOME,
// application names as the launcher sets them.
void initTestProcess();

// One edit of a valid package image, as a row of a table of faults.
using ImageEdit = std::function<void(stfsbuild::StfsImage&)>;

} // namespace testing_support

Q_DECLARE_METATYPE(testing_support::ImageEdit)

// Test mains with an isolated settings file: with widgets, and without.
#define ORVELLO_TEST_MAIN_WITH(Application, TestClass)       \
    int main(int argc, char** argv)                          \
    {                                                        \
        testing_support::initTestProcess();                  \
        Application app(argc, argv);                         \
        TestClass test;                                      \
        return QTest::qExec(&test, argc, argv);              \
    }
#define ORVELLO_TEST_MAIN(TestClass) ORVELLO_TEST_MAIN_WITH(QApplication, TestClass)
#define ORVELLO_CORE_TEST_MAIN(TestClass) ORVELLO_TEST_MAIN_WITH(QCoreApplication, TestClass)
