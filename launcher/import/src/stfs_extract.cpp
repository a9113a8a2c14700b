// extractAll: the STFS extraction loop, its name checks, folders and the
// output files (their chains are copied by ChainCopier).
#include "import/stfs_extract.h"

#include "core/failure.h"
#include "import/import_interruption.h"
#include "import/safe_destination.h"
#include "import/stfs_chain_copy.h"
#include "core/system_reason.h"

#include <QDir>
#include <QFile>

#include <optional>

namespace {

bool isUnsafeName(const QString& name)
{
    return name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(QLatin1Char('/')) || name.contains(QChar(u'\0'));
}

QString symbolicLinkMessage(const QString& linkPath)
{
    return QStringLiteral("Refusing to follow the symbolic link %1").arg(linkPath);
}

struct ExtractionContext {
    QDir destination;
    SafeDestination safeDestination;
    ChainCopier chainCopier;
    FileDigests* digests;
};

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
        return fail(error, withReason(QStringLiteral("Cannot create folder for %1").arg(relativePath),
                                      context.safeDestination.failureReason()));
    }
    if (context.safeDestination.checkFileTarget(relativePath) == SafeDestination::Outcome::SymbolicLink)
        return fail(error, symbolicLinkMessage(context.safeDestination.blockingPath()));

    std::optional<sha::Sha256> digest;
    if (context.digests)
        digest.emplace();
    if (entry.size > 0)
        context.chainCopier.begin(entry, relativePath, digest ? &*digest : nullptr);
    QFile out(fullPath);
    // Unbuffered: the chain is written in runs of up to 170 blocks.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        context.chainCopier.abandon();
        return fail(error, withReason(QStringLiteral("Cannot write %1").arg(fullPath), out.errorString()));
    }
    if (entry.size > 0 && !context.chainCopier.copy(out, error))
        return false;
    // Should data still sit in a buffer, a full disk shows only here.
    const bool flushed = out.flush();
    out.close();
    if (!flushed || out.error() != QFileDevice::NoError)
        return fail(error, withReason(QStringLiteral("Write to %1 failed").arg(fullPath), out.errorString()));
    if (digest)
        context.digests->insert(relativePath, digest->hexDigest());
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
                QString* error, const ExtractOptions& options)
{
    if (!checkEntryNames(reader, error))
        return false;
    QString reason;
    if (!makeFolders(destination, &reason))
        return fail(error, withReason(QStringLiteral("Cannot create %1").arg(destination), reason));

    const auto isNamed = [](const StfsEntry& entry) { return !entry.name.isEmpty(); };
    // The selection is matched by path, so the paths are made only with one.
    QList<bool> selected(reader.entries.size());
    for (int i = 0; i < reader.entries.size(); ++i) {
        const StfsEntry& entry = reader.entries[i];
        selected[i] = isNamed(entry)
            && (!options.only || (!entry.isDirectory && options.only->contains(reader.entryPath(i))));
    }
    const qint64 total = selected.count(true);
    const QDir destinationDir(destination);
    ExtractionContext context{destinationDir, SafeDestination(destinationDir), ChainCopier(reader, options.checks),
                               options.digests};
    qint64 done = 0;
    for (int i = 0; i < reader.entries.size(); ++i) {
        const StfsEntry& entry = reader.entries[i];
        if (!selected[i])
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
                return fail(error, withReason(QStringLiteral("Cannot create folder %1").arg(relativePath),
                                              context.safeDestination.failureReason()));
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
