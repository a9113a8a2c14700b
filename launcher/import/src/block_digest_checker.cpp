// BlockDigestChecker: one worker thread, handed one run at a time.
#include "import/block_digest_checker.h"

#include "import/stfs_reader.h"

#include <utility>

int BlockDigestChecker::check(const BlockRun& run)
{
    if (run.checkBlocks) {
        for (int i = 0; i < run.count; ++i) {
            const auto* expected = reinterpret_cast<const uchar*>(run.entries.constData()) + StfsReader::kHashEntrySize * i;
            if (!sha::sha1Matches(run.blocks + StfsReader::kBlockSize * i, StfsReader::kBlockSize, expected))
                return i;
        }
    }
    if (run.fileDigest)
        run.fileDigest->add(run.blocks, run.fileBytes);
    return -1;
}

BlockDigestChecker::~BlockDigestChecker()
{
    if (!worker.joinable())
        return;
    {
        std::lock_guard lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

void BlockDigestChecker::start(BlockRun run)
{
    {
        std::lock_guard lock(mutex);
        current = std::move(run);
        busy = true;
    }
    if (!worker.joinable())
        worker = std::thread([this] { serve(); });
    changed.notify_all();
}

int BlockDigestChecker::wait()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !busy; });
    return result;
}

// A run handed over before the destructor asked to stop is still checked.
void BlockDigestChecker::serve()
{
    std::unique_lock lock(mutex);
    for (;;) {
        changed.wait(lock, [this] { return busy || stopping; });
        if (!busy)
            return;
        lock.unlock();
        const int mismatch = check(current);
        lock.lock();
        result = mismatch;
        busy = false;
        changed.notify_all();
    }
}
