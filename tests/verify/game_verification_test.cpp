// Tests of verifyGameFolder and recordChecksums: each kind of damage a game
// folder can suffer and the exact message it gives, folders without
// checksums, the list's limit, and stopping.
#include "core/game_profile.h"
#include "import/game_manifest.h"
#include "import/import_jobs.h"
#include "import_fixture.h"
#include "test_support.h"
#include "verify/game_verification.h"

#include <QThread>

using namespace testing_support;

namespace {

// One change to an imported game root, as a row of a table of damages.
using FolderEdit = std::function<void(const QString& root)>;

QString gameData(const QString& root, const QString& path)
{
    return QDir(root).filePath(QStringLiteral("gamedata/") + path);
}

} // namespace

Q_DECLARE_METATYPE(FolderEdit)

class TestGameVerification : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<ScopedEnv> path;
    GameContent content;
    QString root;

    // A package of the test content, imported into ~/Games/Game, with the
    // program files beside it.
    void importPackage()
    {
        content = makeGameContent();
        const QString package = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        writeContentPackage(package, content);
        root = home->filePath(QStringLiteral("Games/Game"));
        const ImportResult result = runPackageImport(PackageImportRequest{package, root}, {});
        QVERIFY2(result.succeeded() && result.manifestProblem.isEmpty(), qPrintable(result.error + result.manifestProblem));
        makeProgramFiles(root);
    }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
        path = std::make_unique<ScopedEnv>("PATH", QByteArray(ORVELLO_BIN_DIR) + ":/usr/bin:/bin");
    }

    void cleanup()
    {
        path.reset();
        home.reset();
    }

    void findsEveryDamage_data()
    {
        QTest::addColumn<FolderEdit>("edit");
        QTest::addColumn<QString>("message");  // {root} stands for the game root
        const QString oneFile = QStringLiteral("1 of 6 files do not match:\n  gamedata/%1");
        QTest::newRow("nothing changed") << FolderEdit([](const QString&) {}) << QStringLiteral("All 6 files match.");
        QTest::newRow("a changed byte")
            << FolderEdit([](const QString& r) { flipByte(gameData(r, "content/readme.txt"), 3); })
            << oneFile.arg("content/readme.txt (damaged)");
        QTest::newRow("a truncated file")
            << FolderEdit([](const QString& r) { QVERIFY(QFile::resize(gameData(r, "content/ui/fonts/title.xnb"), 1000)); })
            << oneFile.arg("content/ui/fonts/title.xnb (damaged)");
        QTest::newRow("an empty file that is no longer empty")
            << FolderEdit([](const QString& r) { writeFile(gameData(r, "content/empty.bin"), "x"); })
            << oneFile.arg("content/empty.bin (damaged)");
        QTest::newRow("a missing file")
            << FolderEdit([](const QString& r) { QVERIFY(QFile::remove(gameData(r, "content/sound/bank.xwb"))); })
            << oneFile.arg("content/sound/bank.xwb (missing)");
        QTest::newRow("a missing folder")
            << FolderEdit([](const QString& r) { QVERIFY(QDir(gameData(r, "content/ui")).removeRecursively()); })
            << oneFile.arg("content/ui/fonts/title.xnb (missing)");
        QTest::newRow("a folder in a file's place")
            << FolderEdit([](const QString& r) {
                   QVERIFY(QFile::remove(gameData(r, "content/readme.txt")));
                   QVERIFY(QDir().mkpath(gameData(r, "content/readme.txt")));
               })
            << oneFile.arg("content/readme.txt (damaged)");
        QTest::newRow("a file still compressed")
            << FolderEdit([this](const QString& r) {
                   writeFile(gameData(r, "content/levels/level1.dat"), content.files["content/levels/level1.dat"].stored);
               })
            << oneFile.arg("content/levels/level1.dat (still compressed)");
        QTest::newRow("another title's image")
            << FolderEdit([](const QString& r) { writeFile(gameData(r, "default.xex"), xexImage("41560817")); })
            << oneFile.arg("default.xex (damaged)")
                   + "\n\ndefault.xex does not validate as Tessarine Vandry Live (title 4E3D2C71).";
        QTest::newRow("a missing library")
            << FolderEdit([](const QString& r) { QVERIFY(QFile::remove(QDir(r).filePath("libkynruntime.so"))); })
            << QStringLiteral("All 6 files match.\n\nThe program files were not found: tessarine, libkynruntime.so and "
                              "libkyngpu-xenos.so must be together in one folder.\n  {root} (missing libkynruntime.so)");
        QTest::newRow("a lost execute bit")
            << FolderEdit([](const QString& r) {
                   QVERIFY(QFile::setPermissions(QDir(r).filePath("tessarine"), QFile::ReadOwner | QFile::WriteOwner));
               })
            << QStringLiteral("All 6 files match.\n\n{root}/tessarine is not executable: its execute permission is missing.");
        QTest::newRow("two damages, in the manifest's order")
            << FolderEdit([](const QString& r) {
                   QVERIFY(QFile::remove(gameData(r, "default.xex")));
                   flipByte(gameData(r, "content/readme.txt"), 0);
               })
            << QStringLiteral("2 of 6 files do not match:\n  gamedata/content/readme.txt (damaged)\n"
                              "  gamedata/default.xex (missing)\n\ndefault.xex was not found in {root}.");
    }

    // A real package import, then one damage: the verify names it, in the
    // words the player reads, and nothing else.
    void findsEveryDamage()
    {
        QFETCH(FolderEdit, edit);
        QFETCH(QString, message);
        importPackage();
        edit(root);
        const VerifyReport report = verifyGameFolder(root, gameProfile());
        QCOMPARE(report.text(), QString(message).replace(QStringLiteral("{root}"), root));
        QCOMPARE(report.allGood(), message == QLatin1String("All 6 files match."));
    }

    // 25 damaged files: 20 are named, the rest counted.
    void longListsEndInACount()
    {
        const QString folder = home->filePath(QStringLiteral("Games/Extracted"));
        writeFile(QDir(folder).filePath(QStringLiteral("default.xex")), xexImage(gameProfile().titleId));
        for (int i = 0; i < 25; ++i)
            writeFile(QStringLiteral("%1/data/f%2.bin").arg(folder).arg(i, 2, 10, QLatin1Char('0')), patternBytes(100, i));
        makeProgramFiles(folder);
        const ImportResult result = runFolderImport(FolderImportRequest{folder, folder, folder, false}, gameProfile(), {});
        QVERIFY2(result.succeeded() && result.manifestProblem.isEmpty(), qPrintable(result.error + result.manifestProblem));
        QStringList expected{QStringLiteral("25 of 29 files do not match:")};
        for (int i = 0; i < 25; ++i) {
            const QString name = QStringLiteral("data/f%1.bin").arg(i, 2, 10, QLatin1Char('0'));
            flipByte(QDir(folder).filePath(name), 50);
            if (i < 20)
                expected << QStringLiteral("  %1 (damaged)").arg(name);
        }
        expected << QStringLiteral("…and 5 more.");
        QCOMPARE(verifyGameFolder(folder, gameProfile()).text(), expected.join('\n'));
    }

    // Data imported by an earlier version, or by hand: nothing to compare
    // with until the checksums are recorded, which content still compressed
    // prevents.
    void foldersWithoutChecksums()
    {
        importPackage();
        QVERIFY(QFile::remove(game_manifest::manifestPath(root)));
        writeFile(gameData(root, "content/levels/level1.dat"), content.files["content/levels/level1.dat"].stored);
        VerifyReport report = verifyGameFolder(root, gameProfile());
        QCOMPARE(report.text(), QStringLiteral("No checksums were recorded for this game folder.\n\n"
                                               "These files are still compressed:\n  gamedata/content/levels/level1.dat"));
        QVERIFY(!report.allGood());
        QVERIFY(!report.needsRepair());
        QString error;
        QVERIFY(!recordChecksums(root, &error));
        QCOMPARE(error, QStringLiteral("Some of the game's files are still compressed: import the game folder again to "
                                       "decode them, then verify it."));
        QVERIFY(!game_manifest::hasManifest(root));

        writeFile(gameData(root, "content/levels/level1.dat"), content.files["content/levels/level1.dat"].decoded);
        QCOMPARE(verifyGameFolder(root, gameProfile()).text(), QStringLiteral("No checksums were recorded for this game folder."));
        QVERIFY2(recordChecksums(root, &error), qPrintable(error));
        report = verifyGameFolder(root, gameProfile());
        QCOMPARE(report.text(), QStringLiteral("All 6 files match."));
        QVERIFY(report.allGood());
    }

    void unreadableManifest_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("reason");
        const QByteArray digest(64, 'a');
        const QString notALine = QStringLiteral("Line 2 of the manifest is not a checksum line");
        const QString outside = QStringLiteral("Line 2 of the manifest names a file outside the game folder");
        QTest::newRow("text") << QByteArray("not a checksum") << notALine;
        QTest::newRow("short digest") << digest.left(63) + "  gamedata/x" << notALine;
        QTest::newRow("upper-case digest") << digest.toUpper() + "  gamedata/x" << notALine;
        QTest::newRow("no name") << digest + "  " << notALine;
        QTest::newRow("absolute path") << digest + "  /etc/passwd" << outside;
        QTest::newRow("up and out") << digest + "  gamedata/../../outside" << outside;
        QTest::newRow("escaped way out") << "\\" + digest + "  back\\\\slash/../../x" << outside;
    }

    // A manifest edited by hand is refused whole, with the line at fault;
    // above all it never leads a repair out of the game folder.
    void unreadableManifest()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, reason);
        importPackage();
        QByteArray manifest = readBytes(game_manifest::manifestPath(root));
        manifest.insert(manifest.indexOf('\n') + 1, line + '\n');
        writeFile(game_manifest::manifestPath(root), manifest);
        const VerifyReport report = verifyGameFolder(root, gameProfile());
        QCOMPARE(report.text(), QStringLiteral("The checksums of this game folder cannot be read: ") + reason);
        QVERIFY(!report.allGood());
        QVERIFY(!report.needsRepair());
    }

    // Cancel: the thread asked to stop at the first report ends the verify
    // with nothing found, and says so.
    void stopping()
    {
        importPackage();
        VerifyReport report;
        int reports = 0;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            report = verifyGameFolder(root, gameProfile(), [&reports](const HashProgress& progress) {
                if (reports++ == 0) {
                    QCOMPARE(progress.filesTotal, 6);
                    QThread::currentThread()->requestInterruption();
                }
            });
        }));
        worker->start();
        QVERIFY(worker->wait(30000));
        QVERIFY(report.stopped);
        QVERIFY(report.mismatches.isEmpty());
        QVERIFY(!report.allGood());
        QCOMPARE(report.text(), QStringLiteral("Verification stopped before it finished."));
    }
};

ORVELLO_CORE_TEST_MAIN(TestGameVerification)
#include "game_verification_test.moc"
