// PackageBuilder: entry listing, block allocation in the chosen order and
// the file-table records of an StfsImage.
#include "stfs_package_builder.h"

#include <algorithm>

namespace stfsbuild {
namespace {

quint32 blocksFor(quint64 size)
{
    return quint32((size + kBlockSize - 1) / kBlockSize);
}

} // namespace

PackageBuilder::PackageBuilder(PackageOptions options) : options(std::move(options)) {}

int PackageBuilder::addFolder(const QByteArray& name, int parent)
{
    items.append(Item{name, true, false, parent, 0, {}});
    return int(items.size() - 1);
}

int PackageBuilder::addFile(const QByteArray& name, const QByteArray& content, int parent)
{
    return addFile(name, quint32(content.size()), [content] { return content; }, parent);
}

int PackageBuilder::addFile(const QByteArray& name, quint32 size, std::function<QByteArray()> loader,
                            int parent)
{
    items.append(Item{name, false, false, parent, size, std::move(loader)});
    return int(items.size() - 1);
}

int PackageBuilder::addFreeEntry()
{
    items.append(Item{{}, false, true, kRoot, 0, {}});
    return int(items.size() - 1);
}

QList<int> PackageBuilder::listingOrder() const
{
    QList<int> order;
    for (int i = 0; i < items.size(); ++i)
        if (!options.foldersAfterFiles || !items[i].isDirectory)
            order.append(i);
    if (options.foldersAfterFiles)
        for (int i = 0; i < items.size(); ++i)
            if (items[i].isDirectory)
                order.append(i);
    return order;
}

QList<QList<quint32>> PackageBuilder::allocateChains(const QList<quint32>& blockCounts) const
{
    QList<QList<quint32>> chains(blockCounts.size());
    quint32 next = options.blockBase + options.firstBlock;
    if (options.order == BlockOrder::Interleaved) {
        bool dealt = true;
        for (quint32 round = 0; dealt; ++round) {
            dealt = false;
            for (qsizetype c = 0; c < blockCounts.size(); ++c) {
                if (round < blockCounts[c]) {
                    chains[c].append(next++);
                    dealt = true;
                }
            }
        }
        return chains;
    }
    for (qsizetype c = 0; c < blockCounts.size(); ++c) {
        for (quint32 k = 0; k < blockCounts[c]; ++k)
            chains[c].append(next++);
        if (options.order == BlockOrder::Reversed)
            std::reverse(chains[c].begin(), chains[c].end());
    }
    return chains;
}

StfsImage PackageBuilder::build() const
{
    const QList<int> order = listingOrder();
    QList<int> newIndexOf(items.size());
    for (int position = 0; position < order.size(); ++position)
        newIndexOf[order[position]] = position;

    // Chain 0 is the file table; the others are the files, in listing order.
    const quint32 tableBlocks = std::max<quint32>(1, blocksFor(quint64(order.size()) * 64));
    QList<quint32> blockCounts{tableBlocks};
    QList<int> fileEntries;
    for (int position = 0; position < order.size(); ++position) {
        const Item& item = items[order[position]];
        if (!item.isDirectory && !item.isFree && item.size > 0) {
            blockCounts.append(blocksFor(item.size));
            fileEntries.append(position);
        }
    }
    const QList<QList<quint32>> chains = allocateChains(blockCounts);

    StfsImage image;
    image.magic = options.magic;
    image.headerSize = options.headerSize;
    image.blockBase = options.blockBase;
    image.fileTable.blocks = chains[0];
    image.storedFileTableBlock = chains[0].first() - options.blockBase;
    quint32 lastBlock = 0;
    for (const QList<quint32>& chain : chains)
        for (quint32 block : chain)
            lastBlock = std::max(lastBlock, block);
    image.allocatedBlocks = lastBlock + 1 + options.extraAllocatedBlocks;

    for (int position = 0; position < order.size(); ++position) {
        const Item& item = items[order[position]];
        RawEntry entry;
        if (!item.isFree) {
            entry.name = item.name;
            entry.isDirectory = item.isDirectory;
            entry.parentIndex = item.parent == kRoot ? kRootParent : quint16(newIndexOf[item.parent]);
            entry.size = item.size;
        }
        image.entries.append(entry);
    }
    for (qsizetype f = 0; f < fileEntries.size(); ++f) {
        const int position = fileEntries[f];
        const QList<quint32>& blocks = chains[f + 1];
        RawEntry& entry = image.entries[position];
        entry.blockCount = quint32(blocks.size());
        entry.storedFirstBlock = blocks.first() - options.blockBase;
        image.files.append(Chain{position, blocks, items[order[position]].loader});
    }
    return image;
}

} // namespace stfsbuild
