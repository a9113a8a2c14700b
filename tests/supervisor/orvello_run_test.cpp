// The real orvello-run, started as a process the way the launcher and Steam
// start it, with the stand-in game and small script games: what lands in the
// journal, what the game receives, the signals it passes on, its exit
// status, the background start, and the journal read back by the launcher.
#include "core/play_journal.h"
#include "core/play_texts.h"
#include "play_support.h"
#include "standin_support.h"
#include "supervisor/journal_format.h"
#include "supervisor/process_identity.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

using namespace testing_support;
using supervisor::RunEnd;
using supervisor::RunEndKind;
using supervisor::RunStart;

namespace {

const QString kProgram = QStringLiteral(ORVELLO_RUN_PROGRAM);

// The journal's records, in order, with the lines that do not parse left out.
struct JournalLines {
    QList<RunStart> starts;
    QList<RunEnd> ends;
};

JournalLines readJournalLines(const QString& path)
{
    JournalLines lines;
    for (const QByteArray& line : readBytes(path).split('\n')) {
        const auto record = supervisor::parseLine(std::string_view(line.constData(), size_t(line.size())));
        if (!record)
            continue;
        if (const auto* start = std::get_if<RunStart>(&*record))
            lines.starts << *start;
        else if (const auto* end = std::get_if<RunEnd>(&*record))
            lines.ends << *end;
    }
    return lines;
}

// Field 4 (parent) or 6 (session) of /proc/<pid>/stat.
qint64 statField(qint64 pid, int field)
{
    const QByteArray text = readBytes(QStringLiteral("/proc/%1/stat").arg(pid));
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(field - 3).toLongLong();
}

class Scratch {
public:
    Scratch() : dir_(scratchTemplate(QStringLiteral("orvello-run"))) {}
    QString path(const QString& relative) const { return QDir(dir_.path()).filePath(relative); }
    QString journal() const { return path(QStringLiteral("state/Velmarch/Orvello Launcher/play-journal")); }

private:
    QTemporaryDir dir_;
};

} // namespace

class TestOrvelloRun : public QObject {
    Q_OBJECT

private:
    Scratch scratch;
    QString programDir, logFile;

    // orvello-run with the given game command, from folder, with exactly
    // that environment.
    void startSupervisor(QProcess& process, const QStringList& game, const QProcessEnvironment& environment,
                         const QString& folder, const QStringList& options = {})
    {
        process.setProgram(kProgram);
        process.setArguments(options + QStringList{QStringLiteral("--journal"), scratch.journal(),
                                                   QStringLiteral("--game-root"), QStringLiteral("/games/with space")} +
                             QStringList{QStringLiteral("--")} + game);
        process.setProcessEnvironment(environment);
        process.setWorkingDirectory(folder);
        process.start();
        QVERIFY2(process.waitForStarted(), qPrintable(process.errorString()));
    }

    // Runs the supervisor to its end; returns its exit code.
    int runSupervisor(const QStringList& game, const QProcessEnvironment& environment, QByteArray* errors = nullptr,
                      const QStringList& options = {})
    {
        QProcess process;
        startSupervisor(process, game, environment, programDir, options);
        [&] { QVERIFY(process.waitForFinished(60000)); }();
        if (errors)
            *errors = process.readAllStandardError();
        [&] { QCOMPARE(process.exitStatus(), QProcess::NormalExit); }();
        return process.exitCode();
    }

    static QProcessEnvironment gameEnvironment(std::initializer_list<std::pair<const char*, const char*>> entries)
    {
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
        for (const auto& [name, value] : entries)
            environment.insert(QLatin1String(name), QLatin1String(value));
        return environment;
    }

    // The journal's start line count reaches count (a run started).
    void waitForStarts(qsizetype count)
    {
        QTRY_COMPARE_WITH_TIMEOUT(readJournalLines(scratch.journal()).starts.size(), count, 20000);
    }

    QStringList standInCommand() const
    {
        return {QDir(programDir).filePath(QStringLiteral("tessarine")), QStringLiteral("--log_file=") + logFile};
    }

private slots:
    void init()
    {
        QFile::remove(scratch.journal());
        programDir = scratch.path(QStringLiteral("program"));
        logFile = scratch.path(QStringLiteral("logs/game.log"));
        installStandIn(programDir);
        QVERIFY(QDir().mkpath(scratch.path(QStringLiteral("logs"))));
        QFile::remove(logFile);
    }

