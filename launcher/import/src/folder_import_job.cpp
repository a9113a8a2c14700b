// runFolderImport: lock the root, copy (when asked), prepare, record the
// manifest, and adopt the root once it passes the title check.
#include "import/import_jobs.h"

#include "core/game_data.h"
#include "import/content_preparation.h"
#include "import/game_folder_lock.h"
#include "import/game_manifest.h"
#include "import/import_interruption.h"

#include <QDir>
#include <QFileInfo>

ImportResult runFolderImport(const FolderImportRequest& request, const GameProfile& profile,
                             const ProgressFn& progress)
{
    ImportResult result;
    GameFolderLock lock(request.root);
    if (lock.acquire() == GameFolderLock::Outcome::Busy) {
        result.error = lock.busyMessage();
        return result;
    }
    // A copy and its preparation share the bar by their bytes: the copy's
    // own report gives its bytes, the compressed files' are known now.
    enum Step { Copy, Preparation };
    const qint64 compressedBytes = progress && request.makeCopy ? totalSize(listCompressedFiles(request.source)) : 0;
    StepWeights steps({request.makeCopy ? 1 : 0, compressedBytes});
    if (request.makeCopy && !copyFolder(request.source, request.target, steps.reporter(Copy, progress), &result.error))
        return result;
    if (!prepareContent(request.target, steps.reporter(Preparation, progress), &result.error, &result.filesDecoded,
                        nullptr, request.durability))
        return result;
    if (!flushFolderToDisk(request.target, request.durability, &result.error))
        return result;
    // The check reads root, not target: a prepared copy keeps its image in
    // root/gamedata.
    if (!checkGameTitle(profile, request.root)) {
        result.error = QStringLiteral("the folder does not validate as %1 (title %2).")
                           .arg(profile.displayName, profile.titleId);
        return result;
    }

    // Nothing passed through memory on the way (the copy is the system's),
    // so every file is read once for the manifest, from the page cache.
    using game_manifest::Source;
    Source source;
    if (request.makeCopy)
        game_manifest::describeSource(Source::Kind::Folder, QFileInfo(request.source).absoluteFilePath(),
                                      QDir(request.root).relativeFilePath(request.target), &source);
    if (!(game_manifest::recordManifest(request.root, request.target, {}, {}, &result.manifestProblem)
          && game_manifest::writeSource(request.root, source, &result.manifestProblem))
        && importInterruptionRequested()) {
        result.error = result.manifestProblem;
        return result;
    }
    result.adoptedRoot = request.root;
    return result;
}
