// Writing an StfsImage: header, file-table blocks, data blocks and level-0
// hash tables with SHA-1 digests and chain links.
#include "stfs_image.h"

#include <QCryptographicHash>
#include <QFile>

#include <algorithm>

namespace stfsbuild {
namespace {

constexpr int kHashEntrySize = 24;
constexpr int kBlocksPerGroup = 170;
constexpr quint32 kLevel1Span = 28900;
constexpr qint64 kHeaderBytes = 1024;  // what a reader reads of the header

void putBe(char* at, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i, value >>= 8)
        at[i] = char(value & 0xFF);
}

void putLe(char* at, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i, value >>= 8)
        at[i] = char(value & 0xFF);
}

QByteArray serialiseEntry(const RawEntry& entry)
{
    if (entry.rawBytes)
        return entry.rawBytes->leftJustified(64, '\0', true);
    QByteArray raw(64, '\0');
    std::copy_n(entry.name.constData(), std::min<qsizetype>(entry.name.size(), 40), raw.data());
    const int length = entry.nameLength >= 0 ? entry.nameLength : int(entry.name.size());
    raw[0x28] = char((length & 0x3F) | (entry.isDirectory ? 0x80 : 0));
    putLe(raw.data() + 0x29, entry.blockCount, 3);
    putLe(raw.data() + 0x2C, entry.blockCount, 3);  // the format's second copy; not read
    putLe(raw.data() + 0x2F, entry.storedFirstBlock, 3);
    putBe(raw.data() + 0x32, entry.parentIndex, 2);
    putBe(raw.data() + 0x34, entry.size, 4);
    return raw;
}

QByteArray serialiseHeader(const StfsImage& image)
{
    QByteArray header(kHeaderBytes, '\0');
    std::copy_n(image.magic.leftJustified(4, ' ', true).constData(), 4, header.data());
    putBe(header.data() + 0x340, image.headerSize, 4);
    header[0x379] = char(image.descriptorSize);
    putBe(header.data() + 0x37D, image.storedFileTableBlock, 3);
    putBe(header.data() + 0x395, image.allocatedBlocks, 4);
    putBe(header.data() + 0x399, image.blockBase, 4);
    return header;
}

quint32 be32(const QByteArray& bytes, qsizetype at)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + at;
    return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | p[3];
}

// Writes blocks at their slots, remembering the furthest byte written, and
// collects the level-0 tables that describe them.
class ImageWriter {
public:
    ImageWriter(QFile& file, qint64 dataOffset, const SlotMap& layout)
        : file(file), dataOffset(dataOffset), layout(layout) {}

    bool writeBlock(quint32 block, const QByteArray& data, quint32 next)
    {
        const QByteArray padded = data.leftJustified(kBlockSize, '\0', true);
        if (!writeAt(dataOffset + kBlockSize * qint64(layout.dataSlots[block]), padded))
            return false;
        char* entry = tableFor(block).data() + kHashEntrySize * (block % kBlocksPerGroup);
        const QByteArray digest = QCryptographicHash::hash(padded, QCryptographicHash::Sha1);
        std::copy_n(digest.constData(), 20, entry);
        entry[20] = char(0x80);
        putBe(entry + 21, next, 3);
        return true;
    }

    void overrideLink(quint32 block, quint32 next)
    {
        putBe(tableFor(block).data() + kHashEntrySize * (block % kBlocksPerGroup) + 21, next, 3);
    }

    bool writeTables()
    {
        for (auto it = tables.cbegin(); it != tables.cend(); ++it)
            if (!writeAt(dataOffset + kBlockSize * qint64(layout.level0Slots[it.key()]), it.value()))
                return false;
        return true;
    }

    bool writeAt(qint64 offset, const QByteArray& data)
    {
        if (file.pos() != offset && !file.seek(offset))
            return false;
        end = std::max(end, offset + data.size());
        return file.write(data) == data.size();
    }

    qint64 furthestByte() const { return end; }

private:
    QByteArray& tableFor(quint32 block)
    {
        QByteArray& table = tables[block / kBlocksPerGroup];
        if (table.isEmpty())
            table = QByteArray(kBlockSize, '\0');
        return table;
    }

    QFile& file;
    qint64 dataOffset;
    const SlotMap& layout;
    QMap<quint32, QByteArray> tables;  // group -> level-0 table
    qint64 end = 0;
};

