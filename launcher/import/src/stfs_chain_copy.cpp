// ChainCopier: the chain walk of the extraction. The level-0 table of a group
// of 170 blocks is read once, and blocks that link to their neighbour within
// the group (consecutive slots) are read, checked and written as one run.
// While one run is written, the next one is checked on another core, and a
// file's first run is checked while the file is being created: the check
// then costs little more than the copy alone.
#include "import/stfs_chain_copy.h"

#include "core/failure.h"
#include "core/system_reason.h"

#include <algorithm>
#include <utility>

namespace {

constexpr quint32 kBlocksPerGroup = StfsReader::kBlocksPerHashTable;
constexpr int kHashEntrySize = StfsReader::kHashEntrySize;

} // namespace

ChainCopier::ChainCopier(StfsReader& reader, BlockChecks checks)
    : reader(reader), checks(checks), claimed(std::min(reader.allocatedBlocks, reader.blocksInFile()), false)
{
}

ChainCopier::Verdict ChainCopier::judge(quint32 block, quint64 written, quint64 limit)
{
    if (block == StfsReader::kChainEnd || block >= reader.allocatedBlocks || written > limit)
        return Verdict::EndsEarly;
    if (block < claimed.size()) {
        if (claimed[block])
            return Verdict::Reused;
        claimed[block] = true;
    }
    return Verdict::Accept;
}

// The table lies before the group's first block, so whenever a block of the
// group can be read, so can its table.
bool ChainCopier::loadTable(quint32 group)
{
    if (cachedGroup == group)
        return true;
    cachedGroup = -1;
    const qint64 offset = reader.hashTableOffset(group * kBlocksPerGroup);
    if (!reader.readAt(offset, kBlocksPerGroup * kHashEntrySize, &table, nullptr))
        return false;
    cachedGroup = group;
    return true;
}

quint32 ChainCopier::cachedLink(quint32 block) const
{
    return StfsReader::linkOfHashEntry(table.constData() + kHashEntrySize * (block % kBlocksPerGroup));
}

// The hash entries of a run, copied: the table may be replaced by the next
// group's while the run is still being checked.
QByteArray ChainCopier::cachedEntries(quint32 block, quint32 run) const
{
    return table.mid(kHashEntrySize * (block % kBlocksPerGroup), kHashEntrySize * run);
}

// How many blocks from `block` on form one run: each links to the next
// number, stays in the group (so their slots are adjacent), still has bytes
// to give and passes the chain checks. A block that fails a check ends the
// run and is judged again, with its message, as the start of the next one.
// The blocks of a run are all different, so none is claimed here.
quint32 ChainCopier::runLength(quint32 block, qint64 remaining, quint64 written, quint64 limit) const
{
    quint32 run = 1;
    while (remaining > qint64(run) * StfsReader::kBlockSize) {
        const quint32 last = block + run - 1;
        const quint32 next = cachedLink(last);
        if (next != last + 1 || next % kBlocksPerGroup == 0)
            break;
        if (next == StfsReader::kChainEnd || next >= reader.allocatedBlocks || written + run > limit)
            break;
        if (next < claimed.size() && claimed[next])
            break;
        ++run;
    }
    return run;
}

void ChainCopier::claimRun(quint32 block, quint32 run)
{
    const quint32 end = std::min<quint64>(quint64(block) + run, claimed.size());
    for (quint32 b = block; b < end; ++b)
        claimed[b] = true;
}

bool ChainCopier::damaged(quint32 block, QString* error) const
{
    return fail(error, QStringLiteral("Damaged package: %1 does not match its checksum (block %2).")
                           .arg(path)
                           .arg(block));
}

// The blocks of the run before the damaged one are written, as the one-block
// walk would have written them.
bool ChainCopier::damagedInRun(QFile& out, const QByteArray& buffer, quint32 firstBlock, int mismatch, qint64 count,
                               QString* error)
{
    return writeOut(out, buffer, std::min<qint64>(count, StfsReader::kBlockSize * mismatch), error)
        && damaged(firstBlock + quint32(mismatch), error);
}

