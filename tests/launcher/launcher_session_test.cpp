// The launcher session without a window: the settings in force and their
// saves, the game root (start-up search, adoption, remembering), the data
// root, the readiness status and PLAY with the stand-in runtime.
#include "core/game_data.h"
#include "core/game_profile.h"
#include "core/launcher_session.h"
#include "core/launch_options.h"
#include "core/launcher_settings.h"
#include "held_search.h"
#include "play_support.h"
#include "standin_support.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QThread>

#include <memory>

using namespace testing_support;

namespace {

const QString kRememberedKey = QStringLiteral("detection/4E3D2C71/root");

QVariant storedValue(const QString& key)
{
    sharedSettings().sync();
    return QSettings(sharedSettings().fileName(), QSettings::IniFormat).value(key);
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

class TestLauncherSession : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;

private slots:
    void init() { home = std::make_unique<ScratchHome>(); }
    void cleanup() { home.reset(); }

    // Nothing is written until something changes: not by loading, not by a
    // search that finds nothing, not by a status refresh.
    void startingWithoutGameDataWritesNothing()
    {
        LauncherSession session;
        session.resolveGameRoot();
        QCOMPARE(session.gameRoot(), QString());
        QCOMPARE(session.dataRoot(), QString());
        QCOMPARE(session.settings(), LauncherSettings());
        QCOMPARE(session.refreshStatus().readiness, ReadinessStatus::Readiness::NotFound);
        QSignalSpy attempts(&session, &LauncherSession::launchAttempted);
        QCOMPARE(session.play(LauncherSettings()).result, LaunchOutcome::Result::NotAttempted);
        QCOMPARE(session.play(LauncherSettings()).text(), QString());
        QCOMPARE(attempts.count(), 0);
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
    }

    void changesAreSavedAndReported()
    {
        LauncherSession session;
        QSignalSpy saves(&session, &LauncherSession::settingsSaved);
        LauncherSettings changed;
        changed.frame_limit = 75;
        changed.log_dir = QStringLiteral("/logs");
        session.changeSettings(changed);
        QCOMPARE(session.settings(), changed);
        QCOMPARE(loadLauncherSettings(), changed);
        QCOMPARE(saves.count(), 1);
        QCOMPARE(saves.first().first().toString(), QString());
        QCOMPARE(session.saveProblem(), QString());

        sharedSettings().setValue(dataRootSettingsKey(), QStringLiteral("/keep"));
        session.resetSettings();
        QCOMPARE(session.settings(), LauncherSettings());
        QCOMPARE(loadLauncherSettings(), LauncherSettings());
        QCOMPARE(saves.count(), 2);
        QCOMPARE(storedValue(dataRootSettingsKey()).toString(), QStringLiteral("/keep"));
    }

    // A stored choice that no item offers is replaced in memory only; other
    // values are kept as stored, also when out of an editor's range.
    void storedValuesOutsideTheChoices()
    {
        QSettings& s = sharedSettings();
        s.setValue("settings/resolution_scale", 4);
        s.setValue("settings/upscaling", "fsr");
        s.setValue("settings/swap_post_effect", "sharpen");
        s.setValue("settings/anisotropic_override", 3);
        s.setValue("settings/log_level", "Debug");
        s.setValue("settings/frame_limit", 5000);
        s.sync();
        const LauncherSession session;
        const LauncherSettings& in = session.settings();
        QCOMPARE(in.resolution_scale, 1);
        QCOMPARE(in.upscaling, QStringLiteral("FSR"));
        QCOMPARE(in.swap_post_effect, QStringLiteral("none"));
        QCOMPARE(in.anisotropic_override, 0);
        QCOMPARE(in.log_level, QStringLiteral("info"));
        QCOMPARE(in.frame_limit, 5000);
        QCOMPARE(storedValue("settings/resolution_scale").toInt(), 4); // nothing written

        s.setValue("settings/upscaling", "Bilinear");
        s.setValue("settings/anisotropic_override", 8);
        s.sync();
        QCOMPARE(LauncherSession().settings().upscaling, QStringLiteral("Bilinear"));
        QCOMPARE(LauncherSession().settings().anisotropic_override, 8);
    }

    void startUpSearchFindsAndRemembers()
    {
        const QString a = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(a);
        LauncherSession session;
        QSignalSpy changes(&session, &LauncherSession::gameRootChanged);
        session.resolveGameRoot();
        QCOMPARE(session.gameRoot(), canonical(a));
        QCOMPARE(changes.count(), 1);
        QCOMPARE(storedValue(kRememberedKey).toString(), canonical(a));
        QCOMPARE(session.dataRoot(), session.gameRoot());

        // The remembered root wins over a search that would find another.
        makeGameRoot(home->filePath(QStringLiteral("Games/0first")));
        LauncherSession next;
        next.resolveGameRoot();
        QCOMPARE(next.gameRoot(), canonical(a));
    }

    // An import that ends before the start-up search is not undone by it.
    void adoptionBeforeTheSearchStays()
    {
        makeGameRoot(home->filePath(QStringLiteral("Games/A")));
        const QString imported = home->filePath(QStringLiteral("Imported/TVL"));
        makeGameRoot(imported);
        LauncherSession session;
        session.adoptGameRoot(imported);
        session.resolveGameRoot();
        QCOMPARE(session.gameRoot(), imported);
        QCOMPARE(storedValue(kRememberedKey).toString(), imported);
    }

    // "paths/data_root" when set, else the game root: at start-up, and after
    // an import.
    void adoptionAndTheDataRoot_data()
    {
        QTest::addColumn<QString>("configured"); // "paths/data_root"; "" = not set
        QTest::newRow("data root not configured") << "";
        QTest::newRow("data root configured") << "/srv/tvl-data";
    }

    void adoptionAndTheDataRoot()
    {
        QFETCH(QString, configured);
        if (!configured.isEmpty())
            sharedSettings().setValue(dataRootSettingsKey(), configured);
        const QString first = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(first);
        LauncherSession session;
        session.resolveGameRoot();
        QCOMPARE(session.dataRoot(), configured.isEmpty() ? canonical(first) : configured);

        const QString imported = home->filePath(QStringLiteral("Imported/TVL"));
        makeGameRoot(imported);
        QSignalSpy changes(&session, &LauncherSession::gameRootChanged);
        session.adoptGameRoot(imported);
        QCOMPARE(session.gameRoot(), imported);
        QCOMPARE(session.dataRoot(), configured.isEmpty() ? imported : configured);
        QCOMPARE(storedValue(kRememberedKey).toString(), imported);
        QCOMPARE(changes.count(), 1);

        session.adoptGameRoot(QString()); // an import that made no game data
        QCOMPARE(session.gameRoot(), imported);
        QCOMPARE(changes.count(), 1);
        QCOMPARE(storedValue(dataRootSettingsKey()).toString(), configured); // never written
    }

    void readiness_data()
    {
        QTest::addColumn<QString>("programFolder"); // relative to home; "" = none
        QTest::addColumn<QString>("rootSuffix");
        QTest::addColumn<int>("readiness");
        QTest::addColumn<bool>("inGameRoot");
        using R = ReadinessStatus::Readiness;
        QTest::newRow("ready") << "Games/A" << "" << int(R::Ready) << true;
        QTest::newRow("ready, root with a trailing slash") << "Games/A" << "/" << int(R::Ready) << true;
        QTest::newRow("ready elsewhere") << "Games/B" << "" << int(R::Ready) << false;
        QTest::newRow("program files missing") << "" << "" << int(R::ProgramFilesNotFound) << false;
    }

    void readiness()
    {
        QFETCH(QString, programFolder);
        QFETCH(QString, rootSuffix);
        QFETCH(int, readiness);
        QFETCH(bool, inGameRoot);
        const QString root = canonical(home->path()) + "/Games/A";
        makeGameRoot(root);
        QString programDir;
        if (!programFolder.isEmpty()) {
            programDir = canonical(home->path()) + "/" + programFolder;
            makeProgramFiles(programDir);
            if (programFolder != "Games/A")
                makeGameRoot(programDir); // found through the data search
        }
        rememberGameRoot(gameProfile(), root + rootSuffix);
        LauncherSession session;
        QSignalSpy reports(&session, &LauncherSession::statusChanged);
        session.resolveGameRoot();
        const ReadinessStatus status = session.refreshStatus();
        QCOMPARE(reports.count(), 1);
        QCOMPARE(int(status.readiness), readiness);
        QCOMPARE(status.gameRoot, root + rootSuffix);
        QCOMPARE(status.programFiles.programDir, programDir);
        QCOMPARE(status.programFilesInGameRoot(), inGameRoot);
        QCOMPARE(status.programFiles.searched, findProgramFiles(gameProfile(), status.gameRoot).searched);
        QCOMPARE(session.status().readiness, status.readiness);
    }

    // The status is a function of the profile and the game root: a worker
    // thread works out the same one, reading no settings.
    void readinessIsWorkedOutOnAnyThread()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        makeGameRoot(home->filePath(QStringLiteral("Games/B")));
        makeProgramFiles(home->filePath(QStringLiteral("Games/B")));
        ReadinessStatus onWorker;
        std::unique_ptr<QThread> worker(QThread::create([&] { onWorker = readinessStatus(gameProfile(), root); }));
        worker->start();
        QVERIFY(worker->wait(10000));
        const ReadinessStatus here = readinessStatus(gameProfile(), root);
        QVERIFY(here.isReady());
        QCOMPARE(onWorker.programFiles.programDir, here.programFiles.programDir);
        QCOMPARE(onWorker.programFiles.searched, here.programFiles.searched);
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
    }

