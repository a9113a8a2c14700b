// Finding the folder that holds the whole program set, and what the search
// reports when it does not.
#include "core/game_data.h"
#include "core/game_profile.h"
#include "core/program_files.h"
#include "test_support.h"

#include <QApplication>
#include <QCoreApplication>

using namespace testing_support;

class TestProgramFiles : public QObject {
    Q_OBJECT

private slots:
    void programSetOrder()
    {
        QCOMPARE(programSet(gameProfile()),
                 (QStringList{"tessarine", "libkynruntime.so", "libkyngpu-xenos.so"}));
    }

    void foundInTheGameRoot()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("root"));
        makeProgramFiles(root);
        const ProgramFilesResult r = findProgramFiles(gameProfile(), root + QLatin1Char('/'));
        QVERIFY(r.found);
        QCOMPARE(r.programDir, root);
        QCOMPARE(r.exePath, root + QStringLiteral("/tessarine"));
        QCOMPARE(r.searched, QStringList{root});
        QVERIFY(r.partial.isEmpty());
    }

    void partialSetsAreReported_data()
    {
        QTest::addColumn<QStringList>("present");
        QTest::addColumn<QString>("partialLine"); // "" = no line
        QTest::newRow("gpu plug-in missing") << QStringList{"tessarine", "libkynruntime.so"} << "%1 (missing libkyngpu-xenos.so)";
        QTest::newRow("both libraries missing") << QStringList{"tessarine"}
                                                << "%1 (missing libkynruntime.so, libkyngpu-xenos.so)";
        QTest::newRow("executable missing") << QStringList{"libkynruntime.so", "libkyngpu-xenos.so"} << "";
    }

    void partialSetsAreReported()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, partialLine);
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("root"));
        makeProgramFiles(root, present);
        const ProgramFilesResult r = findProgramFiles(gameProfile(), root);
        QVERIFY(!r.found);
        QVERIFY(r.programDir.isEmpty() && r.exePath.isEmpty());
        QCOMPARE(r.searched, (QStringList{root, QCoreApplication::applicationDirPath()}));
        QCOMPARE(r.partial, partialLine.isEmpty() ? QStringList() : QStringList{partialLine.arg(root)});
    }

    void aFolderNamedLikeAMemberDoesNotCount()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("root"));
        makeProgramFiles(root, {"tessarine", "libkynruntime.so"});
        QVERIFY(QDir().mkpath(QDir(root).filePath(QStringLiteral("libkyngpu-xenos.so"))));
        QVERIFY(!findProgramFiles(gameProfile(), root).found);
    }

    void otherGameRootsAreSearchedInOrder()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("Games/A"));
        const QString other = QFileInfo(home.path()).canonicalFilePath() + QStringLiteral("/Games/B");
        makeGameRoot(root);
        makeProgramFiles(root, {"tessarine"});
        makeGameRoot(other);
        makeProgramFiles(other);
        rememberGameRoot(gameProfile(), root);
        const ProgramFilesResult r = findProgramFiles(gameProfile(), root);
        QVERIFY(r.found);
        QCOMPARE(r.programDir, other);
        // The root given and the remembered one are the same cleaned path and
        // examined once; the search's canonical spelling of A may differ.
        QCOMPARE(r.searched.first(), root);
        QCOMPARE(r.searched.at(1), QCoreApplication::applicationDirPath());
        QCOMPARE(r.searched.last(), other);
        QCOMPARE(r.searched.count(root), 1);
        QCOMPARE(r.partial.first(), QStringLiteral("%1 (missing libkynruntime.so, libkyngpu-xenos.so)").arg(root));
    }
};

ORVELLO_TEST_MAIN(TestProgramFiles)
#include "program_files_test.moc"
