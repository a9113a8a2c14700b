// bench_idle: what following the play journal costs an idle launcher. It
// starts the launcher's window (offscreen) on a scratch home with the game,
// lets it settle, and counts the voluntary context switches of all its
// threads (the sum of voluntary_ctxt_switches over /proc/<pid>/task/*/status)
// over a quiet spell, twice in one run: with no game, then with the game
// running under orvello-run, when the window watches the journal with
// inotify and the supervisor with a pidfd. Each wake-up of a thread that
// sleeps is one voluntary switch. Goal: no more wake-ups with the game
// running than without.
//   bench_idle [--seconds N]   (default 10)
#include "bench_home.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

struct ThreadCounts {
    int threads = 0;
    long long voluntarySwitches = 0;
};

ThreadCounts countThreads(qint64 pid)
{
    ThreadCounts counts;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        ++counts.threads;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("voluntary_ctxt_switches:"))
                counts.voluntarySwitches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return counts;
}

// The process's open pidfds: one per supervisor the window watches.
int countPidfds(qint64 pid)
{
    int pidfds = 0;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString& fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[256] = {};
        const QByteArray path = QFile::encodeName(fds.filePath(fd));
        if (::readlink(path.constData(), target, sizeof target - 1) > 0 && std::strstr(target, "[pidfd]"))
            ++pidfds;
    }
    return pidfds;
}

void report(const char* what, qint64 pid, int seconds)
{
    const ThreadCounts before = countThreads(pid);
    QThread::sleep(seconds);
    const ThreadCounts after = countThreads(pid);
    std::printf("%-34s %3d threads, %4lld voluntary context switches in %d s, %d pidfd(s) open\n", what,
                after.threads, after.voluntarySwitches - before.voluntarySwitches, seconds, countPidfds(pid));
}

QString binFile(const char* name)
{
    return QDir(QStringLiteral(ORVELLO_BIN_DIR)).filePath(QLatin1String(name));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype secondsAt = args.indexOf(QStringLiteral("--seconds"));
    const int seconds = secondsAt > 0 && secondsAt + 1 < args.size() ? std::max(1, args[secondsAt + 1].toInt()) : 10;

    QTemporaryDir home(QStringLiteral(ORVELLO_BENCH_SCRATCH "/idle-XXXXXX"));
    populateBenchHome(home.path(), 0);
    const QString root = QDir(home.path()).filePath(QStringLiteral("Games/zz-TessarineVandryLive"));
    const QString runtime = QDir(home.path()).filePath(QStringLiteral(".runtime"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_STATE_HOME"})
        environment.remove(QLatin1String(name));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home.path()).filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);

    QProcess launcher;
    launcher.setProgram(binFile("orvello-launcher"));
    launcher.setProcessEnvironment(environment);
    launcher.setWorkingDirectory(home.path());
    launcher.setProcessChannelMode(QProcess::ForwardedChannels);
    launcher.start();
    if (!launcher.waitForStarted())
        qFatal("cannot start %s", qPrintable(launcher.program()));
    QThread::sleep(3); // the window drawn, the game found, the journal watched
    report("idle, no game:", launcher.processId(), seconds);

    // A run as PLAY or Steam's --play starts it: orvello-run in the
    // background, recording into the launcher's journal.
    QProcess start;
    QProcessEnvironment gameEnvironment = environment;
    gameEnvironment.insert(QStringLiteral("TESSARINE_STANDIN_SECONDS"), QString::number(seconds * 3 + 10));
    start.setProcessEnvironment(gameEnvironment);
    start.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString journal =
        QDir(home.path()).filePath(QStringLiteral(".local/state/Velmarch/Orvello Launcher/play-journal"));
    start.start(binFile("orvello-run"), {QStringLiteral("--detach"), QStringLiteral("--journal"), journal,
                                         QStringLiteral("--game-root"), root, QStringLiteral("--"),
                                         QDir(root).filePath(QStringLiteral("tessarine"))});
    if (!start.waitForFinished() || start.exitCode() != 0)
        qFatal("orvello-run did not start the game");
    QThread::sleep(2); // the start line read, the supervisor's pidfd open
    report("idle, the game running:", launcher.processId(), seconds);

    // The game's end: the supervisor writes its end line and exits.
    QFile journalFile(journal);
    journalFile.open(QIODevice::ReadOnly);
    const QList<QByteArray> words = journalFile.readLine().split(' ');
    for (const QByteArray& word : words)
        if (word.startsWith("supervisor="))
            ::kill(pid_t(word.mid(11).split(':').value(0).toLongLong()), SIGTERM);
    launcher.terminate();
    launcher.waitForFinished();
    return 0;
}
