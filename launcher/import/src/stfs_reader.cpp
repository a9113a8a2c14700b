// StfsReader: header validation, block addressing, hash-entry links and the
// file table of an STFS package.
#include "import/stfs_reader.h"

#include "core/failure.h"
#include "core/system_reason.h"
#include "import/sha_digest.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

constexpr qint64 kHeaderReadSize = 1024;
constexpr quint64 kLevel1Span = 28900;  // data blocks covered by one level-1 table
constexpr int kFileTableEntrySize = 64;
constexpr int kFileTableEntriesPerBlock = 64;

quint32 be16(const uchar* p) { return (quint32(p[0]) << 8) | p[1]; }
quint32 be24(const uchar* p) { return (quint32(p[0]) << 16) | (quint32(p[1]) << 8) | p[2]; }
quint32 be32(const uchar* p) { return (quint32(p[0]) << 24) | be24(p + 1); }
quint32 le24(const uchar* p) { return (quint32(p[2]) << 16) | (quint32(p[1]) << 8) | p[0]; }

StfsEntry decodeFileTableEntry(const uchar* raw, quint32 blockBase)
{
    StfsEntry entry;
    const int nameLength = raw[0x28] & 0x3F;
    if (nameLength == 0)
        return entry;  // free entry: its other bytes mean nothing
    // A length above 40 runs into the following fields; that is how the
    // format is read, not an error.
    entry.name = QString::fromUtf8(reinterpret_cast<const char*>(raw), nameLength);
    entry.isDirectory = (raw[0x28] & 0x80) != 0;
    entry.blockCount = le24(raw + 0x29);
    entry.firstBlock = le24(raw + 0x2F) + blockBase;
    entry.parentIndex = quint16(be16(raw + 0x32));
    entry.size = be32(raw + 0x34);
    return entry;
}

} // namespace

quint64 StfsReader::slotOfBlock(quint64 block, quint32 allocated)
{
    quint64 slot = block + block / kBlocksPerHashTable + 1;
    if (block >= kBlocksPerHashTable)
        slot += block / kLevel1Span + 1;
    if (block >= kLevel1Span && allocated > kLevel1Span)
        slot += 1;
    return slot;
}

qint64 StfsReader::blockOffset(quint32 block) const
{
    return dataOffset + kBlockSize * qint64(slotOfBlock(block, allocatedBlocks));
}

quint32 StfsReader::blocksInFile() const
{
    const auto fits = [this](quint64 block) {
        return dataOffset + kBlockSize * qint64(slotOfBlock(block, allocatedBlocks)) + kBlockSize
            <= packageSize;
    };
    // Slots grow with the block number, so the blocks that fit are a prefix.
    quint64 low = 0;
    quint64 high = allocatedBlocks;
    while (low < high) {
        const quint64 count = low + (high - low + 1) / 2;
        if (fits(count - 1))
            low = count;
        else
            high = count - 1;
    }
    return quint32(low);
}

