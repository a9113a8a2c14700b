// The launcher's command line, run as a process on scratch homes without a
// display, as a terminal user, a script or Steam runs it: usage errors,
// --help and --version, --status, --play with the stand-in runtime (the
// supervisor takes the launcher's place and records the run, which --status
// then tells) and --import of packages and folders, Ctrl+C and a second
// launcher importing into the same folder included.
#include "core/game_profile.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/play_journal.h"
#include "core/play_texts.h"
#include "import_fixture.h"
#include "launcher_process.h"
#include "standin_support.h"
#include "supervisor/journal_format.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QSettings>

#include <csignal>
#include <memory>

using namespace testing_support;

namespace {

// What --status says of play before the first run.
const QString kNeverPlayedLines = QStringLiteral("Play time: 0:00:00\nRuns: 0\nLast played: never\nLast run: none\n");

QString readText(const QString& path)
{
    return QString::fromUtf8(readBytes(path));
}

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Eight raw ZORV files and the image: enough files for an import to be
// stopped in the middle.
GameContent eightFileContent()
{
    GameContent content;
    content.files["default.xex"] = {xexImage(QStringLiteral("4E3D2C71")), xexImage(QStringLiteral("4E3D2C71"))};
    for (int i = 0; i < 8; ++i) {
        const QByteArray bytes = QByteArray::number(i).repeated(1000);
        content.files[QStringLiteral("content/file%1.bin").arg(i)] = {rawZorv(bytes), bytes};
    }
    return content;
}

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;

    QVariant launcherSetting(const QString& key) const
    {
        return QSettings(launcherSettingsFile(*home), QSettings::IniFormat).value(key);
    }

    QString rememberedRoot() const { return launcherSetting(QStringLiteral("detection/4E3D2C71/root")).toString(); }

    // A game root under ~/Games with the stand-in runtime, as the search finds it.
    QString readyGameRoot()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        return canonical(root);
    }

    // The run that --play recorded last, in the home's play journal.
    PlayRun lastRecordedRun() const
    {
        const PlayHistory history = readPlayHistory(playJournalPath(gameProfile()));
        if (!history.lastRun)
            qFatal("no run in the play journal");
        return *history.lastRun;
    }

    // A copy of the launcher without a zorv beside it: it uses the one on PATH.
    // Nor is orvello-run beside it: it plays unrecorded.
    QString launcherWithoutDecoder() const
    {
        const QString launcher = home->filePath(QStringLiteral("launcher/orvello-launcher"));
        if (!QDir().mkpath(QFileInfo(launcher).absolutePath())
            || !QFile::copy(QStringLiteral(ORVELLO_BIN_DIR "/orvello-launcher"), launcher))
            qFatal("cannot copy the launcher to %s", qPrintable(launcher));
        return launcher;
    }