quint32 lastBlockOf(const StfsImage& image)
{
    quint32 last = 0;
    const auto consider = [&last](const Chain& chain) {
        for (quint32 block : chain.blocks)
            last = std::max(last, block);
    };
    consider(image.fileTable);
    for (const Chain& chain : image.files)
        consider(chain);
    for (auto it = image.linkOverrides.cbegin(); it != image.linkOverrides.cend(); ++it)
        last = std::max(last, it.key());
    return last;
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

} // namespace

const Chain* StfsImage::chainOfEntry(int entryIndex) const
{
    for (const Chain& chain : files)
        if (chain.entryIndex == entryIndex)
            return &chain;
    return nullptr;
}

qint64 dataOffsetOf(const StfsImage& image)
{
    return (qint64(image.headerSize) + 0xFFF) & ~qint64(0xFFF);
}

SlotMap mapSlots(quint32 lastBlock, quint32 allocatedBlocks)
{
    SlotMap map;
    map.dataSlots.reserve(qsizetype(lastBlock) + 1);
    quint64 slot = 0;
    for (quint64 block = 0; block <= lastBlock; ++block) {
        if (block % kBlocksPerGroup == 0) {
            if (block == kBlocksPerGroup)
                ++slot;  // level-1 table 0, after the first group
            if (block > 0 && block % kLevel1Span == 0) {
                if (block == kLevel1Span && allocatedBlocks > kLevel1Span)
                    ++slot;  // the level-2 table
                ++slot;      // the next level-1 table
            }
            map.level0Slots.append(slot++);
        }
        map.dataSlots.append(slot++);
    }
    return map;
}

void writeTrueDigests(QByteArray& package)
{
    if (package.size() < kHeaderBytes)
        return;
    const qint64 dataOffset = (qint64(be32(package, 0x340)) + 0xFFF) & ~qint64(0xFFF);
    const quint32 allocatedBlocks = be32(package, 0x395);
    if (dataOffset == 0 || dataOffset >= package.size())
        return;
    // Each slot holds at most one data block, so no more blocks than slots
    // can lie in the file.
    const qint64 slotCount = (package.size() - dataOffset) / kBlockSize;
    if (slotCount == 0)
        return;
    const SlotMap layout = mapSlots(quint32(slotCount - 1), allocatedBlocks);
    const auto offsetOf = [dataOffset](quint64 slot) { return dataOffset + kBlockSize * qint64(slot); };
    for (quint32 block = 0; block < quint32(slotCount); ++block) {
        const qint64 data = offsetOf(layout.dataSlots[block]);
        const qint64 entry = offsetOf(layout.level0Slots[block / kBlocksPerGroup])
            + kHashEntrySize * qint64(block % kBlocksPerGroup);
        if (data + kBlockSize > package.size() || entry + 20 > package.size())
            continue;
        const QByteArray digest = QCryptographicHash::hash(
            QByteArrayView(package.constData() + data, kBlockSize), QCryptographicHash::Sha1);
        std::copy_n(digest.constData(), 20, package.data() + entry);
    }
}

bool writeStfsImage(const StfsImage& image, const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    const SlotMap layout = mapSlots(lastBlockOf(image), image.allocatedBlocks);
    ImageWriter writer(file, dataOffsetOf(image), layout);
    const auto writeChain = [&writer](const Chain& chain, const QByteArray& content) {
        for (qsizetype k = 0; k < chain.blocks.size(); ++k) {
            const quint32 next = k + 1 < chain.blocks.size() ? chain.blocks[k + 1] : kChainEnd;
            if (!writer.writeBlock(chain.blocks[k], content.mid(k * kBlockSize, kBlockSize), next))
                return false;
        }
        return true;
    };

    QByteArray table;
    for (const RawEntry& entry : image.entries)
        table += serialiseEntry(entry);
    bool ok = writeChain(image.fileTable, table);
    for (const Chain& chain : image.files)
        ok = ok && writeChain(chain, chain.content ? chain.content() : QByteArray());
    for (auto it = image.linkOverrides.cbegin(); it != image.linkOverrides.cend(); ++it)
        writer.overrideLink(it.key(), it.value());
    ok = ok && writer.writeTables() && writer.writeAt(0, serialiseHeader(image));
    const qint64 size = image.fileSize >= 0 ? image.fileSize : writer.furthestByte();
    ok = ok && file.flush() && file.resize(size);
    file.close();
    if (!ok || file.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

} // namespace stfsbuild