    // Off the GUI thread, the start-up search and the status come out as
    // the synchronous calls give them, and the root found is remembered the
    // same way.
    void lookupGivesWhatTheSynchronousCallsGive_data()
    {
        QTest::addColumn<QString>("remembered"); // relative to home; "" = nothing stored
        QTest::addColumn<QStringList>("gameRoots");
        QTest::addColumn<QString>("programFolder"); // "" = none
        QTest::newRow("nothing anywhere") << "" << QStringList{} << "";
        QTest::newRow("found by the search") << "" << QStringList{"Games/B", "Games/A"} << "Games/A";
        QTest::newRow("program files missing") << "" << QStringList{"Games/A"} << "";
        QTest::newRow("the remembered root") << "Games/B" << QStringList{"Games/A", "Games/B"} << "Games/B";
        QTest::newRow("the remembered root gone") << "Games/Gone" << QStringList{"Games/A"} << "Games/A";
    }

    void lookupGivesWhatTheSynchronousCallsGive()
    {
        QFETCH(QString, remembered);
        QFETCH(QStringList, gameRoots);
        QFETCH(QString, programFolder);
        for (const QString& root : gameRoots)
            makeGameRoot(home->filePath(root));
        if (!programFolder.isEmpty())
            makeProgramFiles(home->filePath(programFolder));
        const auto storeRemembered = [&] {
            if (remembered.isEmpty())
                sharedSettings().remove(kRememberedKey);
            else
                rememberGameRoot(gameProfile(), home->filePath(remembered));
        };
        storeRemembered();
        LauncherSession reference;
        reference.resolveGameRoot();
        const ReadinessStatus expected = reference.refreshStatus();
        const QVariant expectedStored = storedValue(kRememberedKey);
        storeRemembered();

        LauncherSession session;
        QSignalSpy started(&session, &LauncherSession::lookupStarted);
        QSignalSpy reports(&session, &LauncherSession::statusChanged);
        QSignalSpy changes(&session, &LauncherSession::gameRootChanged);
        session.lookUpGameData();
        QCOMPARE(started.count(), 1);
        QVERIFY(session.isLookingForGameData());
        QTRY_COMPARE(reports.count(), 1);
        QVERIFY(!session.isLookingForGameData());
        QCOMPARE(session.gameRoot(), reference.gameRoot());
        QCOMPARE(changes.count(), reference.gameRoot().isEmpty() ? 0 : 1);
        const ReadinessStatus& status = session.status();
        QCOMPARE(status.readiness, expected.readiness);
        QCOMPARE(status.gameRoot, expected.gameRoot);
        QCOMPARE(status.programFiles.programDir, expected.programFiles.programDir);
        QCOMPARE(status.programFiles.searched, expected.programFiles.searched);
        QCOMPARE(storedValue(kRememberedKey), expectedStored);

        // A refresh looks up the status alone.
        session.lookUpStatus();
        QVERIFY(session.isLookingForGameData());
        QTRY_COMPARE(reports.count(), 2);
        QCOMPARE(session.status().readiness, expected.readiness);
        QCOMPARE(changes.count(), reference.gameRoot().isEmpty() ? 0 : 1);
    }