BlockRun ChainCopier::blockRun(const QByteArray& buffer, quint32 block, quint32 run, qint64 count) const
{
    return BlockRun{buffer.constData(), int(run), cachedEntries(block, run), checks == BlockChecks::Sha1, fileDigest,
                    count};
}

// A run with nothing to overlap (the whole file, or what is left of it after
// a read that failed) is checked right here; otherwise it goes to the
// checker, and the run checked before it is written meanwhile.
bool ChainCopier::queueRun(const QByteArray& buffer, quint32 block, quint32 run, qint64 count, bool lastRun,
                           QFile& out, QString* error)
{
    if (checks == BlockChecks::None && !fileDigest)
        return writeOut(out, buffer, count, error);
    if (!pending.buffer && lastRun) {
        const int mismatch = BlockDigestChecker::check(blockRun(buffer, block, run, count));
        if (mismatch >= 0)
            return damagedInRun(out, buffer, block, mismatch, count, error);
        return writeOut(out, buffer, count, error);
    }
    const PendingRun previous = std::exchange(pending, PendingRun{});
    if (previous.buffer) {
        const int mismatch = checker.wait();
        if (mismatch >= 0)
            return damagedInRun(out, *previous.buffer, previous.firstBlock, mismatch, previous.count, error);
    }
    checker.start(blockRun(buffer, block, run, count));
    pending = PendingRun{&buffer, block, count};
    if (previous.buffer && !writeOut(out, *previous.buffer, previous.count, error)) {
        checker.wait();
        pending = PendingRun{};
        return false;
    }
    return true;
}

// Every way out of copy() passes here first, so that the checker is idle and
// the blocks before a failure are written, as the one-block walk would have.
bool ChainCopier::finishPendingRun(QFile& out, QString* error)
{
    const PendingRun run = std::exchange(pending, PendingRun{});
    if (!run.buffer)
        return true;
    const int mismatch = checker.wait();
    if (mismatch >= 0)
        return damagedInRun(out, *run.buffer, run.firstBlock, mismatch, run.count, error);
    return writeOut(out, *run.buffer, run.count, error);
}

// A write that stops short (the disk filled up, a size limit was reached)
// reports no error; writing the rest then fails with the system's reason.
bool ChainCopier::writeOut(QFile& out, const QByteArray& bytes, qint64 count, QString* error)
{
    for (qint64 written = 0; written < count;) {
        const qint64 step = out.write(bytes.constData() + written, count - written);
        if (step <= 0)
            return fail(error, withReason(QStringLiteral("Write to %1 failed").arg(out.fileName()), out.errorString()));
        written += step;
    }
    return true;
}

// Used when a run cannot be read whole: the first block that fails reports
// its own offset, after the blocks before it were checked and written.
bool ChainCopier::copyRunBlockByBlock(quint32 block, quint32 run, qint64* remaining, QFile& out,
                                      QString* error)
{
    QByteArray& buffer = buffers[readBuffer];
    for (quint32 i = 0; i < run; ++i) {
        if (!reader.readAt(reader.blockOffset(block + i), StfsReader::kBlockSize, &buffer, error))
            return false;
        const qint64 count = std::min<qint64>(*remaining, StfsReader::kBlockSize);
        if (BlockDigestChecker::check(blockRun(buffer, block + i, 1, count)) >= 0)
            return damaged(block + i, error);
        if (!writeOut(out, buffer, count, error))
            return false;
        *remaining -= count;
    }
    return true;
}

// Not expected for a block inside the file (its table lies before it); the
// plain one-block step reports whatever is wrong.
bool ChainCopier::copyBlockWithoutTable(quint32 block, qint64* remaining, QFile& out, quint32* next,
                                        QString* error)
{
    QByteArray& buffer = buffers[readBuffer];
    QByteArray entry;
    if (!reader.readAt(reader.blockOffset(block), StfsReader::kBlockSize, &buffer, error)
        || !reader.readHashEntryBytes(block, &entry, error))
        return false;
    const qint64 count = std::min<qint64>(*remaining, StfsReader::kBlockSize);
    if (BlockDigestChecker::check(BlockRun{buffer.constData(), 1, entry, checks == BlockChecks::Sha1, fileDigest, count}) >= 0)
        return damaged(block, error);
    if (!writeOut(out, buffer, count, error))
        return false;
    *remaining -= count;
    *next = StfsReader::linkOfHashEntry(entry.constData());
    return true;
}

