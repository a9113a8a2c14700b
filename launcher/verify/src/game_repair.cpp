// repairGameFolder: the source checked, the files that do not match fetched
// into a staging folder, prepared there, checked, and renamed into place.
#include "verify/game_repair.h"

#include "core/failure.h"
#include "core/game_root.h"
#include "import/content_preparation.h"
#include "import/file_hashing.h"
#include "import/import_interruption.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"
#include "core/system_reason.h"
#include "verify/game_verification.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <filesystem>
#include <system_error>

namespace {

using game_manifest::Source;

const QString kStagingName = QStringLiteral("repair");

QString importAgain(const QString& sentence)
{
    return sentence + QStringLiteral(" Import it again to repair the game folder.");
}

bool sameAsRecorded(const Source& recorded, const Source& now)
{
    return recorded.size == now.size && recorded.modified.toMSecsSinceEpoch() == now.modified.toMSecsSinceEpoch();
}

// One file to bring back: where it is in the manifest, where it comes from
// in the source, and where it lies in the staging folder once prepared.
struct RepairItem {
    QString manifestPath;  // relative to the root
    QString sourcePath;    // relative to the source's game data
    QString stagedPath;    // relative to the staging folder
};

// The staging folder, removed again however the repair ends.
class StagingFolder {
public:
    explicit StagingFolder(const QString& root) : path(QDir(game_manifest::recordFolder(root)).filePath(kStagingName))
    {
        QDir(path).removeRecursively();  // left over from a repair that was killed
    }
    ~StagingFolder() { QDir(path).removeRecursively(); }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;

    const QString path;
};

// The lower-case image is made from "Default.xex" by the preparation, so a
// source that only holds the upper-case spelling still repairs it.
QString upperCaseImageFor(const QString& sourcePath)
{
    const QString lower = QFileInfo(game_root::extractedImagePath(QString())).fileName();
    return sourcePath == lower ? QFileInfo(game_root::upperCaseImagePath(QString())).fileName() : QString();
}

// The items to fetch, each named as the source knows it; files the source
// does not hold stay as they are.
QList<RepairItem> repairItems(const VerifyReport& before, const Source& source,
                              const std::function<bool(const QString&)>& sourceHolds)
{
    const QString prefix = source.dataFolder.isEmpty() ? QString() : source.dataFolder + QLatin1Char('/');
    QList<RepairItem> items;
    for (const FileMismatch& mismatch : before.mismatches) {
        if (!mismatch.path.startsWith(prefix))
            continue;
        const QString inSource = mismatch.path.mid(prefix.size());
        if (sourceHolds(inSource))
            items.append(RepairItem{mismatch.path, inSource, inSource});
        else if (const QString upper = upperCaseImageFor(inSource); !upper.isEmpty() && sourceHolds(upper))
            items.append(RepairItem{mismatch.path, upper, inSource});
    }
    return items;
}

bool fetchFromPackage(const Source& source, const QString& staging, QList<RepairItem>* items, const VerifyReport& before,
                      const ProgressFn& progress, QString* error)
{
    StfsReader reader;
    if (!reader.open(source.path, error))
        return false;
    QSet<QString> files;
    for (const StfsFileItem& item : reader.fileList())
        if (!item.isDirectory)
            files.insert(item.path);
    *items = repairItems(before, source, [&files](const QString& path) { return files.contains(path); });
    QSet<QString> wanted;
    for (const RepairItem& item : *items)
        wanted.insert(item.sourcePath);
    const ExtractProgressFn report = progress
        ? ExtractProgressFn([&progress](qint64 done, qint64 total, const QString& path) {
              progress({ImportStep::Extracting, done, total, 0, 0,
                        path.isEmpty() ? QString() : QStringLiteral("Extracting %1").arg(path)});
          })
        : ExtractProgressFn();
    return extractAll(reader, staging, report, error, ExtractOptions{.only = &wanted});
}

bool fetchFromFolder(const Source& source, const QString& staging, QList<RepairItem>* items, const VerifyReport& before,
                     const ProgressFn& progress, QString* error)
{
    const QDir from(source.path);
    *items = repairItems(before, source, [&from](const QString& path) { return QFileInfo(from.filePath(path)).isFile(); });
    const QDir to(staging);
    for (qsizetype i = 0; i < items->size(); ++i) {
        if (importInterruptionRequested())
            return fail(error, importStoppedMessage());
        const QString& path = (*items)[i].sourcePath;
        if (progress)
            progress({ImportStep::Copying, i, items->size(), 0, 0, QStringLiteral("Copying %1").arg(path)});
        QString reason;
        if (!makeFolders(QFileInfo(to.filePath(path)).absolutePath(), &reason))
            return fail(error, withReason(QStringLiteral("Cannot create %1").arg(QFileInfo(to.filePath(path)).absolutePath()), reason));
        QFile file(from.filePath(path));
        if (!file.copy(to.filePath(path)))
            return fail(error, withReason(QStringLiteral("Cannot copy %1 to %2").arg(file.fileName(), to.filePath(path)),
                                          file.errorString()));
    }
    if (progress)
        progress({ImportStep::Copying, items->size(), items->size(), 0, 0, QString()});
    return true;
}

// "Checking <file>" with the files hashed so far.
HashProgressFn checkingReport(const ProgressFn& progress, const QString& base)
{
    if (!progress)
        return {};
    return [progress, base](const HashProgress& hashed) {
        progress({ImportStep::Checking, hashed.filesDone, hashed.filesTotal, hashed.bytesDone, hashed.bytesTotal,
                  hashed.currentFile.isEmpty()
                      ? QString()
                      : QStringLiteral("Checking %1").arg(QDir(base).relativeFilePath(hashed.currentFile))});
    };
}

std::filesystem::path nativePath(const QString& path)
{
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// Each staged file that matches its checksum replaces the file in the game
// folder with one rename; returns the manifest paths put in place.
bool putInPlace(const QString& root, const QString& staging, const QList<RepairItem>& items,
                const QHash<QString, QByteArray>& expected, const ProgressFn& progress, QStringList* placed,
                QString* error)
{
    const QDir stagingDir(staging);
    const QDir rootDir(root);
    QStringList staged;
    for (const RepairItem& item : items)
        staged << stagingDir.filePath(item.stagedPath);
    QList<FileHash> hashes;
    if (!hashFiles(staged, &hashes, checkingReport(progress, staging)))
        return fail(error, importStoppedMessage());
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (hashes[i].outcome != FileHash::Outcome::Hashed || hashes[i].sha256 != expected.value(items[i].manifestPath))
            continue;  // the source's copy does not match either: the file stays on the list
        const QString target = rootDir.filePath(items[i].manifestPath);
        QString reason;
        if (!makeFolders(QFileInfo(target).absolutePath(), &reason))
            return fail(error, withReason(QStringLiteral("Cannot create %1").arg(QFileInfo(target).absolutePath()), reason));
        std::error_code renameError;
        std::filesystem::rename(nativePath(staged[i]), nativePath(target), renameError);
        if (renameError)
            return fail(error, withReason(QStringLiteral("Cannot replace %1 with its repaired copy").arg(items[i].manifestPath),
                                          reasonText(renameError)));
        placed->append(items[i].manifestPath);
    }
    return true;
}

// The files put in place, read again: those that match leave the list.
bool verifyAgain(const QString& root, const QStringList& placed, const QHash<QString, QByteArray>& expected,
                 QSet<QString>* repaired)
{
    QStringList paths;
    for (const QString& path : placed)
        paths << QDir(root).filePath(path);
    QList<FileHash> hashes;
    if (!hashFiles(paths, &hashes))
        return false;
    for (qsizetype i = 0; i < placed.size(); ++i)
        if (hashes[i].outcome == FileHash::Outcome::Hashed && hashes[i].sha256 == expected.value(placed[i]))
            repaired->insert(placed[i]);
    return true;
}

} // namespace

