// Shared fixtures of the launcher and import tests: scratch home folders
// outside the system temporary folder (the launcher's searches skip that
// one), scoped environment changes, file helpers, XEX2 images, program sets,
// and test mains that isolate the settings file.
#pragma once

#include "stfs_image.h"

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

// A fresh folder under the build tree's scratch area that becomes HOME for
// as long as the object lives. The settings file stays where the test
// program put it at start-up (see ORVELLO_TEST_MAIN) and is emptied here.
// Makes a shell script with this body the only "zorv" on PATH (besides
// /usr/bin and /bin, for the script's own tools) for as long as the returned
// object lives. The script is written as folder/zorv.
std::unique_ptr<ScopedEnv> useFakeDecoder(const QString& folder, const QByteArray& body);

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

struct XexEntry {
    quint32 key;
    quint32 value;
};

// "XEX2", zeros up to offset 20, the entry count (default: the entries
// given), then the entries.
QByteArray xexHeader(const QList<XexEntry>& entries, qint64 declaredCount = -1);

// A minimal image whose execution information (at 0x40) carries titleId.
QByteArray xexImage(const QString& titleId);

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
