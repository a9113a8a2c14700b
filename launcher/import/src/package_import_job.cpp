// runPackageImport: open, lock the root, extract into <root>/gamedata,
// prepare, and adopt the root when it holds the executable image.
#include "import/import_jobs.h"

#include "core/game_root.h"
#include "import/content_preparation.h"
#include "import/game_folder_lock.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"

namespace {

// Extraction reports the path of each entry; the label names it.
ExtractProgressFn extractionProgress(const ProgressFn& progress)
{
    if (!progress)
        return {};
    return [progress](qint64 done, qint64 total, const QString& path) {
        progress(done, total, path.isEmpty() ? QString() : QStringLiteral("Extracting %1").arg(path));
    };
}

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

    const QString target = game_root::dataSubfolder(request.root);
    if (!extractAll(reader, target, extractionProgress(progress), &result.error))
        return result;
    if (!prepareContent(target, progress, &result.error, &result.filesDecoded, request.durability))
        return result;
    if (!flushFolderToDisk(target, request.durability, &result.error))
        return result;

    result.fileCount = items.size();
    if (game_root::holdsImage(request.root))
        result.adoptedRoot = request.root;
    return result;
}
