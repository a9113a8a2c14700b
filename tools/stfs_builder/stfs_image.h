// StfsImage: a complete, freely editable description of an STFS package file
// (header fields, raw file-table records, block chains, link overrides) and
// the writer that lays it out on disk, sparsely. Used to make test packages,
// sound and hostile alike.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

namespace stfsbuild {

constexpr qint64 kBlockSize = 4096;
constexpr quint32 kChainEnd = 0xFFFFFF;
constexpr quint16 kRootParent = 0xFFFF;
constexpr int kEntriesPerTableBlock = 64;

// One 64-byte file-table record, written as given.
struct RawEntry {
    QByteArray name;              // at most 40 bytes (the name field)
    int nameLength = -1;          // flag bits 0-5; -1: the name's size
    bool isDirectory = false;
    quint32 blockCount = 0;       // 24-bit
    quint32 storedFirstBlock = 0; // 24-bit, block base not included
    quint16 parentIndex = kRootParent;
    quint32 size = 0;
    std::optional<QByteArray> rawBytes;  // when set: the whole 64 bytes, verbatim

    static RawEntry freeEntry() { return RawEntry{}; }
    bool isFree() const { return !rawBytes && name.isEmpty() && nameLength <= 0; }
};

// The data blocks of one file (or of the file table) in chain order.
struct Chain {
    int entryIndex = -1;          // -1: the file-table chain
    QList<quint32> blocks;        // data block numbers, block base included
    // Loaded only while the package is written; block k receives bytes
    // [4096k, 4096k + 4096) of it, zero-padded.
    std::function<QByteArray()> content;
};

struct StfsImage {
    QByteArray magic = QByteArrayLiteral("CON ");  // 4 bytes
    quint32 headerSize = 0x971A;
    quint8 descriptorSize = 0x24;
    quint32 storedFileTableBlock = 0;  // 24-bit, block base not included
    quint32 allocatedBlocks = 1;
    quint32 blockBase = 0;
    QList<RawEntry> entries;           // serialised 64 per file-table block
    Chain fileTable;                   // where the entries go
    QList<Chain> files;
    // Applied after the chains' own links: block -> next.
    QMap<quint32, quint32> linkOverrides;
    // -1: just long enough for every slot written. Otherwise the file is cut
    // or extended to this size after everything was written.
    qint64 fileSize = -1;

    const Chain* chainOfEntry(int entryIndex) const;
};

// Start of the data area: the header size rounded up to 4096.
qint64 dataOffsetOf(const StfsImage& image);

// Slot of every data block 0..lastBlock and of every level-0 table, found by
// walking the data area in order: level-0 table, its 170 data blocks, with
// level-1 tables (and the one level-2 table) where the format puts them.
struct SlotMap {
    QList<quint64> dataSlots;    // index: data block number
    QList<quint64> level0Slots;  // index: group of 170 blocks
};
SlotMap mapSlots(quint32 lastBlock, quint32 allocatedBlocks);

bool writeStfsImage(const StfsImage& image, const QString& path, QString* error = nullptr);

// Writes into a package file's bytes, whatever else they say, the true SHA-1
// of every data block that lies whole in them, into its hash entry (where
// that lies in them too). Arbitrary bytes then pass the extraction's block
// checks and reach the code behind them: the fuzzer uses it.
void writeTrueDigests(QByteArray& package);

} // namespace stfsbuild
