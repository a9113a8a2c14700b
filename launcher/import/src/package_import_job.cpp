// runPackageImport: open, lock the root, extract into <root>/gamedata,
// prepare, record the manifest, and adopt the root when it holds the
// executable image.
#include "import/import_jobs.h"

#include "core/game_root.h"
#include "import/content_preparation.h"
#include "import/game_folder_lock.h"
#include "import/game_manifest.h"
#include "import/import_interruption.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"

#include <QDir>
#include <QFileInfo>

#include <vector>

namespace {

enum Step { Extraction, Preparation };

// Turns extraction's reports into the import's: the label names the entry,
// and the bytes follow the entries. Extraction names each entry before it
// writes it, so when the next one is named the one before is complete: its
// bytes count as done, and whether it is compressed is seen. The compressed
// share of what has been written estimates the preparation's weight on the
// bar until preparation gives its own.
class ExtractionReports {
public:
    ExtractionReports(const QList<StfsFileItem>& items, const QString& target, StepWeights& steps,
                      const ProgressFn& progress)
        : items(items), target(target), steps(steps), progress(progress)
    {
        bytesBefore.reserve(size_t(items.size()) + 1);
        bytesBefore.push_back(0);
        for (const StfsFileItem& item : items)
            bytesBefore.push_back(bytesBefore.back() + item.size);
    }

    // Entries are reported in the order fileList lists them.
    void report(qint64 done, qint64 total, const QString& path)
    {
        for (; seen < done && seen < items.size(); ++seen) {
            const StfsFileItem& item = items[seen];
            if (!item.isDirectory && isCompressedFile(QDir(target).filePath(item.path)))
                compressedSeen += item.size;
        }
        const qint64 bytesDone = bytesBefore[size_t(std::min<qint64>(done, items.size()))];
        if (bytesDone > 0)
            steps.setWeight(Preparation, qint64(double(compressedSeen) / bytesDone * bytesBefore.back()));
        ImportProgress extraction{ImportStep::Extracting, done, total, bytesDone, bytesBefore.back(),
                                  path.isEmpty() ? QString() : QStringLiteral("Extracting %1").arg(path)};
        extraction.jobShare = steps.jobShare(Extraction, extraction);
        progress(extraction);
    }

private:
    const QList<StfsFileItem>& items;
    const QString target;
    StepWeights& steps;
    const ProgressFn& progress;
    std::vector<qint64> bytesBefore; // bytes of the entries before each one
    qint64 seen = 0;                 // entries looked at for compression
    qint64 compressedSeen = 0;
};

} // namespace

ImportResult runPackageImport(const PackageImportRequest& request, const ProgressFn& progress)
{
    ImportResult result;
    StfsReader reader;
    if (!reader.open(request.packagePath, &result.error))
        return result;
    GameFolderLock lock(request.root);
    if (lock.acquire() == GameFolderLock::Outcome::Busy) {
        result.error = lock.busyMessage();
        return result;
    }
    const QList<StfsFileItem> items = reader.fileList();
    for (const StfsFileItem& item : items)
        result.totalBytes += item.size;

    // The extraction hashes what it writes; only the files preparation
    // replaces are read again for the manifest.
    const QString target = game_root::dataSubfolder(request.root);
    // Until extraction has seen some, the whole package may be compressed.
    StepWeights steps({qint64(result.totalBytes), qint64(result.totalBytes)});
    ExtractionReports extraction(items, target, steps, progress);
    ExtractProgressFn extractionProgress;
    if (progress)
        extractionProgress = [&extraction](qint64 done, qint64 total, const QString& path) {
            extraction.report(done, total, path);
        };
    FileDigests digests;
    if (!extractAll(reader, target, extractionProgress, &result.error, ExtractOptions{.digests = &digests}))
        return result;
    QStringList decodedFiles;
    if (!prepareContent(target, steps.reporter(Preparation, progress), &result.error, &result.filesDecoded,
                        &decodedFiles, request.durability))
        return result;
    if (!flushFolderToDisk(target, request.durability, &result.error))
        return result;

    game_manifest::Source source;
    game_manifest::describeSource(game_manifest::Source::Kind::Package,
                                  QFileInfo(request.packagePath).absoluteFilePath(),
                                  QDir(request.root).relativeFilePath(target), &source);
    const QSet<QString> replaced(decodedFiles.cbegin(), decodedFiles.cend());
    if (!(game_manifest::recordManifest(request.root, target, digests, replaced, &result.manifestProblem)
          && game_manifest::writeSource(request.root, source, &result.manifestProblem))
        && importInterruptionRequested()) {
        result.error = result.manifestProblem;
        return result;
    }

    result.fileCount = items.size();
    if (game_root::holdsImage(request.root))
        result.adoptedRoot = request.root;
    return result;
}