    // PLAY waits for the status: while the lookup runs it does nothing and
    // writes nothing; once the status is in, it launches.
    void playWaitsForTheLookup()
    {
        const QString root = home->filePath(QStringLiteral("Games/TVL"));
        makeGameRoot(root);
        installStandIn(root);
        HeldSearch held;
        LauncherSession session;
        session.setGameDataSearch(held.search());
        QSignalSpy attempts(&session, &LauncherSession::launchAttempted);
        session.lookUpGameData();
        QTRY_COMPARE(held.entered(), 1);
        QCOMPARE(session.play(LauncherSettings()).result, LaunchOutcome::Result::NotAttempted);
        QCOMPARE(attempts.count(), 0);
        QVERIFY(!QFile::exists(sharedSettings().fileName()));

        held.release();
        QTRY_VERIFY(!session.isLookingForGameData());
        QVERIFY(session.status().isReady());
        QCOMPARE(session.play(LauncherSettings()).result, LaunchOutcome::Result::Launched);
        waitForStandInRecord(session.gameRoot() + "/logs/game.log");
    }

    // An import that ends while the start-up search still runs: the
    // search's root is never taken, and the status is the imported root's,
    // whether or not a refresh was asked for after the import.
    void aLookupOvertakenByAnImportIsDropped_data()
    {
        QTest::addColumn<bool>("refreshAfterImport");
        QTest::newRow("refreshed after the import") << true;
        QTest::newRow("no refresh asked for") << false;
    }

