// DurableReplacements: syncfs once per batch and file system, on a thread of
// its own, then one rename per copy on the owner's thread.
#include "import/durable_replacements.h"

#include "core/failure.h"
#include "core/system_reason.h"

#include <QFile>
#include <QSet>
#include <QThread>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Flushes the file system of one file or folder; 0 or the errno.
int syncFileSystemOf(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno;
    const int failure = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return failure;
}

// Flushes every file system that one of the files lies on, once each; the
// reason of the first failure, or "". A file that is not there has nothing
// to flush: its rename then fails and says why.
QString flushFileSystemsOf(const QList<QByteArray>& files)
{
    QSet<dev_t> flushed;
    for (const QByteArray& file : files) {
        struct stat status {};
        if (::stat(file.constData(), &status) != 0 || flushed.contains(status.st_dev))
            continue;
        if (const int failure = syncFileSystemOf(file))
            return reasonText(failure);
        flushed.insert(status.st_dev);
    }
    return {};
}

std::filesystem::path nativePath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

} // namespace

bool flushFileSystem(const QString& path, QString* reason)
{
    const int failure = syncFileSystemOf(QFile::encodeName(path));
    if (failure && reason)
        *reason = reasonText(failure);
    return failure == 0;
}

bool flushFolderToDisk(const QString& folder, Durability durability, QString* error)
{
    QString reason;
    if (durability == Durability::Unflushed || flushFileSystem(folder, &reason))
        return true;
    return fail(error, withReason(QStringLiteral("Cannot write %1 to disk").arg(folder), reason));
}

DurableReplacements::DurableReplacements(Durability durability, Finished finished)
    : durability(durability), finished(std::move(finished))
{
    nextFlush.setSingleShot(true);
    connect(&nextFlush, &QTimer::timeout, this, &DurableReplacements::scheduleFlush);
}

DurableReplacements::~DurableReplacements()
{
    if (flusher)
        flusher->wait();
}

void DurableReplacements::add(const Replacement& replacement)
{
    if (durability == Durability::Unflushed) {
        replace(replacement, QString());
        return;
    }
    waiting.push_back(replacement);
    scheduleFlush();
}

void DurableReplacements::flushWhatWaits()
{
    hurry = true;
    nextFlush.stop();
    scheduleFlush();
}

// Starts a flush of what waits, unless one runs (its end calls this again)
// or the last one began less than the interval ago (the timer calls this
// again).
void DurableReplacements::scheduleFlush()
{
    if (flusher || waiting.empty() || nextFlush.isActive())
        return;
    const qint64 wait = sinceLastFlush.isValid() ? kFlushIntervalMs - sinceLastFlush.elapsed() : 0;
    if (wait > 0 && !hurry) {
        nextFlush.start(int(wait));
        return;
    }
    startFlush();
}

void DurableReplacements::startFlush()
{
    sinceLastFlush.start();
    flushing.swap(waiting);
    QList<QByteArray> copies;
    for (const Replacement& replacement : flushing)
        copies << QFile::encodeName(replacement.copy);
    flushFailure.clear();
    flusher.reset(QThread::create([this, copies] { flushFailure = flushFileSystemsOf(copies); }));
    // Queued to this object's thread: the renames run there, between the
    // caller's other events.
    connect(flusher.get(), &QThread::finished, this, &DurableReplacements::flushEnded);
    flusher->start();
}

void DurableReplacements::flushEnded()
{
    flusher->wait();
    flusher.reset();
    std::vector<Replacement> flushed;
    flushed.swap(flushing);
    scheduleFlush(); // for the copies that came during this flush
    for (const Replacement& replacement : flushed)
        replace(replacement, flushFailure);
}

// One rename over the target: at no moment is neither copy present.
void DurableReplacements::replace(const Replacement& replacement, const QString& flushFailure)
{
    std::error_code error;
    if (flushFailure.isEmpty())
        std::filesystem::rename(nativePath(replacement.copy), nativePath(replacement.target), error);
    if (flushFailure.isEmpty() && !error) {
        finished(replacement, QString());
        return;
    }
    std::error_code ignored;
    std::filesystem::remove(nativePath(replacement.copy), ignored);
    const QString message = !flushFailure.isEmpty()
        ? withReason(QStringLiteral("Cannot write the decoded copy of %1 to disk").arg(replacement.relativePath),
                     flushFailure)
        : withReason(QStringLiteral("Cannot replace %1 with its decoded copy").arg(replacement.relativePath),
                     reasonText(error));
    finished(replacement, message);
}
