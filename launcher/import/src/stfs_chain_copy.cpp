// ChainCopier: the chain walk of the extraction. The level-0 table of a group
// of 170 blocks is read once, and blocks that link to their neighbour within
// the group (consecutive slots) are read and written as one run.
#include "import/stfs_chain_copy.h"

#include "core/failure.h"
#include "core/system_reason.h"

#include <algorithm>

namespace {

constexpr quint32 kBlocksPerGroup = StfsReader::kBlocksPerHashTable;
constexpr int kHashEntrySize = StfsReader::kHashEntrySize;

} // namespace

ChainCopier::ChainCopier(StfsReader& reader)
    : reader(reader), claimed(std::min(reader.allocatedBlocks, reader.blocksInFile()), false)
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
    const auto* entry = reinterpret_cast<const uchar*>(table.constData())
        + kHashEntrySize * (block % kBlocksPerGroup);
    return (quint32(entry[21]) << 16) | (quint32(entry[22]) << 8) | entry[23];
}

// How many blocks from `block` on form one run: each links to the next
// number, stays in the group (so their slots are adjacent), still has bytes
// to give and passes the chain checks. A block that fails a check ends the
// run and is judged again, with its message, as the start of the next one.
quint32 ChainCopier::runLength(quint32 block, qint64 remaining, quint64 written, quint64 limit)
{
    quint32 run = 1;
    while (remaining > qint64(run) * StfsReader::kBlockSize) {
        const quint32 last = block + run - 1;
        const quint32 next = cachedLink(last);
        if (next != last + 1 || next % kBlocksPerGroup == 0)
            break;
        if (next == StfsReader::kChainEnd || next >= reader.allocatedBlocks || written + run > limit)
            break;
        if (next < claimed.size()) {
            if (claimed[next])
                break;
            claimed[next] = true;
        }
        ++run;
    }
    return run;
}

// A write that stops short (the disk filled up, a size limit was reached)
// reports no error; writing the rest then fails with the system's reason.
bool ChainCopier::writeOut(QFile& out, qint64 count, QString* error)
{
    for (qint64 written = 0; written < count;) {
        const qint64 step = out.write(buffer.constData() + written, count - written);
        if (step <= 0)
            return fail(error, withReason(QStringLiteral("Write to %1 failed").arg(out.fileName()), out.errorString()));
        written += step;
    }
    return true;
}

// Used when a run cannot be read whole: the first block that fails reports
// its own offset, after the blocks before it were written.
bool ChainCopier::copyRunBlockByBlock(quint32 block, quint32 run, qint64* remaining, QFile& out,
                                      QString* error)
{
    for (quint32 i = 0; i < run; ++i) {
        if (!reader.readAt(reader.blockOffset(block + i), StfsReader::kBlockSize, &buffer, error))
            return false;
        const qint64 count = std::min<qint64>(*remaining, StfsReader::kBlockSize);
        if (!writeOut(out, count, error))
            return false;
        *remaining -= count;
    }
    return true;
}

bool ChainCopier::copy(const StfsEntry& entry, const QString& relativePath, QFile& out, QString* error)
{
    const quint64 blocksNeeded = entry.blockCount != 0
        ? entry.blockCount
        : (quint64(entry.size) + StfsReader::kBlockSize - 1) / StfsReader::kBlockSize;
    const quint64 limit = blocksNeeded + 1;
    qint64 remaining = entry.size;
    quint32 block = entry.firstBlock;
    quint64 written = 0;
    while (remaining > 0) {
        switch (judge(block, written, limit)) {
        case Verdict::Accept:
            break;
        case Verdict::EndsEarly:
            return fail(error, QStringLiteral("Block chain for %1 ends early").arg(relativePath));
        case Verdict::Reused:
            return fail(error, QStringLiteral("Block chain for %1 reuses block %2").arg(relativePath).arg(block));
        }

        if (!loadTable(block / kBlocksPerGroup)) {
            // Not expected for a block inside the file; the plain one-block
            // step reports whatever is wrong.
            if (!copyRunBlockByBlock(block, 1, &remaining, out, error))
                return false;
            quint32 next = 0;
            if (!reader.readHashEntry(block, &next, error))
                return false;
            block = next;
            ++written;
            continue;
        }

        const quint32 run = runLength(block, remaining, written, limit);
        if (reader.readAt(reader.blockOffset(block), StfsReader::kBlockSize * run, &buffer, nullptr)) {
            const qint64 count = std::min<qint64>(remaining, StfsReader::kBlockSize * qint64(run));
            if (!writeOut(out, count, error))
                return false;
            remaining -= count;
        } else if (!copyRunBlockByBlock(block, run, &remaining, out, error)) {
            return false;
        }
        block = cachedLink(block + run - 1);
        written += run;
    }
    return true;
}