    void aLookupOvertakenByAnImportIsDropped()
    {
        QFETCH(bool, refreshAfterImport);
        makeGameRoot(home->filePath(QStringLiteral("Games/A")));
        const QString imported = home->filePath(QStringLiteral("Imported/TVL"));
        makeGameRoot(imported);
        makeProgramFiles(imported);
        HeldSearch held;
        LauncherSession session;
        QSignalSpy reports(&session, &LauncherSession::statusChanged);
        session.setGameDataSearch(held.search());
        session.lookUpGameData();
        QTRY_COMPARE(held.entered(), 1);
        session.setGameDataSearch(findGameData);
        session.adoptGameRoot(imported);
        if (refreshAfterImport) {
            session.lookUpStatus();
            QTRY_COMPARE(reports.count(), 1);
            QCOMPARE(session.status().gameRoot, imported);
        }

        held.release();
        QTRY_VERIFY(held.unused()); // the held lookup has posted its result
        QCoreApplication::processEvents();
        QTRY_VERIFY(!session.isLookingForGameData());
        QCOMPARE(reports.count(), 1);
        QCOMPARE(session.gameRoot(), imported);
        QCOMPARE(session.status().gameRoot, imported);
        QVERIFY(session.status().programFilesInGameRoot());
        QCOMPARE(storedValue(kRememberedKey).toString(), imported);
    }

    // A session closed while its search still runs is gone at once, and
    // the search's result, when it comes, goes nowhere.
    void aLookupOutlivingItsSession()
    {
        makeGameRoot(home->filePath(QStringLiteral("Games/A")));
        HeldSearch held;
        auto session = std::make_unique<LauncherSession>();
        session->setGameDataSearch(held.search());
        session->lookUpGameData();
        QTRY_COMPARE(held.entered(), 1);
        session.reset(); // does not wait for the search

        held.release();
        QTRY_VERIFY(held.unused());
        QCoreApplication::processEvents();
        QVERIFY2(!QFile::exists(sharedSettings().fileName()), "a session that is gone remembered a root");
    }

    void playStartsTheGameWithTheSettingsShown()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        LauncherSession session;
        session.resolveGameRoot();
        QSignalSpy attempts(&session, &LauncherSession::launchAttempted);
        LauncherSettings shown;
        shown.windowed = true;
        const LaunchPlan plan = session.launchPlan(shown);

