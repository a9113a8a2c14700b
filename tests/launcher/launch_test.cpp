// Starting the game: every failure text, the command record, the
// environment, a real detached start of the stand-in runtime, directly and
// under the real orvello-run (found as the launcher finds it), what the
// launch does with each answer of the supervisor, and the stale
// shared-memory cleanup with real files in /dev/shm.
#include "core/game_launch.h"
#include "core/game_profile.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/play_journal.h"
#include "core/run_supervisor.h"
#include "core/shared_memory_cleanup.h"
#include "play_support.h"
#include "standin_support.h"
#include "test_support.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>

#include <csignal>
#include <memory>

using namespace testing_support;

namespace {

QString readText(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A file in /dev/shm that the test owns and removes again.
class ShmFile {
public:
    explicit ShmFile(const QString& name, int ageSeconds) : file_(QStringLiteral("/dev/shm/") + name)
    {
        QVERIFY(file_.open(QIODevice::ReadWrite | QIODevice::Truncate));
        QVERIFY(file_.write(QByteArray(4096, 'm')) == 4096);
        QVERIFY(file_.flush());
        QVERIFY(file_.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds), QFileDevice::FileModificationTime));
    }
    ~ShmFile()
    {
        if (mapped_)
            file_.unmap(mapped_);
        file_.remove();
    }
    void map() { QVERIFY((mapped_ = file_.map(0, 4096)) != nullptr); }
    bool exists() const { return QFile::exists(file_.fileName()); }

private:
    QFile file_;
    uchar* mapped_ = nullptr;
};

} // namespace

class TestLaunch : public QObject {
    Q_OBJECT

private slots:
    void logFolderThatCannotBeCreated()
    {
        ScratchHome home;
        writeFile(home.filePath(QStringLiteral("blocker")), "a file where a folder is needed");
        LaunchPlan plan;
        plan.logDir = home.filePath(QStringLiteral("blocker/logs"));
        QString error;
        QVERIFY(!launchGame(plan, &error));
        QCOMPARE(error, QStringLiteral("Could not create log folder: %1").arg(plan.logDir));
    }

    void emptyLogDirFallsBackToTheDataRoot()
    {
        ScratchHome home;
        LaunchPlan plan;
        plan.dataRoot = home.filePath(QStringLiteral("data"));
        plan.commandLine = QStringLiteral("cmd");
        QVERIFY(!launchGame(plan)); // no program files; a null error pointer is fine
        QCOMPARE(readText(home.filePath(QStringLiteral("data/logs/last-command.txt"))), QStringLiteral("cmd\n"));
    }