    void failingAndCrashingRunsLandInTheJournalWithTheirFields()
    {
        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QProcess supervisorProcess;
        startSupervisor(supervisorProcess, standInCommand(),
                        gameEnvironment({{"TESSARINE_STANDIN_SECONDS", "1"}, {"TESSARINE_STANDIN_EXIT_CODE", "3"}}),
                        programDir);
        const qint64 supervisorPid = supervisorProcess.processId();
        QVERIFY(supervisorProcess.waitForFinished(60000));
        QCOMPARE(supervisorProcess.exitCode(), 3);
        const qint64 gamePid = waitForStandInRecord(logFile).pid;
        const qint64 between = QDateTime::currentMSecsSinceEpoch();

        QFile::remove(logFile);
        QCOMPARE(runSupervisor(standInCommand(), gameEnvironment({{"TESSARINE_STANDIN_SECONDS", "2"},
                                                                  {"TESSARINE_STANDIN_SIGNAL", "11"}})),
                 128 + SIGSEGV);

        const JournalLines lines = readJournalLines(scratch.journal());
        QCOMPARE(lines.starts.size(), 2);
        QCOMPARE(lines.ends.size(), 2);
        const RunStart& first = lines.starts[0];
        QCOMPARE(first.run.bootId, supervisor::readBootId());
        QCOMPARE(qint64(first.run.supervisor.pid), supervisorPid);
        QCOMPARE(qint64(first.run.game.pid), gamePid);
        QVERIFY(first.run.game.startTicks >= first.run.supervisor.startTicks);
        QVERIFY(first.wallMs >= before && first.wallMs <= between);
        QCOMPARE(first.gameRoot, std::string("/games/with space"));
        QVERIFY(lines.ends[0].run == first.run);
        QCOMPARE(lines.ends[0].kind, RunEndKind::Exited);
        QCOMPARE(lines.ends[0].code, 3);
        QVERIFY2(lines.ends[0].durationMs >= 1000 && lines.ends[0].durationMs < 20000,
                 qPrintable(QString::number(lines.ends[0].durationMs)));
        QVERIFY(lines.ends[1].run == lines.starts[1].run);
        QCOMPARE(lines.ends[1].kind, RunEndKind::Signalled);
        QCOMPARE(lines.ends[1].code, SIGSEGV);
        QVERIFY(lines.ends[1].durationMs >= 2000);

        const PlayHistory history = readPlayHistory(scratch.journal());
        QCOMPARE(history.runs, 2);
        QCOMPARE(history.playTimeMs, lines.ends[0].durationMs + lines.ends[1].durationMs);
        const QString crashDuration = runDurationText(lines.ends[1].durationMs);
        QCOMPARE(lastRunOutcomeText(history),
                 QStringLiteral("The last run ended after %1: signal 11 (Segmentation fault).").arg(crashDuration));
        QCOMPARE(playStatusLines(history).last(),
                 QStringLiteral("Last run: ended by signal 11 (Segmentation fault) after %1").arg(crashDuration));
    }

