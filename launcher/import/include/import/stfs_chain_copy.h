// ChainCopier: copies the bytes of one file's block chain from an opened
// STFS package to an output device, bounding the chain, reading runs of
// consecutive blocks in one go and checking every block against the SHA-1
// digest of its hash entry before it is written.
#pragma once

#include "import/block_digest_checker.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

class ChainCopier {
public:
    ChainCopier(StfsReader& reader, BlockChecks checks);

    // Starts the walk of the entry's chain, and reads and starts checking
    // its first run ahead, so that the check runs while the output file is
    // being opened. Call before opening it, then copy() or abandon().
    void begin(const StfsEntry& entry, const QString& relativePath, sha::Sha256* fileDigest);
    // Writes the entry's size in bytes, gathered along its chain, to out,
    // and adds them to fileDigest when given. Failures and their messages,
    // and what was written before them, are exactly those of a walk that
    // reads, checks and writes one block and reads one hash entry at a time:
    // no block that fails its check is written.
    bool copy(QFile& out, QString* error);
    // For an entry whose output could not be opened: what begin() started
    // is waited for and dropped.
    void abandon();

private:
    enum class Verdict { Accept, EndsEarly, Reused };

    // Where the walk of the file being copied stands.
    struct Walk {
        quint32 block = 0;     // the next block to take
        qint64 remaining = 0;  // bytes still to gather
        quint64 written = 0;   // blocks taken so far
        quint64 limit = 0;     // blocks the chain may take at most
    };

    // A run that was read and is being checked on the checker's thread;
    // it is written once the check passes, while the next run is checked.
    struct PendingRun {
        const QByteArray* buffer = nullptr;  // nullptr: none
        quint32 firstBlock = 0;
        qint64 count = 0;  // bytes of it to write
    };

    Verdict judge(quint32 block, quint64 written, quint64 limit);
    bool loadTable(quint32 group);
    quint32 cachedLink(quint32 block) const;
    QByteArray cachedEntries(quint32 block, quint32 run) const;
    quint32 runLength(quint32 block, qint64 remaining, quint64 written, quint64 limit) const;
    void claimRun(quint32 block, quint32 run);
    void readFirstRunAhead();
    void stepPastRun(quint32 run);
    bool queueRun(const QByteArray& buffer, quint32 block, quint32 run, qint64 count, bool lastRun, QFile& out,
                  QString* error);
    bool finishPendingRun(QFile& out, QString* error);
    bool writeOut(QFile& out, const QByteArray& bytes, qint64 count, QString* error);
    bool copyRunBlockByBlock(quint32 block, quint32 run, qint64* remaining, QFile& out, QString* error);
    bool copyBlockWithoutTable(quint32 block, qint64* remaining, QFile& out, quint32* next, QString* error);
    BlockRun blockRun(const QByteArray& buffer, quint32 block, quint32 run, qint64 count) const;
    bool damaged(quint32 block, QString* error) const;
    bool damagedInRun(QFile& out, const QByteArray& buffer, quint32 firstBlock, int mismatch, qint64 count,
                      QString* error);

    StfsReader& reader;
    const BlockChecks checks;
    // In a sound package every block belongs to one chain; a block read twice
    // means a loop or two chains sharing blocks. Refusing it bounds the
    // output by the package's size. Blocks beyond the file are not tracked:
    // reading them fails anyway.
    std::vector<bool> claimed;
    qint64 cachedGroup = -1;
    QByteArray table;       // level-0 hash table of cachedGroup
    QByteArray buffers[2];  // the run being read, and the one being checked
    int readBuffer = 0;     // index of the buffer the next run is read into
    PendingRun pending;
    Walk walk;
    BlockDigestChecker checker;
    QString path;  // of the file being copied, for the messages
    sha::Sha256* fileDigest = nullptr;  // of the file being copied, when asked for
};