        const LaunchOutcome outcome = session.play(shown);
        QCOMPARE(outcome.result, LaunchOutcome::Result::Launched);
        QCOMPARE(outcome.text(), QStringLiteral("Launched: ") + plan.commandLine);
        QCOMPARE(attempts.count(), 1);
        QCOMPARE(session.settings(), shown);
        QCOMPARE(loadLauncherSettings(), shown); // PLAY saved them
        const StandInRecord record = waitForStandInRecord(session.gameRoot() + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments);
        QVERIFY(record.arguments.contains(QStringLiteral("--fullscreen=false")));
        QCOMPARE(record.workingFolder, session.gameRoot());
        // Under the supervisor found beside the program, into the journal.
        QCOMPARE(session.runRecording().supervisor, QCoreApplication::applicationDirPath() + "/orvello-run");
        const PlayHistory history = waitForRuns(session.playJournal(), 1, false);
        QCOMPARE(history.lastRun->identity.game.pid, record.pid);
        QCOMPARE(history.lastRun->gameRoot, session.gameRoot());
    }

    // The wrapper runs the game; the player's entries reach the game over
    // the profile's, and never the launcher's own environment.
    void playRunsTheWrapperWithThePlayersEnvironment()
    {
        const QString root = home->filePath(QStringLiteral("Games/TVL"));
        makeGameRoot(root);
        installStandIn(root);
        const QString wrapper = home->filePath(QStringLiteral("my tools/record-wrapper"));
        installRecordingWrapper(wrapper);
        const QProcessEnvironment launcherEnvironment = QProcessEnvironment::systemEnvironment();
        LauncherSession session;
        session.resolveGameRoot();
        LaunchOptions options;
        options.wrapper = "\"" + wrapper + "\" %command% --after";
        options.environment = {"ORVELLO_PLAYER_ENTRY=on", "SDL_AUDIO_DRIVER=alsa"};
        session.changeLaunchOptions(options);
        QCOMPARE(loadLaunchOptions(), options);
        const LaunchPlan plan = session.launchPlan(session.settings());

        const LaunchOutcome outcome = session.play(session.settings());
        QCOMPARE(outcome.result, LaunchOutcome::Result::Launched);
        const QStringList wrappedGame = QStringList{plan.exePath} + plan.arguments + QStringList{"--after"};
        QCOMPARE(outcome.commandLine, printableCommandLine(wrapper, wrappedGame));
        QCOMPARE(QString::fromUtf8(readBytes(session.gameRoot() + "/logs/last-command.txt")), outcome.commandLine + "\n");
        const WrapperRecord wrapped = waitForWrapperRecord(wrapper);
        QCOMPARE(wrapped.arguments, wrappedGame);
        QVERIFY(wrapped.environment.contains("ORVELLO_PLAYER_ENTRY=on"));
        const StandInRecord record = waitForStandInRecord(session.gameRoot() + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments + QStringList{"--after"});
        QCOMPARE(record.audioDriver, QStringLiteral("alsa")); // the player's value wins
        QCOMPARE(QProcessEnvironment::systemEnvironment(), launcherEnvironment);
    }

    void playRefusesAWrapperWithAnUnclosedQuote()
    {
        const QString root = home->filePath(QStringLiteral("Games/TVL"));
        makeGameRoot(root);
        installStandIn(root);
        LauncherSession session;
        session.resolveGameRoot();
        LaunchOptions options;
        options.wrapper = QStringLiteral("\"gamemoderun %command%");
        session.changeLaunchOptions(options);
        const LaunchOutcome outcome = session.play(session.settings());
        QCOMPARE(outcome.text(), QStringLiteral("Launch failed: The command wrapper has an unclosed quote."));
        QVERIFY2(!QFile::exists(session.gameRoot() + "/logs/last-command.txt"), "nothing was run, nothing recorded");
    }

    // A game folder deleted after the status was shown: PLAY creates
    // nothing in its place, says so, and the status follows.
    void playWithTheGameFolderRemoved()
    {
        const QString root = home->filePath(QStringLiteral("Games/TVL"));
        makeGameRoot(root);
        installStandIn(root);
        LauncherSession session;
        session.resolveGameRoot();
        QVERIFY(session.refreshStatus().isReady());
        QVERIFY(QDir(session.gameRoot()).removeRecursively());
        QSignalSpy attempts(&session, &LauncherSession::launchAttempted);
        QSignalSpy reports(&session, &LauncherSession::statusChanged);
        LauncherSettings shown;
        shown.windowed = true;

        const LaunchOutcome outcome = session.play(shown);
        QCOMPARE(outcome.result, LaunchOutcome::Result::Failed);
        QCOMPARE(outcome.text(), QStringLiteral("Launch failed: Game data not found: ") + session.gameRoot());
        QCOMPARE(attempts.count(), 1);
        QVERIFY2(!QFileInfo::exists(session.gameRoot()), "PLAY made the game folder again");
        QCOMPARE(reports.count(), 1);
        QCOMPARE(session.status().readiness, ReadinessStatus::Readiness::NotFound);
        QCOMPARE(loadLauncherSettings(), shown); // the settings shown are kept all the same
    }

    void playReportsWhyTheLaunchFailed()
    {
        const QString root = home->filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        LauncherSession session;
        session.resolveGameRoot();
        const LaunchOutcome outcome = session.play(session.settings());
        QCOMPARE(outcome.result, LaunchOutcome::Result::Failed);
        QVERIFY2(outcome.text().startsWith(
                     "Launch failed: Game program files not found - tessarine, libkynruntime.so and "
                     "libkyngpu-xenos.so must be together in one folder.\nSearched:\n  "),
                 qPrintable(outcome.text()));
        QVERIFY(QFile::exists(session.gameRoot() + "/logs/last-command.txt"));
        QVERIFY(QFile::exists(sharedSettings().fileName()));
    }
};

ORVELLO_CORE_TEST_MAIN(TestLauncherSession)
#include "launcher_session_test.moc"