    void programFilesMissingText()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("Games/A"));
        makeGameRoot(root);
        makeProgramFiles(root, {"tessarine", "libkynruntime.so"});
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root);
        QString error;
        QVERIFY(!launchGame(plan, &error));
        QStringList expected{
            "Game program files not found - tessarine, libkynruntime.so and libkyngpu-xenos.so must be together in one folder.",
            "Searched:"};
        for (const QString& folder : plan.searched)
            expected << "  " + folder;
        expected << "Had the exe but not the full set:" << "  " + root + " (missing libkyngpu-xenos.so)";
        QCOMPARE(error, expected.join('\n'));
        QCOMPARE(plan.searched.first(), root);
        // The attempt got far enough to record its command.
        QCOMPARE(readText(root + "/logs/last-command.txt"), plan.commandLine + "\n");
    }

    void executableMissingOrNotRunnable_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing") << "missing" << "Game executable not found: @exe";
        QTest::newRow("a folder") << "folder" << "Game executable not found: @exe";
        QTest::newRow("not executable") << "plain" << "Failed to start: @command";
    }

    void executableMissingOrNotRunnable()
    {
        QFETCH(QString, kind);
        QFETCH(QString, expected);
        ScratchHome home;
        LaunchPlan plan;
        plan.programFilesFound = true;
        plan.exePath = home.filePath(QStringLiteral("tessarine"));
        plan.workingDir = home.path();
        plan.logDir = home.filePath(QStringLiteral("logs"));
        plan.commandLine = plan.exePath + QStringLiteral(" --x");
        if (kind == "folder")
            QVERIFY(QDir().mkpath(plan.exePath));
        else if (kind == "plain")
            writeFile(plan.exePath, "#!/bin/sh\nexit 0\n"); // no execute permission
        QString error;
        QVERIFY(!launchGame(plan, &error));
        QCOMPARE(error, expected.replace("@exe", plan.exePath).replace("@command", plan.commandLine));
    }

    // The entries reach the game only: the launcher's own environment, which
    // every later child (the decoder runs) inherits, stays as it was.
    void environmentEntriesReachOnlyTheGame()
    {
        ScratchHome home;
        LaunchPlan plan;
        plan.programFilesFound = true;
        plan.exePath = home.filePath(QStringLiteral("tessarine"));
        plan.workingDir = home.path();
        plan.logDir = home.filePath(QStringLiteral("logs"));
        plan.environment = {"ORVELLO_T1=a=b=c", "=ORVELLO_T2", "ORVELLO_T3", "ORVELLO_T4=", "ORVELLO_T5=first",
                            "ORVELLO_T5=second"};
        const QString dump = home.filePath(QStringLiteral("environment.txt"));
        writeFile(plan.exePath, "#!/bin/sh\nenv > '" + dump.toUtf8() + ".part' && mv '" + dump.toUtf8() + ".part' '"
                                    + dump.toUtf8() + "'\n");
        QFile::setPermissions(plan.exePath, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QString error;
        QVERIFY2(launchGame(plan, &error), qPrintable(error));
        QTRY_VERIFY(QFile::exists(dump));
        const QStringList lines = readText(dump).split('\n');
        QVERIFY(lines.contains("ORVELLO_T1=a=b=c"));
        QVERIFY(lines.contains("ORVELLO_T4="));
        QVERIFY(lines.contains("ORVELLO_T5=second"));
        QVERIFY(lines.contains("HOME=" + home.path())); // the rest of the launcher's environment
        QVERIFY(!readText(dump).contains("ORVELLO_T2") && !readText(dump).contains("ORVELLO_T3"));
        for (const char* name : {"ORVELLO_T1", "ORVELLO_T2", "ORVELLO_T3", "ORVELLO_T4", "ORVELLO_T5"})
            QVERIFY2(!qEnvironmentVariableIsSet(name), name);
    }

    void startsTheGameDetached()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("My Games/TVL"));
        makeGameRoot(root);
        installStandIn(root);
        const ScopedEnv alsa("SDL_AUDIO_DRIVER", "alsa"); // the profile's value must win
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root);
        QString error;
        QVERIFY2(launchGame(plan, &error), qPrintable(error));
        const StandInRecord record = waitForStandInRecord(root + "/logs/game.log");
        QCOMPARE(record.arguments, plan.arguments);
        QCOMPARE(record.workingFolder, root);
        QCOMPARE(record.audioDriver, QStringLiteral("pulseaudio"));
        QCOMPARE(readText(root + "/logs/last-command.txt"), plan.commandLine + "\n");
        QCOMPARE(qgetenv("SDL_AUDIO_DRIVER"), QByteArray("alsa"));
    }

    // Beside the launcher (the build tree) or in the package's libexec
    // folder; a program of that name elsewhere on PATH is never run.
    void findsTheSupervisorBesideTheLauncherOrInLibexec_data()
    {
        QTest::addColumn<QString>("placed");   // where an orvello-run is put, from the scratch folder
        QTest::addColumn<bool>("executable");
        QTest::addColumn<QString>("found");    // what is found for a launcher in bin/, "" for nothing
        QTest::newRow("beside") << "bin/orvello-run" << true << "bin/orvello-run";
        QTest::newRow("libexec") << "libexec/orvello-launcher/orvello-run" << true
                                 << "libexec/orvello-launcher/orvello-run";
        QTest::newRow("on PATH only") << "elsewhere/orvello-run" << true << "";
        QTest::newRow("not executable") << "bin/orvello-run" << false << "";
        QTest::newRow("a folder of that name") << "bin/orvello-run/" << true << "";
    }

    void findsTheSupervisorBesideTheLauncherOrInLibexec()
    {
        QFETCH(QString, placed);
        QFETCH(bool, executable);
        QFETCH(QString, found);
        ScratchHome home;
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("bin"))));
        if (placed.endsWith('/')) {
            QVERIFY(QDir().mkpath(home.filePath(placed)));
        } else {
            installFakeSupervisor(home.filePath(placed), 0);
            if (!executable)
                QFile::setPermissions(home.filePath(placed), QFile::ReadOwner | QFile::WriteOwner);
        }
        const ScopedEnv path("PATH", home.filePath(QStringLiteral("elsewhere")).toLocal8Bit() + ":/usr/bin:/bin");
        QCOMPARE(findRunSupervisor(home.filePath(QStringLiteral("bin"))), found.isEmpty() ? QString() : home.filePath(found));
    }

    // Under orvello-run the game gets exactly the command that
    // last-command.txt shows, the plan's working folder and environment
    // (never set in the launcher's own), and both run on their own, recorded.
    void aSupervisedGameRunsAsLastCommandSaysAndIsRecorded()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("My Games/TVL"));
        makeGameRoot(root);
        installStandIn(root);
        const ScopedEnv longRun("TESSARINE_STANDIN_SECONDS", "60");
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root,
                                                LaunchOptions{{}, {"ORVELLO_PLAYER_ENTRY=on a=b"}});
        const RunRecording recording{findRunSupervisor(), playJournalPath(gameProfile()), root};
        QVERIFY2(recording.recorded(), "orvello-run is not beside the test program");
        const QProcessEnvironment launcherEnvironment = QProcessEnvironment::systemEnvironment();
        QString error;
        QVERIFY2(launchGame(plan, &error, GameStart::Detached, recording), qPrintable(error));

        const PlayRun run = *waitForRuns(recording.journal, 1, false).lastRun;
        QCOMPARE(run.gameRoot, root);
        const qint64 game = run.identity.game.pid, supervisorPid = run.identity.supervisor.pid;
        QCOMPARE(waitForStandInRecord(root + "/logs/game.log").pid, game);
        QStringList command;
        for (const QByteArray& word : procStrings(game, "cmdline"))
            command << QString::fromLocal8Bit(word);
        QCOMPARE(printableCommandLine(command.first(), command.mid(1)) + "\n", readText(root + "/logs/last-command.txt"));
        QCOMPARE(procWorkingFolder(game), plan.workingDir);
        QStringList environment;
        for (const QByteArray& entry : procStrings(game, "environ"))
            environment << QString::fromLocal8Bit(entry);
        QStringList expected = gameEnvironment(plan.environment).toStringList();
        environment.sort();
        expected.sort();
        QCOMPARE(environment, expected);
        QVERIFY(environment.contains("ORVELLO_PLAYER_ENTRY=on a=b"));
        QCOMPARE(QProcessEnvironment::systemEnvironment(), launcherEnvironment);
        // Neither is the launcher's child: nothing the launcher does, ending
        // included, reaches them.
        QCOMPARE(parentProcess(game), supervisorPid);
        QVERIFY(parentProcess(supervisorPid) != QCoreApplication::applicationPid());

        QCOMPARE(::kill(pid_t(supervisorPid), SIGTERM), 0); // passed on; the stand-in ends cleanly
        QCOMPARE(waitForRuns(recording.journal, 1, true).lastRun->end, PlayRun::End::Exited);
    }

    // What PLAY does with each answer of the supervisor: a supervisor that
    // fails (or is gone) leaves the game to be started directly, unrecorded;
    // a game that the supervisor could not start fails the launch with why.
    void theSupervisorsAnswers_data()
    {
        QTest::addColumn<int>("exitStatus"); // of the fake supervisor; -1: none at its path
        QTest::addColumn<QString>("reason"); // "" when the game starts; %1 = the game's program
        QTest::newRow("supervisor failed") << 125 << "";
        QTest::newRow("supervisor gone") << -1 << "";
        QTest::newRow("game cannot run") << 126 << "%1 is not a program this system can run.";
        QTest::newRow("game not found") << 127 << "%1, or the interpreter it names, was not found.";
    }

    void theSupervisorsAnswers()
    {
        QFETCH(int, exitStatus);
        QFETCH(QString, reason);
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("TVL"));
        makeGameRoot(root);
        installStandIn(root);
        const RunRecording recording{home.filePath(QStringLiteral("libexec/orvello-run")),
                                     home.filePath(QStringLiteral("journal")), root};
        if (exitStatus >= 0)
            installFakeSupervisor(recording.supervisor, exitStatus);
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root);
        QString error;
        const bool launched = launchGame(plan, &error, GameStart::Detached, recording);
        if (reason.isEmpty()) {
            QVERIFY2(launched, qPrintable(error));
            QCOMPARE(waitForStandInRecord(root + "/logs/game.log").arguments, plan.arguments);
        } else {
            QVERIFY(!launched);
            QCOMPARE(error, "Failed to start: " + plan.commandLine + "\n" + reason.arg(plan.exePath));
        }
        QVERIFY2(!QFile::exists(recording.journal), "nothing was recorded");
    }

    void staleSharedMemoryIsRemoved()
    {
        const QString tag = QStringLiteral("mirel_memory_orvtest_%1_").arg(QCoreApplication::applicationPid());
        auto old = std::make_unique<ShmFile>(tag + "old", 120);
        auto young = std::make_unique<ShmFile>(tag + "young", 5);
        auto mapped = std::make_unique<ShmFile>(tag + "mapped", 120);
        mapped->map();
        auto prefix = std::make_unique<ShmFile>(tag + "p1", 120);    // unmapped, but a prefix of...
        auto longer = std::make_unique<ShmFile>(tag + "p12", 120);   // ...this mapped name
        longer->map();
        auto otherName = std::make_unique<ShmFile>(QStringLiteral("orvtest_%1_other").arg(QCoreApplication::applicationPid()), 120);
        const QString folder = QStringLiteral("/dev/shm/") + tag + "dir";
        QVERIFY(QDir().mkpath(folder));

        removeStaleSharedMemory(gameProfile());

        QVERIFY2(!old->exists(), "an old unmapped file is stale");
        QVERIFY(young->exists());
        QVERIFY(mapped->exists());
        QVERIFY2(prefix->exists(), "names are matched as substrings of the maps");
        QVERIFY(longer->exists());
        QVERIFY(otherName->exists());
        QVERIFY(QFileInfo(folder).isDir());
        QDir(folder).removeRecursively();
    }
};

ORVELLO_TEST_MAIN(TestLaunch)
#include "launch_test.moc"
