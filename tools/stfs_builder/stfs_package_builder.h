// PackageBuilder: turns a list of folders and files into an StfsImage with
// a chosen block placement, so tests and the stfs-build tool can make sound
// packages (and then edit the image into hostile ones).
#pragma once

#include "stfs_image.h"

namespace stfsbuild {

enum class BlockOrder {
    Consecutive,  // each chain takes the next free blocks in order
    Interleaved,  // blocks are dealt to the chains in turn, one at a time
    Reversed,     // each chain takes a range of blocks but runs through it backwards
};

struct PackageOptions {
    QByteArray magic = QByteArrayLiteral("CON ");
    quint32 headerSize = 0x971A;
    quint32 blockBase = 0;
    // Number of the first block handed out, counted from the block base;
    // e.g. 28890 places data around the level-2 table without writing the
    // blocks before it (the package is written sparsely).
    quint32 firstBlock = 0;
    BlockOrder order = BlockOrder::Consecutive;
    bool foldersAfterFiles = false;  // list every folder after all files
    quint32 extraAllocatedBlocks = 0;
};

class PackageBuilder {
public:
    static constexpr int kRoot = -1;

    explicit PackageBuilder(PackageOptions options = {});

    // Each returns the entry's index in the order added; parent is such an
    // index or kRoot.
    int addFolder(const QByteArray& name, int parent = kRoot);
    int addFile(const QByteArray& name, const QByteArray& content, int parent = kRoot);
    // A file whose content is read only while the package is written.
    int addFile(const QByteArray& name, quint32 size, std::function<QByteArray()> loader,
                int parent = kRoot);
    int addFreeEntry();

    // Lays out the blocks. Entry indexes in the image equal the indexes
    // returned above, unless foldersAfterFiles moved the folders last.
    StfsImage build() const;

private:
    struct Item {
        QByteArray name;
        bool isDirectory = false;
        bool isFree = false;
        int parent = kRoot;
        quint32 size = 0;
        std::function<QByteArray()> loader;
    };

    QList<int> listingOrder() const;
    QList<QList<quint32>> allocateChains(const QList<quint32>& blockCounts) const;

    PackageOptions options;
    QList<Item> items;
};

} // namespace stfsbuild
