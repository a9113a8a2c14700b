// extractAll: the STFS extraction loop, its name checks and the per-file
// block-chain walk.
#include "stfs_extract.h"

#include "import_interruption.h"
#include "safe_destination.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <vector>

namespace {

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

bool isUnsafeName(const QString& name)
{
    return name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QChar(u'\0'));
}

QString symbolicLinkMessage(const QString& linkPath)
{
    return QStringLiteral("Refusing to follow the symbolic link %1").arg(linkPath);
}

// Remembers which data blocks the extraction has already read. In a sound
// package every block belongs to one chain, so a second visit means a loop or
// two chains sharing blocks; refusing it bounds the output by the package size.
class BlockClaims {
public:
    explicit BlockClaims(quint32 blocksPresent) : claimed(blocksPresent, false) {}

    // False when the block was read before. Blocks beyond the file are not
    // tracked: reading them fails anyway.
    bool claim(quint32 block)
    {
        if (block >= claimed.size())
            return true;
        if (claimed[block])
            return false;
        claimed[block] = true;
        return true;
    }

private:
    std::vector<bool> claimed;
};

struct ExtractionContext {
    StfsReader& reader;
    QDir destination;
    SafeDestination safeDestination;
    BlockClaims claims;
    QByteArray blockBuffer;  // reused for every block read
};

bool writeChain(ExtractionContext& context, const StfsEntry& entry, const QString& relativePath,
                QFile& out, QString* error)
{
    const quint64 blocksNeeded =
        entry.blockCount != 0 ? entry.blockCount
                              : (quint64(entry.size) + StfsReader::kBlockSize - 1) / StfsReader::kBlockSize;
    const quint64 limit = blocksNeeded + 1;
    qint64 remaining = entry.size;
    quint32 block = entry.firstBlock;
    quint64 written = 0;
    while (remaining > 0) {
        if (block == StfsReader::kChainEnd || block >= context.reader.allocatedBlocks || written > limit)
            return fail(error, QStringLiteral("Block chain for %1 ends early").arg(relativePath));
        if (!context.claims.claim(block))
            return fail(error, QStringLiteral("Block chain for %1 reuses block %2").arg(relativePath).arg(block));
        if (!context.reader.readAt(context.reader.blockOffset(block), StfsReader::kBlockSize,
                                   &context.blockBuffer, error))
            return false;
        const qint64 count = std::min<qint64>(remaining, StfsReader::kBlockSize);
        if (out.write(context.blockBuffer.constData(), count) != count)
            return fail(error, QStringLiteral("Write to %1 failed").arg(out.fileName()));
        quint32 next = 0;
        if (!context.reader.readHashEntry(block, &next, error))
            return false;
        block = next;
        remaining -= count;
        ++written;
    }
    return true;
}

bool extractFile(ExtractionContext& context, const StfsEntry& entry, const QString& relativePath,
                 QString* error)
{
    const QString fullPath = context.destination.filePath(relativePath);
    const QString folder = relativePath.section(QLatin1Char('/'), 0, -2);
    switch (context.safeDestination.makeFolder(folder)) {
    case SafeDestination::Outcome::Ready:
        break;
    case SafeDestination::Outcome::SymbolicLink:
        return fail(error, symbolicLinkMessage(context.safeDestination.blockingPath()));
    case SafeDestination::Outcome::Failed:
        return fail(error, QStringLiteral("Cannot create folder for %1").arg(relativePath));
    }
    if (context.safeDestination.checkFileTarget(relativePath) == SafeDestination::Outcome::SymbolicLink)
        return fail(error, symbolicLinkMessage(context.safeDestination.blockingPath()));

    QFile out(fullPath);
    if (!out.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(fullPath, out.errorString()));
    if (entry.size > 0 && !writeChain(context, entry, relativePath, out, error))
        return false;
    // Written data may still sit in Qt's buffer: a full disk shows only here.
    const bool flushed = out.flush();
    out.close();
    if (!flushed || out.error() != QFileDevice::NoError)
        return fail(error, QStringLiteral("Write to %1 failed").arg(fullPath));
    return true;
}

bool checkEntryNames(const StfsReader& reader, QString* error)
{
    for (int i = 0; i < reader.entries.size(); ++i) {
        const QString& name = reader.entries[i].name;
        if (!name.isEmpty() && isUnsafeName(name))
            return fail(error, QStringLiteral("Unsafe path in package: %1").arg(reader.entryPath(i)));
    }
    return true;
}

} // namespace

bool extractAll(StfsReader& reader, const QString& destination, const ExtractProgressFn& progress,
                QString* error)
{
    if (!checkEntryNames(reader, error))
        return false;
    if (!QDir(destination).exists() && !QDir().mkpath(destination))
        return fail(error, QStringLiteral("Cannot create %1").arg(destination));

    const auto isNamed = [](const StfsEntry& entry) { return !entry.name.isEmpty(); };
    const qint64 total = std::count_if(reader.entries.cbegin(), reader.entries.cend(), isNamed);
    const QDir destinationDir(destination);
    ExtractionContext context{reader, destinationDir, SafeDestination(destinationDir),
                              BlockClaims(std::min(reader.allocatedBlocks, reader.blocksInFile())), {}};
    qint64 done = 0;
    for (int i = 0; i < reader.entries.size(); ++i) {
        const StfsEntry& entry = reader.entries[i];
        if (!isNamed(entry))
            continue;
        if (importInterruptionRequested())
            return fail(error, importStoppedMessage());
        const QString relativePath = reader.entryPath(i);
        if (progress)
            progress(done, total, relativePath);
        if (entry.isDirectory) {
            switch (context.safeDestination.makeFolder(relativePath)) {
            case SafeDestination::Outcome::Ready:
                break;
            case SafeDestination::Outcome::SymbolicLink:
                return fail(error, symbolicLinkMessage(context.safeDestination.blockingPath()));
            case SafeDestination::Outcome::Failed:
                return fail(error, QStringLiteral("Cannot create folder %1").arg(relativePath));
            }
        } else if (!extractFile(context, entry, relativePath, error)) {
            return false;
        }
        ++done;
    }
    if (progress)
        progress(done, total, QString());
    return true;
}
