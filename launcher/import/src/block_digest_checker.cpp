// BlockDigestChecker: one worker thread, handed one run at a time; the
// blocks of a run go to whichever thread asks for the next one first.
//
// Runs follow each other within tens of microseconds, a file's creation
// apart. A thread that went to sleep between them takes longer than that to
// wake on a virtual machine, so both sides spin for a little while before
// they sleep.
#include "import/block_digest_checker.h"

#include "import/block_sha1.h"
#include "import/stfs_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

constexpr auto kSpinTime = std::chrono::microseconds(200);

void relaxCpu()
{
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Spins until `ready` holds or kSpinTime has passed; the clock is read only
// now and then.
template <typename Ready>
bool spinUntil(Ready ready)
{
    const auto deadline = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (ready())
                return true;
            relaxCpu();
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return ready();
    }
}

static_assert(sha::kPackageBlockSize == StfsReader::kBlockSize);

// The first of `count` blocks from `first` on that does not match its
// digest, or -1.
int firstMismatchIn(const BlockRun& run, int first, int count)
{
    sha::Sha1 digests[sha::kBlockLanes];
    for (int done = 0; done < count;) {
        const int step = std::min(count - done, sha::kBlockLanes);
        const int index = first + done;
        sha::blockSha1s(run.blocks + qsizetype(StfsReader::kBlockSize) * index, step, digests);
        for (int i = 0; i < step; ++i) {
            const char* expected = run.entries.constData() + StfsReader::kHashEntrySize * (index + i);
            if (std::memcmp(digests[i].data(), expected, sha::kSha1Size) != 0)
                return index + i;
        }
        done += step;
    }
    return -1;
}

} // namespace

int BlockDigestChecker::check(const BlockRun& run)
{
    if (run.checkBlocks) {
        const int mismatch = firstMismatchIn(run, 0, run.count);
        if (mismatch >= 0)
            return mismatch;
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
        stopping.store(true);
    }
    changed.notify_all();
    worker.join();
}

void BlockDigestChecker::start(BlockRun run)
{
    current = std::move(run);
    nextBlock.store(current.checkBlocks ? 0 : current.count, std::memory_order_relaxed);
    firstMismatch.store(kNoMismatch, std::memory_order_relaxed);
    {
        // Under the lock, so that a worker about to sleep sees the run first.
        std::lock_guard lock(mutex);
        started.fetch_add(1, std::memory_order_release);
    }
    if (!worker.joinable())
        worker = std::thread([this] { serve(); });
    changed.notify_all();
}

// Blocks are taken as many at a time as are hashed side by side. Blocks
// after a mismatch are not taken; those before it that another thread holds
// are finished, so the lowest mismatch is the one reported.
void BlockDigestChecker::takeBlocks()
{
    for (;;) {
        const int first = nextBlock.fetch_add(sha::kBlockLanes, std::memory_order_relaxed);
        if (first >= current.count || first > firstMismatch.load(std::memory_order_relaxed))
            return;
        const int index = firstMismatchIn(current, first, std::min(sha::kBlockLanes, current.count - first));
        if (index >= 0) {
            int lowest = firstMismatch.load(std::memory_order_relaxed);
            while (index < lowest && !firstMismatch.compare_exchange_weak(lowest, index, std::memory_order_relaxed)) {
            }
            return;
        }
    }
}

int BlockDigestChecker::wait()
{
    takeBlocks();
    const auto workerDone = [this] {
        return finished.load(std::memory_order_acquire) == started.load(std::memory_order_relaxed);
    };
    if (!spinUntil(workerDone)) {
        std::unique_lock lock(mutex);
        changed.wait(lock, workerDone);
    }
    const int mismatch = firstMismatch.load(std::memory_order_relaxed);
    return mismatch == kNoMismatch ? -1 : mismatch;
}

bool BlockDigestChecker::awaitRun(unsigned seen)
{
    const auto ready = [this, seen] {
        return started.load(std::memory_order_acquire) != seen || stopping.load(std::memory_order_relaxed);
    };
    if (!spinUntil(ready)) {
        std::unique_lock lock(mutex);
        changed.wait(lock, ready);
    }
    return started.load(std::memory_order_acquire) != seen;
}

// A run handed over before the destructor asked to stop is still checked.
// The file digest, which cannot be shared, is taken first, while the
// extraction is still writing; a run that fails is not kept, so it does not
// matter that its bytes went into the digest.
void BlockDigestChecker::serve()
{
    for (unsigned seen = 0; awaitRun(seen);) {
        ++seen;
        if (current.fileDigest)
            current.fileDigest->add(current.blocks, current.fileBytes);
        takeBlocks();
        {
            std::lock_guard lock(mutex);
            finished.store(seen, std::memory_order_release);
        }
        changed.notify_all();
    }
}
