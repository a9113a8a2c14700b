// Watching the play journal and the supervisors of the runs going.
#include "core/play_journal_watch.h"

#include <QDir>
#include <QFileInfo>
#include <QSocketNotifier>

#include <sys/syscall.h>
#include <unistd.h>

#include <set>
#include <string>

namespace {

// A descriptor that becomes readable when the process ends, or -1 (no such
// process, or a kernel before 5.3).
int openProcessDescriptor(long pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    (void)pid;
    return -1;
#endif
}

// The folders to watch for the journal to appear or be replaced: its own
// when it exists, otherwise the nearest existing parent.
QString watchedFolder(const QString& journalPath)
{
    QString folder = QFileInfo(journalPath).absolutePath();
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).absolutePath();
        if (parent == folder)
            return {};
        folder = parent;
    }
    return folder;
}

} // namespace

struct PlayJournalWatch::SupervisorExit {
    explicit SupervisorExit(int fd) : descriptor(fd), notifier(fd, QSocketNotifier::Read) {}
    ~SupervisorExit() { ::close(descriptor); }
    SupervisorExit(const SupervisorExit&) = delete;
    SupervisorExit& operator=(const SupervisorExit&) = delete;

    int descriptor;
    QSocketNotifier notifier;
};

PlayJournalWatch::PlayJournalWatch(const QString& journalPath, QObject* parent)
    : QObject(parent), journalPath_(journalPath)
{
    connect(&files_, &QFileSystemWatcher::fileChanged, this, &PlayJournalWatch::reread);
    connect(&files_, &QFileSystemWatcher::directoryChanged, this, &PlayJournalWatch::reread);
    watchJournalPaths();
    history_ = readPlayHistory(journalPath_);
    watchSupervisors();
}

PlayJournalWatch::~PlayJournalWatch() = default;

void PlayJournalWatch::reread()
{
    // Watched again first: a line that lands while the journal is read is
    // then told by a later event rather than lost.
    watchJournalPaths();
    history_ = readPlayHistory(journalPath_);
    watchSupervisors();
    emit historyChanged(history_);
}

// The journal's file is watched anew each time: a compaction replaces it by
// another file (another inode) at the same path.
void PlayJournalWatch::watchJournalPaths()
{
    const QStringList watched = files_.files() + files_.directories();
    if (!watched.isEmpty())
        files_.removePaths(watched);
    QStringList paths;
    if (QFileInfo(journalPath_).isFile())
        paths << journalPath_;
    const QString folder = watchedFolder(journalPath_);
    if (!folder.isEmpty())
        paths << folder;
    if (!paths.isEmpty())
        files_.addPaths(paths);
}

void PlayJournalWatch::watchSupervisors()
{
    std::set<RunKey> running;
    bool someEnded = false;
    for (const PlayRun& run : history_.running) {
        const RunKey key{run.identity.bootId, run.identity.supervisor.pid, run.identity.supervisor.startTicks};
        running.insert(key);
        if (supervisors_.count(key) == 0 && !watchSupervisor(run))
            someEnded = true;
    }
    for (auto it = supervisors_.begin(); it != supervisors_.end();)
        it = running.count(it->first) ? std::next(it) : supervisors_.erase(it);
    // Ended between the reading and the pidfd: read once more, now that
    // its run reads as ended.
    if (someEnded)
        history_ = readPlayHistory(journalPath_);
}

// Returns false when the supervisor has ended already.
bool PlayJournalWatch::watchSupervisor(const PlayRun& run)
{
    const int fd = openProcessDescriptor(run.identity.supervisor.pid);
    if (fd < 0) // gone, or a kernel without pidfds: then its end line is all there is to go by
        return supervisorStillRuns(run.identity);
    // The pid may have gone to another process between the reading and the
    // opening: the descriptor counts only if it is still the supervisor.
    if (!supervisorStillRuns(run.identity)) {
        ::close(fd);
        return false;
    }
    const RunKey key{run.identity.bootId, run.identity.supervisor.pid, run.identity.supervisor.startTicks};
    auto exit = std::make_unique<SupervisorExit>(fd);
    QSocketNotifier* notifier = &exit->notifier;
    connect(notifier, &QSocketNotifier::activated, this, [this, key, notifier] {
        // The descriptor stays readable: told once, then let go after the
        // notifier's own signal has returned.
        notifier->setEnabled(false);
        QMetaObject::invokeMethod(this, [this, key] {
            supervisors_.erase(key);
            reread();
        }, Qt::QueuedConnection);
    });
    supervisors_.emplace(key, std::move(exit));
    return true;
}
