// hashFiles: workers take the next file from a shared counter; the calling
// thread only watches, reporting progress and passing on a stop request.
#include "import/file_hashing.h"

#include "import/import_interruption.h"
#include "import/sha_digest.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Large enough that a read costs little beside the hashing, small enough to
// stay in the core's cache between the read and the hash.
constexpr qint64 kPieceSize = 256 * 1024;
constexpr int kHeadSize = 4;
constexpr auto kReportInterval = std::chrono::milliseconds(40);

struct SharedWork {
    SharedWork(const QStringList& paths, QList<FileHash>& results) : paths(paths), results(results) {}

    const QStringList& paths;
    QList<FileHash>& results;
    std::atomic<qsizetype> nextFile{0};
    std::atomic<qint64> filesDone{0};
    std::atomic<qint64> bytesDone{0};
    std::atomic<qsizetype> lastStarted{-1};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable workerEnded;
    int workersRunning = 0;
};

FileHash hashOne(const QString& path, SharedWork& work, std::vector<char>& piece)
{
    FileHash hash;
    const QFileInfo info(path);
    if (!info.exists())
        return hash;  // Missing
    if (!info.isFile()) {
        hash.outcome = FileHash::Outcome::Unreadable;
        hash.reason = QStringLiteral("not a regular file");
        return hash;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        hash.outcome = file.exists() ? FileHash::Outcome::Unreadable : FileHash::Outcome::Missing;
        hash.reason = file.errorString();
        return hash;
    }
    sha::Sha256 digest;
    for (;;) {
        if (work.stop.load(std::memory_order_relaxed))
            return hash;
        const qint64 got = file.read(piece.data(), kPieceSize);
        if (got < 0) {
            hash.outcome = FileHash::Outcome::Unreadable;
            hash.reason = file.errorString();
            return hash;
        }
        if (got == 0)
            break;
        if (hash.size == 0)
            hash.head = QByteArray(piece.data(), std::min<qint64>(got, kHeadSize));
        digest.add(piece.data(), got);
        hash.size += got;
        work.bytesDone.fetch_add(got, std::memory_order_relaxed);
    }
    hash.outcome = FileHash::Outcome::Hashed;
    hash.sha256 = digest.hexDigest();
    return hash;
}

void runWorker(SharedWork& work)
{
    std::vector<char> piece(kPieceSize);
    for (;;) {
        const qsizetype index = work.nextFile.fetch_add(1);
        if (index >= work.paths.size() || work.stop.load())
            break;
        work.lastStarted.store(index, std::memory_order_relaxed);
        work.results[index] = hashOne(work.paths[index], work, piece);
        work.filesDone.fetch_add(1, std::memory_order_relaxed);
    }
    std::lock_guard lock(work.mutex);
    --work.workersRunning;
    work.workerEnded.notify_all();
}

qint64 totalSize(const QStringList& paths)
{
    qint64 total = 0;
    for (const QString& path : paths)
        total += QFileInfo(path).size();
    return total;
}

} // namespace

bool hashFiles(const QStringList& paths, QList<FileHash>* results, const HashProgressFn& progress)
{
    results->clear();
    results->resize(paths.size());
    SharedWork work(paths, *results);
    const qint64 bytesTotal = progress ? totalSize(paths) : 0;
    const auto report = [&] {
        if (!progress)
            return;
        const qsizetype last = work.lastStarted.load();
        progress(HashProgress{work.filesDone.load(), paths.size(), work.bytesDone.load(), bytesTotal,
                              last >= 0 ? paths[last] : QString()});
    };

    const int workerCount = int(std::min<qsizetype>(std::max(1, QThread::idealThreadCount()), paths.size()));
    std::vector<std::thread> workers;
    work.workersRunning = workerCount;
    for (int i = 0; i < workerCount; ++i)
        workers.emplace_back([&work] { runWorker(work); });
    // The first report comes at once, so that a dialog shows the count
    // before the first file is done.
    {
        std::unique_lock lock(work.mutex);
        for (;;) {
            lock.unlock();
            report();
            if (importInterruptionRequested())
                work.stop.store(true);
            lock.lock();
            if (work.workerEnded.wait_for(lock, kReportInterval, [&work] { return work.workersRunning == 0; }))
                break;
        }
    }
    for (std::thread& worker : workers)
        worker.join();
    report();
    return !work.stop.load();
}
