// One launcher window per user, with real launcher processes on a scratch
// home (windows offscreen): a plain start while a launcher runs is handed
// to it and ends at once; every command runs in its own process all the
// same; a launcher that does not answer is reported; the socket a killed
// launcher leaves behind blocks no later start.
#include "launcher_process.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QProcess>

#include <memory>
#include <utility>

#include <csignal>

#include <sys/stat.h>

using namespace testing_support;

namespace {

constexpr int kStartTimeoutMs = 30000;

// Which socket file is there: its inode and change time (a new file may get
// the inode of the one just removed, not its change time); none while there
// is no socket.
using SocketFile = std::pair<quint64, qint64>;
const SocketFile kNoSocket{0, 0};

SocketFile socketIdentity(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISSOCK(status.st_mode))
        return kNoSocket;
    return {quint64(status.st_ino), qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec};
}

} // namespace

class TestSingleInstance : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<QProcess> running;

    QString socketPath() const { return launcherRuntimeFolder(*home) + QStringLiteral("/orvello-launcher.socket"); }

    LauncherStart withWindow() const
    {
        LauncherStart start;
        start.environment = launcherEnvironment(*home);
        start.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return start;
    }

    // A plain start that stays: it answers on a socket other than
    // staleSocket (the one a killed launcher left).
    void startWindow(SocketFile staleSocket = kNoSocket)
    {
        running = std::make_unique<QProcess>();
        startLauncher(*running, *home, {}, withWindow());
        QVERIFY2(running->waitForStarted(), qPrintable(running->errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(socketIdentity(socketPath()) != kNoSocket && socketIdentity(socketPath()) != staleSocket,
                                 kStartTimeoutMs);
    }

    // As a crash ends it: its socket file stays.
    void killWindow()
    {
        running->kill();
        QVERIFY(running->waitForFinished(kStartTimeoutMs));
    }

private slots:
    void init() { home = std::make_unique<ScratchHome>(); }
    void cleanup()
    {
        if (running && running->state() != QProcess::NotRunning) {
            running->kill();
            running->waitForFinished(kStartTimeoutMs);
        }
        running.reset();
        home.reset();
    }

    // The second start asks the first, which brings its window to the
    // front and answers; only on that answer does the second end with 0.
    void aSecondPlainStartIsHandedToTheRunningLauncher()
    {
        startWindow();
        if (QTest::currentTestFailed())
            return;
        const SocketFile socket = socketIdentity(socketPath());
        for (int start = 0; start < 2; ++start) {
            const LauncherRun second = runLauncher(*home, {}, withWindow());
            QCOMPARE(second.exitStatus, 0);
            QCOMPARE(second.err, QString());
            QCOMPARE(second.out, QString());
            QCOMPARE(running->state(), QProcess::Running); // the one launcher left
            QCOMPARE(socketIdentity(socketPath()), socket);   // still the first's
        }
    }

    void commandsRunInTheirOwnProcess_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitStatus");
        QTest::addColumn<QString>("out"); // the start of standard output
        QTest::addColumn<QString>("err"); // the start of standard error
        QTest::newRow("--status") << QStringList{"--status"} << 1 << "Status: not found\n" << "";
        QTest::newRow("--play") << QStringList{"--play"} << 1 << ""
                                << "Launch failed: No game data found. Import the game first";
        QTest::newRow("--import") << QStringList{"--import", "missing.pkg"} << 1 << ""
                                  << "Could not read package:\nCannot open ";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage: " << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Orvello Launcher " << "";
    }

    // Each gives its own output and exit status while a window runs for the
    // same user (the same runtime folder).
    void commandsRunInTheirOwnProcess()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitStatus);
        QFETCH(QString, out);
        QFETCH(QString, err);
        startWindow();
        if (QTest::currentTestFailed())
            return;
        // Without a display, as from a terminal or SSH, so that no failure
        // waits on a desktop notice.
        const LauncherRun run = runLauncher(*home, arguments);
        QCOMPARE(run.exitStatus, exitStatus);
        QVERIFY2(out.isEmpty() ? run.out.isEmpty() : run.out.startsWith(out), qPrintable(run.out));
        QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.startsWith(err), qPrintable(run.err));
        QCOMPARE(running->state(), QProcess::Running);
    }

    // A launcher that holds the socket but no longer answers (stopped, as
    // in a debugger) is reported, and no second window opens.
    void aLauncherThatDoesNotAnswerIsReported()
    {
        startWindow();
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(::kill(pid_t(running->processId()), SIGSTOP), 0);
        const LauncherRun second = runLauncher(*home, {}, withWindow());
        QCOMPARE(::kill(pid_t(running->processId()), SIGCONT), 0);
        QCOMPARE(second.exitStatus, 1);
        QCOMPARE(second.err, QStringLiteral("Orvello Launcher is already running, but its window does not answer. "
                                            "Close it, or end it if it hangs, and start the launcher again.\n"));
        // Woken again, it answers the next start.
        QCOMPARE(runLauncher(*home, {}, withWindow()).exitStatus, 0);
    }

    // A killed launcher leaves its socket file; the next start replaces it
    // and then answers the starts after it.
    void theSocketOfAKilledLauncherIsReplaced()
    {
        startWindow();
        if (QTest::currentTestFailed())
            return;
        killWindow();
        const SocketFile stale = socketIdentity(socketPath());
        QVERIFY2(stale != kNoSocket, "the killed launcher's socket file is gone: nothing left to test");

        startWindow(stale);
        if (QTest::currentTestFailed())
            return;
        const LauncherRun second = runLauncher(*home, {}, withWindow());
        QCOMPARE(second.exitStatus, 0);
        QCOMPARE(second.err, QString());
        QCOMPARE(running->state(), QProcess::Running);
    }
};

ORVELLO_CORE_TEST_MAIN(TestSingleInstance)
#include "single_instance_test.moc"