    void theGameGetsExactlyTheCommandFolderAndEnvironmentGiven()
    {
        const QString folder = scratch.path(QStringLiteral("odd folder ü"));
        QVERIFY(QDir().mkpath(folder));
        const QStringList game = standInCommand() + QStringList{QStringLiteral("two words"), QString(),
                                                                QStringLiteral("line\nfeed"), QStringLiteral("--"),
                                                                QStringLiteral("--journal"), QStringLiteral("ünï")};
        QProcessEnvironment environment = gameEnvironment(
            {{"TESSARINE_STANDIN_SECONDS", "60"}, {"SDL_AUDIO_DRIVER", "pulseaudio"}, {"ODD", "a=b=c"}, {"EMPTY", ""}});
        QProcess supervisorProcess;
        startSupervisor(supervisorProcess, game, environment, folder);
        waitForStarts(1);
        const qint64 gamePid = readJournalLines(scratch.journal()).starts[0].run.game.pid;

        QList<QByteArray> expectedArguments;
        for (const QString& argument : game)
            expectedArguments << argument.toUtf8();
        QCOMPARE(procStrings(gamePid, "cmdline"), expectedArguments);
        QList<QByteArray> expectedEnvironment;
        for (const QString& entry : environment.toStringList())
            expectedEnvironment << entry.toUtf8();
        QList<QByteArray> environ = procStrings(gamePid, "environ");
        std::sort(environ.begin(), environ.end());
        std::sort(expectedEnvironment.begin(), expectedEnvironment.end());
        QCOMPARE(environ, expectedEnvironment);
        QCOMPARE(QFileInfo(QStringLiteral("/proc/%1/cwd").arg(gamePid)).symLinkTarget(), QFileInfo(folder).canonicalFilePath());
        QCOMPARE(statField(gamePid, 4), supervisorProcess.processId()); // the game is the supervisor's child

        // SIGTERM reaches the stand-in, which shuts down as it should
        // (removing its shared memory) and exits 0.
        const QString sharedMemory = QStringLiteral("/dev/shm/mirel_memory_%1").arg(gamePid);
        QVERIFY(QFile::exists(sharedMemory));
        supervisorProcess.terminate();
        QVERIFY(supervisorProcess.waitForFinished(20000));
        QCOMPARE(supervisorProcess.exitStatus(), QProcess::NormalExit);
        QCOMPARE(supervisorProcess.exitCode(), 0);
        QVERIFY(!QFile::exists(sharedMemory));
        const JournalLines lines = readJournalLines(scratch.journal());
        QCOMPARE(lines.ends.size(), 1);
        QCOMPARE(lines.ends[0].kind, RunEndKind::Exited);
    }

    void terminationSignalsEndTheGameAndAreRecordedAsSignals_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void terminationSignalsEndTheGameAndAreRecordedAsSignals()
    {
        QFETCH(int, signal);
        // sleep keeps the default actions, so the signal it gets kills it.
        QProcess supervisorProcess;
        startSupervisor(supervisorProcess, {QStringLiteral("sleep"), QStringLiteral("60")}, gameEnvironment({}),
                        programDir);
        waitForStarts(1);
        const qint64 gamePid = readJournalLines(scratch.journal()).starts[0].run.game.pid;
        QCOMPARE(::kill(pid_t(supervisorProcess.processId()), signal), 0);
        QVERIFY(supervisorProcess.waitForFinished(20000));
        QCOMPARE(supervisorProcess.exitStatus(), QProcess::NormalExit);
        QCOMPARE(supervisorProcess.exitCode(), 128 + signal);
        QVERIFY(!processExists(gamePid));

        const JournalLines lines = readJournalLines(scratch.journal());
        QCOMPARE(lines.ends.size(), 1);
        QCOMPARE(lines.ends[0].kind, RunEndKind::Signalled);
        QCOMPARE(lines.ends[0].code, signal);
        QCOMPARE(readPlayHistory(scratch.journal()).lastRun->end, PlayRun::End::Signalled);
    }

    void aTornLineIsSkippedAndTheRunsAroundItCount()
    {
        const supervisor::RunIdentity earlier{"-", {7, 1}, {8, 2}};
        const std::string end = supervisor::formatLine(RunEnd{earlier, RunEndKind::Exited, 0, 60000});
        writeFile(scratch.journal(),
                  QByteArray::fromStdString(supervisor::formatLine(RunStart{earlier, 1000, "/g"}) + end +
                                            end.substr(0, end.size() / 2)));
        QCOMPARE(runSupervisor({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 0")},
                               gameEnvironment({})),
                 0);
        const PlayHistory history = readPlayHistory(scratch.journal());
        QCOMPARE(history.runs, 2);
        QVERIFY(history.playTimeMs >= 60000 && history.playTimeMs < 80000);
        QCOMPARE(history.lastRun->end, PlayRun::End::Exited);
        QCOMPARE(history.lastRun->gameRoot, QStringLiteral("/games/with space"));
    }

    void aGameThatCannotStartOrAWrongCommandLineSaysWhy_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QStringList>("game");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QStringList none;
        const QString notExecutable = scratch.path(QStringLiteral("not-executable"));
        writeFile(notExecutable, "#!/bin/sh\n");
        QTest::newRow("not found") << none << QStringList{QStringLiteral("/nonexistent/tessarine")} << 127
                                   << QStringLiteral("orvello-run: cannot start /nonexistent/tessarine: No such file or directory\n");
        QTest::newRow("not on PATH") << none << QStringList{QStringLiteral("no-such-wrapper"), QStringLiteral("x")} << 127
                                     << QStringLiteral("orvello-run: cannot start no-such-wrapper: No such file or directory\n");
        QTest::newRow("not executable") << none << QStringList{notExecutable} << 126
                                        << QStringLiteral("orvello-run: cannot start %1: Permission denied\n").arg(notExecutable);
        QTest::newRow("detached, not found") << QStringList{QStringLiteral("--detach")}
                                             << QStringList{QStringLiteral("/nonexistent/tessarine")} << 127
                                             << QStringLiteral("orvello-run: cannot start /nonexistent/tessarine: No such file or directory\n");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--play")} << QStringList{QStringLiteral("true")} << 125
                                        << QStringLiteral("orvello-run: unknown option --play\n"
                                                          "usage: orvello-run [--detach] --journal FILE --game-root FOLDER -- PROGRAM [ARGUMENT...]\n");
    }

