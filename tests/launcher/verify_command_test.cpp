// --verify and --repair run as processes on scratch homes, as a terminal
// user or a script runs them: their texts, their exit statuses, a folder
// another process is using, and Ctrl+C.
#include "core/game_profile.h"
#include "import/game_folder_lock.h"
#include "import/game_manifest.h"
#include "imported_game.h"
#include "launcher_process.h"
#include "test_support.h"

#include <csignal>
#include <memory>

using namespace testing_support;

namespace {

const QString kDamaged = QStringLiteral("gamedata/content/readme.txt");

} // namespace

class TestVerifyCommand : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<ScopedEnv> path;
    GameContent content;
    QString package;
    QString root;

    // The test content imported from a package into ~/Games/Game, where
    // the launcher's search finds it, with the program files beside it.
    void importGame()
    {
        ImportedGame game;
        importTestGame(*home, game);
        content = game.content;
        package = game.package;
        root = game.root;
    }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
        // The in-process import finds the decoder on PATH: test programs do
        // not live beside it.
        path = std::make_unique<ScopedEnv>("PATH", QByteArray(ORVELLO_BIN_DIR) + ":/usr/bin:/bin");
    }

    void cleanup()
    {
        path.reset();
        home.reset();
    }

    void verifyAndRepair_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("out"); // {package} stands for the package's path
        QTest::addColumn<bool>("restored"); // the damaged file holds its bytes again
        const QString damaged = "1 of 6 files do not match:\n  " + kDamaged + " (damaged)\n";
        const QString gone = "\nThe package {package} is no longer there. Import it again to repair the game folder.\n";
        QTest::newRow("verify, all match") << "" << "--verify" << 0 << "All 6 files match.\n" << true;
        QTest::newRow("verify, a damaged file") << "damaged" << "--verify" << 1 << damaged << false;
        QTest::newRow("verify, without checksums")
            << "no manifest" << "--verify" << 1 << "No checksums were recorded for this game folder.\n" << true;
        QTest::newRow("repair, all match") << "" << "--repair" << 0 << "All 6 files match.\n" << true;
        QTest::newRow("repair, a damaged file") << "damaged" << "--repair" << 0 << damaged + "\nRepaired 1 files.\n"
                                                << true;
        QTest::newRow("repair, the package gone") << "damaged, package gone" << "--repair" << 1 << damaged + gone
                                                  << false;
        QTest::newRow("repair, without checksums")
            << "no manifest" << "--repair" << 1 << "No checksums were recorded for this game folder.\n" << true;
    }

    void verifyAndRepair()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, command);
        QFETCH(int, exitStatus);
        QFETCH(QString, out);
        QFETCH(bool, restored);
        importGame();
        const QString damagedFile = QDir(root).filePath(kDamaged);
        if (setUp.startsWith("damaged"))
            flipByte(damagedFile, 2);
        if (setUp.endsWith("package gone"))
            QVERIFY(QFile::remove(package));
        if (setUp == "no manifest")
            QVERIFY(QFile::remove(game_manifest::manifestPath(root)));

        const LauncherRun run = runLauncher(*home, {command});
        QCOMPARE(run.out, QString(out).replace("{package}", package));
        QCOMPARE(run.exitStatus, exitStatus);
        QCOMPARE(readBytes(damagedFile) == content.files["content/readme.txt"].decoded, restored);
        QVERIFY2(!run.err.contains("Stopping"), qPrintable(run.err));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("verify") << "--verify";
        QTest::newRow("repair") << "--repair";
    }

    // Nothing to verify, and a folder another process is using: said on
    // standard error, exit status 1.
    void refusals()
    {
        QFETCH(QString, command);
        const LauncherRun none = runLauncher(*home, {command});
        QCOMPARE(none.exitStatus, 1);
        QCOMPARE(none.err, QStringLiteral("No game data found. Import the game first: orvello-launcher --import PATH\n"));
        QVERIFY(none.out.isEmpty());

        importGame();
        GameFolderLock lock(root);
        QCOMPARE(lock.acquire(), GameFolderLock::Outcome::Held);
        const LauncherRun busy = runLauncher(*home, {command});
        QCOMPARE(busy.exitStatus, 1);
        QVERIFY2(busy.err.endsWith("Another import or verification is using " + QFileInfo(root).canonicalFilePath() + ".\n"),
                 qPrintable(busy.err));
        QVERIFY(busy.out.isEmpty());
    }

    // Ctrl+C during a long verify (a 64 GiB sparse file in the manifest)
    // stops it as Cancel does.
    void ctrlCStopsAVerify()
    {
        importGame();
        QFile huge(QDir(root).filePath(QStringLiteral("gamedata/huge.bin")));
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(64) << 30));
        huge.close();
        QFile manifest(game_manifest::manifestPath(root));
        QVERIFY(manifest.open(QIODevice::Append));
        manifest.write(QByteArray(64, '0') + "  gamedata/huge.bin\n");
        manifest.close();

        QProcess process;
        startLauncher(process, *home, {"--verify"});
        QVERIFY(process.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("Checking gamedata/"), 20000);
        QCOMPARE(::kill(-pid_t(process.processId()), SIGINT), 0);
        QVERIFY(process.waitForFinished(30000));
        err += process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.contains("Stopping the verification once the files in progress are done"), err.constData());
        QCOMPARE(process.readAllStandardOutput(), QByteArray("Verification stopped before it finished.\n"));
    }
};

ORVELLO_CORE_TEST_MAIN(TestVerifyCommand)
#include "verify_command_test.moc"