bool StfsReader::open(const QString& path, QString* error)
{
    device = std::make_unique<QFile>(path);
    // Every read seeks first, so Qt's read-ahead buffer would only be
    // filled and thrown away.
    if (!device->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return fail(error, withReason(QStringLiteral("Cannot open %1").arg(path), device->errorString()));
    packageSize = device->size();

    QByteArray header;
    if (!readAt(0, kHeaderReadSize, &header, error))
        return false;
    const auto* raw = reinterpret_cast<const uchar*>(header.constData());

    const QString magic = QString::fromLatin1(header.constData(), 4);
    const QString trimmedMagic = magic.trimmed();
    if (trimmedMagic != QLatin1String("CON") && trimmedMagic != QLatin1String("LIVE")
        && trimmedMagic != QLatin1String("PIRS"))
        return fail(error, QStringLiteral("Not an STFS package (magic \"%1\")").arg(magic));

    const quint32 headerSize = be32(raw + 0x340);
    dataOffset = (qint64(headerSize) + 0xFFF) & ~qint64(0xFFF);
    if (dataOffset == 0 || dataOffset >= packageSize)
        return fail(error, QStringLiteral("Bogus header size %1").arg(headerSize));

    if (raw[0x379] != 0x24)
        return fail(error,
                    QStringLiteral("Volume descriptor size is %1, expected 0x24").arg(raw[0x379]));

    fileTableBlock = be24(raw + 0x37D);
    allocatedBlocks = be32(raw + 0x395);
    blockBase = be32(raw + 0x399);
    if (allocatedBlocks == 0)
        return fail(error, QStringLiteral("Volume declares zero data blocks"));

    return readFileTable(error);
}

bool StfsReader::readAt(qint64 offset, qint64 length, QByteArray* out, QString* error)
{
    if (!device || offset < 0)
        return fail(error, QStringLiteral("Seek to %1 failed").arg(offset));
    // Checked before seeking and allocating: a read past the end is short
    // wherever the seek lands, and a bogus length never costs memory.
    if (length < 0 || offset > packageSize || length > packageSize - offset)
        return fail(error, QStringLiteral("Short read at offset %1").arg(offset));
    if (!device->seek(offset))
        return fail(error, QStringLiteral("Seek to %1 failed").arg(offset));
    out->resize(length);
    qint64 received = 0;
    while (received < length) {
        const qint64 got = device->read(out->data() + received, length - received);
        if (got <= 0)
            break;
        received += got;
    }
    if (received != length)
        return fail(error, QStringLiteral("Short read at offset %1").arg(offset));
    return true;
}

qint64 StfsReader::hashTableOffset(quint32 block) const
{
    const quint64 groupFirstBlock = quint64(block) / kBlocksPerHashTable * kBlocksPerHashTable;
    return dataOffset + kBlockSize * (qint64(slotOfBlock(groupFirstBlock, allocatedBlocks)) - 1);
}

bool StfsReader::readHashEntryBytes(quint32 block, QByteArray* entry, QString* error)
{
    const qint64 offset = hashTableOffset(block) + kHashEntrySize * qint64(block % kBlocksPerHashTable);
    return readAt(offset, kHashEntrySize, entry, error);
}

quint32 StfsReader::linkOfHashEntry(const char* entry)
{
    return be24(reinterpret_cast<const uchar*>(entry) + 21);
}

bool StfsReader::readHashEntry(quint32 block, quint32* next, QString* error)
{
    QByteArray entry;
    if (!readHashEntryBytes(block, &entry, error))
        return false;
    *next = linkOfHashEntry(entry.constData());
    return true;
}

bool StfsReader::readFileTable(QString* error)
{
    entries.clear();
    // A chain of distinct blocks cannot be longer than the blocks that exist,
    // so a declared count far beyond the file's size does not stretch the
    // search for a loop.
    const quint64 linkLimit = std::min<quint64>(allocatedBlocks, blocksInFile());
    quint64 block = quint64(fileTableBlock) + blockBase;
    quint64 links = 0;
    QByteArray tableBlock;
    QByteArray hashEntry;
    for (;;) {
        if (block >= allocatedBlocks)
            return fail(error, QStringLiteral("File table chain leaves the volume"));
        if (!readAt(blockOffset(quint32(block)), kBlockSize, &tableBlock, error)
            || !readHashEntryBytes(quint32(block), &hashEntry, error))
            return false;
        // A damaged file table would misplace every file after it.
        if (!sha::sha1Matches(tableBlock.constData(), kBlockSize, reinterpret_cast<const uchar*>(hashEntry.constData())))
            return fail(error, QStringLiteral("Damaged package: the file table does not match its checksum (block %1).")
                                   .arg(block));
        const auto* raw = reinterpret_cast<const uchar*>(tableBlock.constData());
        for (int k = 0; k < kFileTableEntriesPerBlock; ++k)
            entries.append(decodeFileTableEntry(raw + k * kFileTableEntrySize, blockBase));

        const quint32 next = linkOfHashEntry(hashEntry.constData());
        if (next == kChainEnd)
            break;
        if (++links > linkLimit)
            return fail(error, QStringLiteral("File table chain never terminates"));
        block = next;
    }
    return checkFolderStructure(error);
}

// Refuses folder links that loop and path sets too large to hold: both
// would make fileList grow with the square of the entry count.
bool StfsReader::checkFolderStructure(QString* error) const
{
    enum : quint8 { Unvisited, OnPath, Measured };
    const qsizetype count = entries.size();
    std::vector<quint8> state(size_t(count), Unvisited);
    std::vector<qint64> pathLength(size_t(count), 0);
    std::vector<qsizetype> walk;
    qint64 total = 0;

    for (qsizetype start = 0; start < count; ++start) {
        walk.clear();
        qsizetype index = start;
        qint64 base = 0;
        while (index < count && state[size_t(index)] != Measured) {
            if (state[size_t(index)] == OnPath)
                return fail(error, QStringLiteral("File table folders loop at entry %1").arg(start));
            state[size_t(index)] = OnPath;
            walk.push_back(index);
            if (entries[index].parentIndex == kRootParent)
                break;
            index = entries[index].parentIndex;
        }
        if (index < count && state[size_t(index)] == Measured)
            base = pathLength[size_t(index)];
        for (auto it = walk.rbegin(); it != walk.rend(); ++it) {
            const qint64 nameLength = entries[*it].name.size();
            if (nameLength > 0)
                base = base > 0 ? base + 1 + nameLength : nameLength;
            if (base > kMaxTotalPathLength)
                return fail(error, QStringLiteral("File table paths are too long"));
            pathLength[size_t(*it)] = base;
            state[size_t(*it)] = Measured;
        }
        if (!entries[start].name.isEmpty()) {
            total += pathLength[size_t(start)];
            if (total > kMaxTotalPathLength)
                return fail(error, QStringLiteral("File table paths are too long"));
        }
    }
    return true;
}

QString StfsReader::entryPath(int index) const
{
    if (entries.isEmpty() || index < 0)
        return QString();
    const qsizetype count = entries.size();
    QStringList names;  // collected leaf first
    qsizetype steps = 0;
    qsizetype current = index;
    while (current < count) {
        const StfsEntry& entry = entries[current];
        if (!entry.name.isEmpty())
            names.append(entry.name);
        if (entry.parentIndex == kRootParent)
            break;
        if (++steps >= count)
            break;  // a looping parent chain stops here
        current = entry.parentIndex;
    }
    std::reverse(names.begin(), names.end());
    return names.join(QLatin1Char('/'));
}

QList<StfsFileItem> StfsReader::fileList() const
{
    QList<StfsFileItem> items;
    for (int i = 0; i < entries.size(); ++i) {
        const StfsEntry& entry = entries[i];
        if (!entry.name.isEmpty())
            items.append(StfsFileItem{entryPath(i), entry.isDirectory, entry.size});
    }
    return items;
}
