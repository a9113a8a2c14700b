// Shared fixtures for the launcher's tests: scratch home folders outside the
// system temporary folder (the launcher's searches skip that one), XEX2
// images, program sets, and a test main that isolates the settings file.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QtTest>

namespace testing_support {

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

} // namespace testing_support

#define ORVELLO_TEST_MAIN(TestClass)                         \
    int main(int argc, char** argv)                          \
    {                                                        \
        testing_support::initTestProcess();                  \
        QApplication app(argc, argv);                        \
        TestClass test;                                      \
        return QTest::qExec(&test, argc, argv);              \
    }
