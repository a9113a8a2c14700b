// ChainCopier: copies the bytes of one file's block chain from an opened
// STFS package to an output device, bounding the chain and reading runs of
// consecutive blocks in one go.
#pragma once

#include "import/stfs_reader.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <vector>

class ChainCopier {
public:
    explicit ChainCopier(StfsReader& reader);

    // Writes the entry's size in bytes, gathered along its chain, to out.
    // Failures and their messages are exactly those of a walk that reads
    // one block and one hash entry at a time.
    bool copy(const StfsEntry& entry, const QString& relativePath, QFile& out, QString* error);

private:
    enum class Verdict { Accept, EndsEarly, Reused };

    Verdict judge(quint32 block, quint64 written, quint64 limit);
    bool loadTable(quint32 group);
    quint32 cachedLink(quint32 block) const;
    quint32 runLength(quint32 block, qint64 remaining, quint64 written, quint64 limit);
    bool writeOut(QFile& out, qint64 count, QString* error);
    bool copyRunBlockByBlock(quint32 block, quint32 run, qint64* remaining, QFile& out, QString* error);

    StfsReader& reader;
    // In a sound package every block belongs to one chain; a block read twice
    // means a loop or two chains sharing blocks. Refusing it bounds the
    // output by the package's size. Blocks beyond the file are not tracked:
    // reading them fails anyway.
    std::vector<bool> claimed;
    qint64 cachedGroup = -1;
    QByteArray table;   // level-0 hash table of cachedGroup
    QByteArray buffer;  // data of the current run
};