    void aGameThatCannotStartOrAWrongCommandLineSaysWhy()
    {
        QFETCH(QStringList, options);
        QFETCH(QStringList, game);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QByteArray errors;
        QCOMPARE(runSupervisor(game, gameEnvironment({}), &errors, options), exitCode);
        QCOMPARE(QString::fromUtf8(errors), message);
        QVERIFY(!QFile::exists(scratch.journal()));
    }

    void detachedItReturnsOnceTheGameRunsAndGoesOnSupervising()
    {
        QProcess starter;
        startSupervisor(starter, standInCommand(), gameEnvironment({{"TESSARINE_STANDIN_SECONDS", "60"}}), programDir,
                        {QStringLiteral("--detach")});
        QVERIFY(starter.waitForFinished(20000)); // well before the game's 60 s
        QCOMPARE(starter.exitCode(), 0);
        // The start is in the journal by the time the starter returns.
        const JournalLines lines = readJournalLines(scratch.journal());
        QCOMPARE(lines.starts.size(), 1);
        const qint64 supervisorPid = lines.starts[0].run.supervisor.pid;
        const qint64 gamePid = lines.starts[0].run.game.pid;
        QVERIFY(supervisorPid != starter.processId());
        QVERIFY(processExists(supervisorPid));
        QCOMPARE(statField(supervisorPid, 6), supervisorPid); // a session of its own
        QCOMPARE(statField(gamePid, 4), supervisorPid);
        QCOMPARE(readPlayHistory(scratch.journal()).running.size(), 1);

        // The game is asked to stop only once it has written its record: from
        // then on it handles SIGTERM and exits cleanly, as the real game does.
        QCOMPARE(waitForStandInRecord(logFile).pid, gamePid);
        QCOMPARE(::kill(pid_t(supervisorPid), SIGTERM), 0);
        QTRY_COMPARE_WITH_TIMEOUT(readJournalLines(scratch.journal()).ends.size(), qsizetype(1), 20000);
        const PlayHistory history = readPlayHistory(scratch.journal());
        QVERIFY(history.running.isEmpty());
        QCOMPARE(history.lastRun->end, PlayRun::End::Exited);
        QTRY_VERIFY_WITH_TIMEOUT(!processExists(supervisorPid), 20000);
    }

    void aKilledSupervisorLeavesARunThatEndedUnexpectedly()
    {
        QProcess supervisorProcess;
        startSupervisor(supervisorProcess, {QStringLiteral("sleep"), QStringLiteral("60")}, gameEnvironment({}),
                        programDir);
        waitForStarts(1);
        const qint64 gamePid = readJournalLines(scratch.journal()).starts[0].run.game.pid;
        QCOMPARE(readPlayHistory(scratch.journal()).lastRun->end, PlayRun::End::Running);
        supervisorProcess.kill();
        QVERIFY(supervisorProcess.waitForFinished(20000));
        ::kill(pid_t(gamePid), SIGKILL); // orphaned: nobody else ends it

        const PlayHistory history = readPlayHistory(scratch.journal());
        QCOMPARE(history.runs, 1);
        QCOMPARE(history.playTimeMs, 0);
        QVERIFY(history.running.isEmpty());
        QCOMPARE(playStatusLines(history).last(), QStringLiteral("Last run: ended unexpectedly"));
    }
};

ORVELLO_CORE_TEST_MAIN(TestOrvelloRun)
#include "orvello_run_test.moc"
