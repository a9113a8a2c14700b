// StfsReader: opens an Xbox 360 STFS package (CON, LIVE or PIRS) read-only,
// validates its header, reads its whole file table and answers where data
// blocks lie, how they chain and what each entry's relative path is.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <memory>

// One file-table entry. A free entry has an empty name, isDirectory false,
// parentIndex 0xFFFF and zero numbers.
struct StfsEntry {
    QString name;
    bool isDirectory = false;
    quint16 parentIndex = 0xFFFF;  // 0xFFFF: the package root
    quint32 firstBlock = 0;        // block base already added
    quint32 blockCount = 0;
    quint32 size = 0;
};

// One named entry as listed by StfsReader::fileList.
struct StfsFileItem {
    QString path;  // relative, "/"-separated
    bool isDirectory = false;
    quint32 size = 0;
};

class StfsReader {
public:
    static constexpr qint64 kBlockSize = 0x1000;
    static constexpr quint32 kChainEnd = 0xFFFFFF;
    static constexpr quint16 kRootParent = 0xFFFF;
    // A level-0 hash table holds one 24-byte entry for each of the 170 data
    // blocks of its group.
    static constexpr quint32 kBlocksPerHashTable = 170;
    static constexpr int kHashEntrySize = 24;
    // A file table whose paths add up to more characters than this cannot be
    // a real package; refusing it keeps fileList's memory bounded.
    static constexpr qint64 kMaxTotalPathLength = 32 * 1024 * 1024;

    StfsReader() = default;
    ~StfsReader() = default;
    StfsReader(const StfsReader&) = delete;
    StfsReader& operator=(const StfsReader&) = delete;

    // Besides the header and chain checks, refuses a file table block whose
    // SHA-1 is not the digest of its hash entry, and a file table whose
    // folder links loop or whose paths add up to more than
    // kMaxTotalPathLength.
    bool open(const QString& path, QString* error = nullptr);
    // Reads exactly length bytes at offset into *out (which must not be null).
    bool readAt(qint64 offset, qint64 length, QByteArray* out, QString* error = nullptr);
    qint64 blockOffset(quint32 block) const;
    // File offset of the level-0 hash table of block's group of 170: the
    // slot just before the group's first data block.
    qint64 hashTableOffset(quint32 block) const;
    bool readHashEntry(quint32 block, quint32* next, QString* error = nullptr);
    // The block's whole 24-byte hash entry: the SHA-1 digest of the block's
    // 4096 bytes in bytes 0 to 19, the link in bytes 21 to 23.
    bool readHashEntryBytes(quint32 block, QByteArray* entry, QString* error = nullptr);
    static quint32 linkOfHashEntry(const char* entry);
    bool readFileTable(QString* error = nullptr);
    QString entryPath(int index) const;
    QList<StfsFileItem> fileList() const;

    // Slot of data block n in the data area (the P(n) of the format).
    static quint64 slotOfBlock(quint64 block, quint32 allocatedBlocks);
    // Number k of data blocks 0..k-1 whose whole 4096 bytes lie inside the
    // package file (at most allocatedBlocks); no chain of distinct readable
    // blocks can be longer than this.
    quint32 blocksInFile() const;

    std::unique_ptr<QFile> device;
    qint64 dataOffset = 0;
    quint32 allocatedBlocks = 0;
    quint32 blockBase = 0;
    quint32 fileTableBlock = 0;
    QList<StfsEntry> entries;

private:
    bool checkFolderStructure(QString* error) const;

    qint64 packageSize = 0;  // size of the opened file, taken once at open
};