private slots:
    void init() { home = std::make_unique<ScratchHome>(); }
    void cleanup() { home.reset(); }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'.";
        QTest::newRow("missing path") << QStringList{"--import"} << "Missing value after '--import'.";
        QTest::newRow("option of another command") << QStringList{"--status", "--into", "x"}
                                                   << "--into goes with --import.";
        QTest::newRow("option without its command") << QStringList{"--into", "x"} << "--into goes with --import.";
        QTest::newRow("two commands") << QStringList{"--status", "--play"}
                                      << "Give one of --status, --play, --import, --verify, --repair.";
        QTest::newRow("a stray argument") << QStringList{"--status", "extra"} << "Unexpected argument: extra";
    }

    void usageErrors()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        const LauncherRun run = runLauncher(*home, arguments);
        QCOMPARE(run.exitStatus, 2);
        QCOMPARE(run.err, message + "\nRun orvello-launcher --help for the options.\n");
        QVERIFY(run.out.isEmpty());
        QVERIFY2(!QFile::exists(launcherSettingsFile(*home)), "a usage error writes nothing");
    }

    void helpAndVersion()
    {
        const LauncherRun help = runLauncher(*home, {"--help"});
        QCOMPARE(help.exitStatus, 0);
        for (const char* option : {"--status", "--play", "--import <path>", "--into <folder>", "--verify", "--repair", "--version"})
            QVERIFY2(help.out.contains(QLatin1String(option)), option);
        const LauncherRun version = runLauncher(*home, {"--version"});
        QCOMPARE(version.exitStatus, 0);
        QCOMPARE(version.out, "Orvello Launcher " + QCoreApplication::applicationVersion() + "\n");
        QVERIFY(!QCoreApplication::applicationVersion().isEmpty());
    }

    // Without a display and without options, a sentence instead of Qt's abort.
    void aPlainStartWithoutADisplaySaysSo()
    {
        const LauncherRun run = runLauncher(*home, {});
        QCOMPARE(run.exitStatus, 1);
        QVERIFY2(run.err.startsWith("No display found (neither DISPLAY nor WAYLAND_DISPLAY is set)"), qPrintable(run.err));
    }

    void status_data()
    {
        QTest::addColumn<bool>("gameData");
        QTest::addColumn<bool>("programFiles");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("lines"); // %1 = the game root
        QTest::newRow("not found") << false << false << 1 << "Status: not found\n";
        QTest::newRow("program files not found") << true << false << 1
                                                 << "Status: program files not found\nGame data: %1\n";
        QTest::newRow("ready") << true << true << 0 << "Status: ready\nGame data: %1\nProgram files: %1\n";
    }

    void status()
    {
        QFETCH(bool, gameData);
        QFETCH(bool, programFiles);
        QFETCH(int, exitStatus);
        QFETCH(QString, lines);
        const QString root = home->filePath(QStringLiteral("Games/TVL"));
        if (gameData)
            makeGameRoot(root);
        if (programFiles)
            makeProgramFiles(root);
        const LauncherRun run = runLauncher(*home, {"--status"});
        QCOMPARE(run.exitStatus, exitStatus);
        QCOMPARE(run.out, (gameData ? lines.arg(canonical(root)) : lines) + kNeverPlayedLines);
        QCOMPARE(run.err, QString());
    }

    // The same steps as the button; then the game takes the launcher's
    // process, so the caller waits for the game and gets its exit status.
    void playRunsTheGameInTheLaunchersPlace()
    {
        const QString root = readyGameRoot();
        QVERIFY(QDir().mkpath(QFileInfo(launcherSettingsFile(*home)).absolutePath()));
        {
            QSettings stored(launcherSettingsFile(*home), QSettings::IniFormat);
            stored.setValue("settings/frame_limit", 5000); // as the page shows it: 1000
            stored.setValue("settings/windowed", true);
        }
        LauncherSettings expected;
        expected.frame_limit = 1000;
        expected.windowed = true;
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), expected, root, root);

        const LauncherRun run = runLauncher(*home, {"--play"});
        QCOMPARE(run.exitStatus, 0);
        QCOMPARE(run.err, QString());
        const StandInRecord record = waitForStandInRecord(root + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments);
        QCOMPARE(record.workingFolder, root);
        QCOMPARE(record.audioDriver, QStringLiteral("pulseaudio"));
        // The launcher's process became the supervisor, with the game as its child.
        QCOMPARE(lastRecordedRun().identity.supervisor.pid, run.pid);
        QCOMPARE(lastRecordedRun().identity.game.pid, record.pid);
        QCOMPARE(readText(root + "/logs/last-command.txt"), plan.commandLine + "\n");
        QCOMPARE(launcherSetting("settings/frame_limit").toInt(), 1000); // PLAY saved the settings
        QCOMPARE(rememberedRoot(), root);
    }

    // The launch options reach the game in the launcher's place too: the
    // launcher becomes the wrapper, and the wrapper the game.
    void playRunsTheWrapperWithThePlayersEnvironment()
    {
        const QString root = readyGameRoot();
        const QString wrapper = home->filePath(QStringLiteral("bin/record-wrapper"));
        installRecordingWrapper(wrapper);
        QVERIFY(QDir().mkpath(QFileInfo(launcherSettingsFile(*home)).absolutePath()));
        {
            QSettings stored(launcherSettingsFile(*home), QSettings::IniFormat);
            stored.setValue("launch/wrapper", wrapper + " %command%");
            stored.setValue("launch/environment", QStringList{"ORVELLO_PLAYER_ENTRY=on", "SDL_AUDIO_DRIVER=alsa"});
        }
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root);
        const LauncherRun run = runLauncher(*home, {"--play"});
        QCOMPARE(run.exitStatus, 0);
        const WrapperRecord wrapped = waitForWrapperRecord(wrapper);
        QCOMPARE(wrapped.arguments, QStringList{plan.exePath} + plan.arguments);
        QVERIFY(wrapped.environment.contains("ORVELLO_PLAYER_ENTRY=on"));
        const StandInRecord record = waitForStandInRecord(root + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments);
        QCOMPARE(record.audioDriver, QStringLiteral("alsa"));
        QCOMPARE(lastRecordedRun().identity.game.pid, record.pid);
        QCOMPARE(readText(root + "/logs/last-command.txt"),
                 printableCommandLine(wrapper, QStringList{plan.exePath} + plan.arguments) + "\n");
    }

    void playEndsWithTheGamesExitStatus()
    {
        const QString root = readyGameRoot();
        writeFile(root + "/tessarine", "#!/bin/sh\nexit 7\n");
        QCOMPARE(runLauncher(*home, {"--play"}).exitStatus, 7);
        // As Steam may run it: the entry's --play, and the shortcut's again.
        QCOMPARE(runLauncher(*home, {"--play", "--play"}).exitStatus, 7);
    }

    // Each run under the supervisor is recorded: --play ends with the
    // game's status (128 + the signal that killed it) and --status tells the
    // play time, the runs and how the last one ended.
    void playRecordsEveryRunAndStatusTellsHowItEnded()
    {
        const QString root = readyGameRoot();
        const struct {
            const char* variable;
            const char* value;
            int exitStatus;
            QString lastRun; // %1 = the run's duration
        } runs[] = {
            {"TESSARINE_STANDIN_EXIT_CODE", "3", 3, "Last run: ended with exit code 3 after %1"},
            {"TESSARINE_STANDIN_SIGNAL", "11", 139, "Last run: ended by signal 11 (Segmentation fault) after %1"},
            {"TESSARINE_STANDIN_EXIT_CODE", "0", 0, "Last run: ended normally after %1"},
        };
        qint64 playMs = 0;
        for (const auto& game : runs) {
            LauncherStart start;
            start.environment = launcherEnvironment(*home);
            start.environment.insert(QStringLiteral("TESSARINE_STANDIN_SECONDS"), QStringLiteral("1"));
            start.environment.insert(QLatin1String(game.variable), QLatin1String(game.value));
            const LauncherRun play = runLauncher(*home, {"--play"}, start);
            QCOMPARE(play.exitStatus, game.exitStatus);
            const PlayRun run = lastRecordedRun();
            QCOMPARE(run.identity.supervisor.pid, play.pid);
            QVERIFY2(run.durationMs >= 1000, qPrintable(QString::number(run.durationMs)));
            playMs += run.durationMs;

            const QStringList status = runLauncher(*home, {"--status"}).out.split('\n');
            QVERIFY2(status.contains(game.lastRun.arg(runDurationText(run.durationMs))), qPrintable(status.join('\n')));
            QVERIFY(status.contains(QStringLiteral("Last played: ") + run.started.toString(Qt::ISODate)));
        }
        const PlayHistory history = readPlayHistory(playJournalPath(gameProfile()));
        QCOMPARE(history.runs, 3);
        QCOMPARE(history.playTimeMs, playMs);
        const QString status = runLauncher(*home, {"--status"}).out;
        QVERIFY2(status.contains(QStringLiteral("\nPlay time: 0:00:%1\nRuns: 3\n").arg(playMs / 1000, 2, 10, QLatin1Char('0'))),
                 qPrintable(status));
    }

    // A player who only ever starts the game from Steam never opens the
    // window, which compacts the journal: --play compacts it too, past its
    // size limit, and every total stays.
    void playCompactsAJournalPastItsLimit()
    {
        readyGameRoot();
        const QString journal = playJournalPath(gameProfile());
        QVERIFY(QDir().mkpath(QFileInfo(journal).path()));
        QByteArray runs;
        constexpr int kRuns = 600;
        for (int i = 1; i <= kRuns; ++i) {
            const supervisor::RunIdentity identity{"ab-12", {1000000 + i, 1}, {2000000 + i, 1}};
            runs += QByteArray::fromStdString(supervisor::formatLine(supervisor::RunStart{identity, 1000LL * i, "/g"}));
            runs += QByteArray::fromStdString(
                supervisor::formatLine(supervisor::RunEnd{identity, supervisor::RunEndKind::Exited, 0, 1000}));
        }
        writeFile(journal, runs);
        QVERIFY(runs.size() > kPlayJournalCompactionBytes);

        LauncherStart start;
        start.environment = launcherEnvironment(*home);
        start.environment.insert(QStringLiteral("TESSARINE_STANDIN_SECONDS"), QStringLiteral("1"));
        QCOMPARE(runLauncher(*home, {"--play"}, start).exitStatus, 0);
        QVERIFY2(QFileInfo(journal).size() < kPlayJournalCompactionBytes, qPrintable(QString::number(QFileInfo(journal).size())));
        const PlayHistory history = readPlayHistory(journal);
        QCOMPARE(history.runs, kRuns + 1);
        QCOMPARE(history.playTimeMs, kRuns * 1000 + lastRecordedRun().durationMs);
    }

    // Without orvello-run beside the launcher, the game takes the launcher's
    // place itself and the run goes unrecorded.
    void playWithoutTheSupervisorRunsTheGameUnrecorded()
    {
        const QString root = readyGameRoot();
        LauncherStart start;
        start.program = launcherWithoutDecoder();
        const LauncherRun run = runLauncher(*home, {"--play"}, start);
        QCOMPARE(run.exitStatus, 0);
        QCOMPARE(waitForStandInRecord(root + "/logs/game.log").pid, run.pid);
        QVERIFY(!QFile::exists(playJournalPath(gameProfile())));
    }

    void playFailures_data()
    {
        QTest::addColumn<QString>("setUp");
        QTest::addColumn<QString>("failure"); // the start of standard error; %1 = the game root
        QTest::newRow("no game data") << "none"
                                      << "Launch failed: No game data found. Import the game first: "
                                         "orvello-launcher --import PATH\n";
        QTest::newRow("no program files") << "data only"
                                          << "Launch failed: Game program files not found - tessarine, "
                                             "libkynruntime.so and libkyngpu-xenos.so must be together in one "
                                             "folder.\nSearched:\n  %1\n";
        QTest::newRow("not executable") << "not executable" << "Launch failed: Failed to start: %1/tessarine ";
        QTest::newRow("the remembered game folder removed") << "removed" << "Launch failed: Game data not found: %1\n";
        QTest::newRow("a wrapper with an unclosed quote") << "unclosed quote"
                                                          << "Launch failed: The command wrapper has an unclosed quote.\n";
    }

    void playFailures()
    {
        QFETCH(QString, setUp);
        QFETCH(QString, failure);
        QString root;
        if (setUp == "data only") {
            root = home->filePath(QStringLiteral("Games/TVL"));
            makeGameRoot(root);
            root = canonical(root);
        } else if (setUp == "not executable") {
            root = readyGameRoot();
            QFile::setPermissions(root + "/tessarine", QFile::ReadOwner | QFile::WriteOwner);
        } else if (setUp == "removed") {
            root = readyGameRoot();
            QVERIFY(QDir().mkpath(QFileInfo(launcherSettingsFile(*home)).absolutePath()));
            QSettings(launcherSettingsFile(*home), QSettings::IniFormat).setValue("detection/4E3D2C71/root", root);
            QVERIFY(QDir(root).removeRecursively());
        } else if (setUp == "unclosed quote") {
            root = readyGameRoot();
            QVERIFY(QDir().mkpath(QFileInfo(launcherSettingsFile(*home)).absolutePath()));
            QSettings(launcherSettingsFile(*home), QSettings::IniFormat).setValue("launch/wrapper", "\"gamemoderun %command%");
        }
        const LauncherRun run = runLauncher(*home, {"--play"});
        QCOMPARE(run.exitStatus, 1);
        QVERIFY2(run.err.startsWith(failure.arg(root)), qPrintable(run.err));
        QVERIFY(run.err.endsWith('\n') && run.out.isEmpty());
        if (setUp == "removed")
            QVERIFY2(!QFileInfo::exists(root), "--play made the game folder again");
    }

    // Relative paths are taken from the working folder; the new root is
    // adopted and remembered, and the content decoded bit for bit.
    void importPackage_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("parent"); // of the new root, relative to home
        QTest::newRow("into ~/Games") << QStringList{"--import", "TVL Arcade.pkg"} << "Games";
        QTest::newRow("into a relative folder") << QStringList{"--import", "./TVL Arcade.pkg", "--into", "../Library"}
                                                << "Library";
    }

    void importPackage()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, parent);
        const GameContent content = makeGameContent();
        writeContentPackage(home->filePath(QStringLiteral("Downloads/TVL Arcade.pkg")), content);
        LauncherStart fromDownloads;
        fromDownloads.workingFolder = home->filePath("Downloads");
        const LauncherRun run = runLauncher(*home, arguments, fromDownloads);
        QVERIFY2(run.exitStatus == 0, qPrintable(run.err));
        const qint64 entries = content.files.size() + content.folderCount();
        QCOMPARE(run.out, QStringLiteral("Imported TVL Arcade: %1 files, %2 MB extracted\n")
                              .arg(entries).arg(content.storedBytes() >> 20));
        QVERIFY2(run.err.contains("of 3: Decompressing content/"), qPrintable(run.err)); // plain progress lines
        const QString root = home->filePath(parent + "/TVL Arcade");
        verifyDecoded(root + "/gamedata", content);
        QCOMPARE(rememberedRoot(), root);
        QCOMPARE(runLauncher(*home, {"--status"}).out,
                 "Status: program files not found\nGame data: " + root + "\n" + kNeverPlayedLines);
    }

    void importFolder_data()
    {
        QTest::addColumn<bool>("compressed");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("root"); // relative to home
        QTest::addColumn<QString>("message");
        QTest::newRow("in place") << true << QStringList{} << "Extracted TVL" << "Game data ready in:\n%1\n";
        QTest::newRow("in place, nothing to decode") << false << QStringList{} << "Extracted TVL"
                                                     << "Using game data in %1\n";
        QTest::newRow("prepared copy") << true << QStringList{"--into", "Games"} << "Games/TessarineVandryLive"
                                       << "Game data ready in:\n%1\n";
    }

    void importFolder()
    {
        QFETCH(bool, compressed);
        QFETCH(QStringList, options);
        QFETCH(QString, root);
        QFETCH(QString, message);
        GameContent content = makeGameContent();
        if (!compressed) {
            for (GameContent::File& file : content.files)
                file.stored = file.decoded;
        }
        const QString folder = home->filePath(QStringLiteral("Extracted TVL"));
        writeContentFolder(folder, content);
        const LauncherRun run = runLauncher(*home, QStringList{"--import", "Extracted TVL"} + options);
        QVERIFY2(run.exitStatus == 0, qPrintable(run.err));
        const QString rootPath = home->filePath(root);
        QCOMPARE(run.out, message.arg(rootPath));
        verifyDecoded(options.isEmpty() ? folder : rootPath + "/gamedata", content);
        QCOMPARE(rememberedRoot(), rootPath);
        if (options.isEmpty())
            return;
        for (auto it = content.files.cbegin(); it != content.files.cend(); ++it) // the original is untouched
            QCOMPARE(readBytes(QDir(folder).filePath(it.key())), it->stored);
    }

    void importFailures_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("message"); // the start of standard error
        QTest::newRow("not a package") << "notes.txt" << "Could not read package:\nNot an STFS package (magic \"hell\")\n";
        QTest::newRow("no such file") << "missing.pkg" << "Could not read package:\nCannot open @home/missing.pkg: ";
        QTest::newRow("a folder without the game") << "empty"
                                                   << "That folder does not hold the extracted game (no Default.xex found).\n";
        QTest::newRow("another title") << "other"
                                       << "Import failed:\nthe folder does not validate as Tessarine Vandry Live "
                                          "(title 4E3D2C71).\n";
        QTest::newRow("content that fails to decode") << "broken.pkg"
                                                      << "Extraction failed:\nDecompressing content/bad.bin failed (exit ";
        QTest::newRow("a prepared copy already there") << "copied"
                                                       << "@home/Games/TessarineVandryLive/gamedata already exists. "
                                                          "Choose another location or remove it first.\n";
    }

    void importFailures()
    {
        QFETCH(QString, source);
        QFETCH(QString, message);
        writeFile(home->filePath("notes.txt"), QByteArray("hello, this is text\n").repeated(100));
        QVERIFY(QDir().mkpath(home->filePath("empty")));
        writeFile(home->filePath("other/default.xex"), xexImage(QStringLiteral("41560817")));
        GameContent broken = makeGameContent();
        broken.files["content/bad.bin"] = {QByteArray::fromHex("0ff512ed0100") + QByteArray(40, '\x11'), {}};
        writeContentPackage(home->filePath("broken.pkg"), broken);
        makeGameRoot(home->filePath("copied"), QStringLiteral("4E3D2C71"), false);
        QVERIFY(QDir().mkpath(home->filePath("Games/TessarineVandryLive/gamedata")));
        const QStringList options = source == "copied" ? QStringList{"--into", "Games"} : QStringList{};

        const LauncherRun run = runLauncher(*home, QStringList{"--import", source} + options);
        QCOMPARE(run.exitStatus, 1);
        QVERIFY2(run.err.contains(message.replace("@home", home->path())), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QCOMPARE(rememberedRoot(), QString());
    }

    // Two launchers importing into one folder: the second is refused with
    // the lock's message while the first runs; the lock of a launcher then
    // killed (with its decoder) is taken over by the next import, which
    // finishes the folder.
    void oneImportPerGameFolderAcrossLaunchers()
    {
        const GameContent content = eightFileContent();
        const QString folder = home->filePath(QStringLiteral("slow"));
        writeContentFolder(folder, content);
        const QString launcher = launcherWithoutDecoder();
        const FakeDecoder decoder(home->filePath(QStringLiteral("slow-bin")), "sleep 0.3\ntail -c +17 \"$1\" > \"$2\"\n");
        LauncherStart copied;
        copied.program = launcher;

        QProcess first;
        startLauncher(first, *home, {"--import", folder}, copied);
        QVERIFY(first.waitForStarted());
        QByteArray firstErr;
        QTRY_VERIFY_WITH_TIMEOUT((firstErr += first.readAllStandardError()).contains("Decompressing content/file"), 20000);
        const LauncherRun second = runLauncher(*home, {"--import", folder}, copied);
        QCOMPARE(second.exitStatus, 1);
        QVERIFY2(second.err.endsWith("Import failed:\nAnother import or verification is using " + folder + ".\n"),
                 qPrintable(second.err));
        QCOMPARE(first.state(), QProcess::Running);

        QCOMPARE(::kill(-pid_t(first.processId()), SIGKILL), 0); // the launcher and its decoder
        QVERIFY(first.waitForFinished(30000));
        QVERIFY2(QFileInfo::exists(folder + "/.orvello/writer.lock"), "the killed launcher left no lock to take over");
        const LauncherRun next = runLauncher(*home, {"--import", folder}, copied);
        QVERIFY2(next.exitStatus == 0, qPrintable(next.err));
        verifyDecoded(folder, content);
        QVERIFY(!QFileInfo::exists(folder + "/.orvello/writer.lock"));
    }

    // Ctrl+C reaches the launcher and its decoders, as a terminal sends it
    // to the whole process group: the import stops between files as Cancel
    // does, and no running decoder is killed, so every file is wholly
    // decoded or untouched.
    void ctrlCStopsAnImportLikeCancel()
    {
        const GameContent content = eightFileContent();
        const QString folder = home->filePath(QStringLiteral("slow"));
        writeContentFolder(folder, content);
        const QString launcher = launcherWithoutDecoder();
        const FakeDecoder decoder(home->filePath(QStringLiteral("slow-bin")), "sleep 0.3\ntail -c +17 \"$1\" > \"$2\"\n");

        LauncherStart copied;
        copied.program = launcher;
        QProcess process;
        startLauncher(process, *home, {"--import", folder}, copied);
        QVERIFY(process.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += process.readAllStandardError()).contains("Decompressing content/file"), 20000);
        QCOMPARE(::kill(-pid_t(process.processId()), SIGINT), 0);
        QVERIFY(process.waitForFinished(30000));
        err += process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.contains("Stopping the import once the files in progress are done"), err.constData());
        QVERIFY2(err.endsWith("Import failed:\nImport stopped before it finished.\n"), err.constData());

        int decoded = 0;
        verifyUntouchedOrDecoded(folder, content, &decoded);
        QVERIFY2(decoded >= 1 && decoded < 8, qPrintable(QString::number(decoded)));
        QCOMPARE(rememberedRoot(), QString());
    }
};

ORVELLO_CORE_TEST_MAIN(TestCommandLine)
#include "command_line_test.moc"