void ChainCopier::begin(const StfsEntry& entry, const QString& relativePath, sha::Sha256* digest)
{
    path = relativePath;
    fileDigest = digest;
    const quint64 blocksNeeded = entry.blockCount != 0
        ? entry.blockCount
        : (quint64(entry.size) + StfsReader::kBlockSize - 1) / StfsReader::kBlockSize;
    walk = Walk{entry.firstBlock, entry.size, 0, blocksNeeded + 1};
    readFirstRunAhead();
}

// Reads the file's first run and starts its check, before the output file
// is opened. Where any step of that would fail, nothing is done: copy() then
// meets the failure in its place, after the file was opened, as the
// one-block walk does.
void ChainCopier::readFirstRunAhead()
{
    if ((checks == BlockChecks::None && !fileDigest) || walk.remaining <= 0 || pending.buffer)
        return;
    const quint32 block = walk.block;
    if (block == StfsReader::kChainEnd || block >= reader.allocatedBlocks
        || (block < claimed.size() && claimed[block]) || !loadTable(block / kBlocksPerGroup))
        return;
    const quint32 run = runLength(block, walk.remaining, walk.written, walk.limit);
    QByteArray& buffer = buffers[readBuffer];
    if (!reader.readAt(reader.blockOffset(block), StfsReader::kBlockSize * run, &buffer, nullptr))
        return;
    claimRun(block, run);
    const qint64 count = std::min<qint64>(walk.remaining, StfsReader::kBlockSize * qint64(run));
    checker.start(blockRun(buffer, block, run, count));
    pending = PendingRun{&buffer, block, count};
    readBuffer ^= 1;
    walk.remaining -= count;
    stepPastRun(run);
}

// Moves the walk from the run's first block to the block its last one links to.
void ChainCopier::stepPastRun(quint32 run)
{
    walk.block = cachedLink(walk.block + run - 1);
    walk.written += run;
}

void ChainCopier::abandon()
{
    if (std::exchange(pending, PendingRun{}).buffer)
        checker.wait();
}

bool ChainCopier::copy(QFile& out, QString* error)
{
    qint64& remaining = walk.remaining;
    quint32& block = walk.block;
    quint64& written = walk.written;
    const quint64 limit = walk.limit;
    while (remaining > 0) {
        switch (judge(block, written, limit)) {
        case Verdict::Accept:
            break;
        case Verdict::EndsEarly:
            return finishPendingRun(out, error)
                && fail(error, QStringLiteral("Block chain for %1 ends early").arg(path));
        case Verdict::Reused:
            return finishPendingRun(out, error)
                && fail(error, QStringLiteral("Block chain for %1 reuses block %2").arg(path).arg(block));
        }

        if (!loadTable(block / kBlocksPerGroup)) {
            quint32 next = 0;
            if (!finishPendingRun(out, error) || !copyBlockWithoutTable(block, &remaining, out, &next, error))
                return false;
            block = next;
            ++written;
            continue;
        }

        const quint32 run = runLength(block, remaining, written, limit);
        claimRun(block, run);
        QByteArray& buffer = buffers[readBuffer];
        if (reader.readAt(reader.blockOffset(block), StfsReader::kBlockSize * run, &buffer, nullptr)) {
            const qint64 count = std::min<qint64>(remaining, StfsReader::kBlockSize * qint64(run));
            if (!queueRun(buffer, block, run, count, count == remaining, out, error))
                return false;
            readBuffer ^= 1;  // the run just read may still be being checked
            remaining -= count;
        } else if (!finishPendingRun(out, error) || !copyRunBlockByBlock(block, run, &remaining, out, error)) {
            return false;
        }
        stepPastRun(run);
    }
    return finishPendingRun(out, error);
}
