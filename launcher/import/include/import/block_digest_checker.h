// BlockDigestChecker: checks runs of 4096-byte package blocks against the
// SHA-1 digests of their hash entries, and adds the bytes of the runs that
// pass to the SHA-256 of the file they belong to, on a thread of its own:
// the extraction writes one run while the next one is checked.
#pragma once

#include "import/sha_digest.h"

#include <QByteArray>

#include <condition_variable>
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

    // Starts check() on the checker's thread. The run's blocks and digest
    // must stay untouched until wait() returns. One run at a time.
    void start(BlockRun run);
    // The result of the run started last.
    int wait();

private:
    void serve();

    std::mutex mutex;
    std::condition_variable changed;
    std::thread worker;  // started with the first run
    bool stopping = false;
    bool busy = false;
    BlockRun current;
    int result = -1;
};
