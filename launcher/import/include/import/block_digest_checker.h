// BlockDigestChecker: checks runs of 4096-byte package blocks against the
// SHA-1 digests of their hash entries, and adds the bytes of each run to the
// SHA-256 of the file it belongs to (a run that fails ends its file, whose
// digest is then dropped). A run is started on the checker's own thread
// while the extraction writes the run before it; when the extraction comes
// back for the result, it checks the blocks that no thread has taken yet
// instead of waiting idle, so the hashing is shared by both cores whichever
// of them is ahead.
#pragma once

#include "import/sha_digest.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <thread>

// One run to check: `count` blocks at `blocks`, with one 24-byte hash entry
// per block in `entries` (the digest in its first 20 bytes).
struct BlockRun {
    const char* blocks = nullptr;
    int count = 0;
    QByteArray entries;
    bool checkBlocks = true;           // false: only the file digest is taken
    sha::Sha256* fileDigest = nullptr; // when set, receives the first fileBytes bytes
    qint64 fileBytes = 0;
};

class BlockDigestChecker {
public:
    BlockDigestChecker() = default;
    // Waits for a check still running.
    ~BlockDigestChecker();
    BlockDigestChecker(const BlockDigestChecker&) = delete;
    BlockDigestChecker& operator=(const BlockDigestChecker&) = delete;

    // Checks the run on the calling thread: the index of the first block
    // that does not match its digest, or -1 (the file digest then has the
    // run's bytes).
    static int check(const BlockRun& run);

    // Starts checking the run on the checker's thread. The run's blocks and
    // digest must stay untouched until wait() returns. One run at a time.
    void start(BlockRun run);
    // The result of the run started last, as check() gives it. The calling
    // thread checks the blocks not yet taken, then waits for the rest.
    int wait();

private:
    void serve();
    // Waits for the run after the `seen` first ones; false when stopping
    // with none.
    bool awaitRun(unsigned seen);
    // Checks blocks of the current run, the next one not yet taken each
    // time, until none is left or one before them did not match.
    void takeBlocks();

    static constexpr int kNoMismatch = std::numeric_limits<int>::max();

    std::mutex mutex;  // for sleeping on `changed` only
    std::condition_variable changed;
    std::thread worker;  // started with the first run
    std::atomic<bool> stopping{false};
    std::atomic<unsigned> started{0};   // runs handed over
    std::atomic<unsigned> finished{0};  // of them, those the worker is done with
    BlockRun current;
    std::atomic<int> nextBlock{0};
    std::atomic<int> firstMismatch{kNoMismatch};
};