RepairSourceCheck checkRepairSource(const QString& root)
{
    RepairSourceCheck check;
    QString error;
    if (!game_manifest::readSource(root, &check.source, &error)) {
        check.reason = QStringLiteral("The record of where this game folder came from cannot be read: %1. "
                                      "Import the game again to repair the game folder.")
                           .arg(error);
        return check;
    }
    const Source& recorded = check.source;
    const bool package = recorded.kind == Source::Kind::Package;
    const QString what = package ? QStringLiteral("package") : QStringLiteral("folder");
    Source now;
    if (recorded.kind == Source::Kind::None)
        check.reason = QStringLiteral("No source was recorded for this game folder (an import in place keeps none), "
                                      "so there is nothing to repair it from. Import the game again to repair it.");
    else if (!game_manifest::describeSource(recorded.kind, recorded.path, recorded.dataFolder, &now))
        check.reason = importAgain(QStringLiteral("The %1 %2 is no longer there.").arg(what, recorded.path));
    else if (!sameAsRecorded(recorded, now))
        check.reason = importAgain(QStringLiteral("The %1 %2 has changed since it was imported.").arg(what, recorded.path));
    else if (StfsReader reader; package && !reader.open(recorded.path, &error))
        check.reason = importAgain(QStringLiteral("The package %1 can no longer be read (%2).")
                                       .arg(recorded.path, error.endsWith(QLatin1Char('.')) ? error.chopped(1) : error));
    else
        check.usable = true;
    return check;
}

QString RepairResult::text() const
{
    if (!refusal.isEmpty())
        return refusal;
    if (stopped)
        return QStringLiteral("Repair stopped before it finished.");
    const QString repairedLine = QStringLiteral("Repaired %1 files.").arg(repaired);
    if (after.allGood())
        return repairedLine;
    return repaired > 0 ? repairedLine + QStringLiteral("\n\n") + after.text() : after.text();
}

RepairResult repairGameFolder(const QString& root, const GameProfile& profile, const VerifyReport& before,
                              const ProgressFn& progress)
{
    RepairResult result;
    result.after = before;
    if (!before.needsRepair())
        return result;
    const RepairSourceCheck check = checkRepairSource(root);
    if (!check.usable) {
        result.refusal = check.reason;
        return result;
    }
    QList<game_manifest::Entry> entries;
    if (!game_manifest::readManifest(root, &entries, &result.refusal))
        return result;
    QHash<QString, QByteArray> expected;
    for (const game_manifest::Entry& entry : entries)
        expected.insert(entry.path, entry.sha256);

    const StagingFolder staging(root);
    QList<RepairItem> items;
    QStringList placed;
    QSet<QString> repaired;
    QString error;
    const bool fetched = check.source.kind == Source::Kind::Package
        ? fetchFromPackage(check.source, staging.path, &items, before, progress, &error)
        : fetchFromFolder(check.source, staging.path, &items, before, progress, &error);
    const bool done = fetched && prepareContent(staging.path, progress, &error)
        && putInPlace(root, staging.path, items, expected, progress, &placed, &error)
        && verifyAgain(root, placed, expected, &repaired);
    if (!done) {
        if (importInterruptionRequested())
            result.stopped = true;
        else
            result.refusal = QStringLiteral("Repair failed:\n%1").arg(error);
        if (placed.isEmpty())
            return result;
    }

    result.repaired = int(repaired.size());
    result.after.mismatches.removeIf([&repaired](const FileMismatch& mismatch) { return repaired.contains(mismatch.path); });
    result.after.otherProblems = gameFolderProblems(root, profile, false);
    return result;
}
