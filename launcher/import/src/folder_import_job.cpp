// runFolderImport: lock the root, copy (when asked), prepare, and adopt the
// root once it passes the title check.
#include "import/import_jobs.h"

#include "core/game_data.h"
#include "import/content_preparation.h"
#include "import/game_folder_lock.h"

ImportResult runFolderImport(const FolderImportRequest& request, const GameProfile& profile,
                             const ProgressFn& progress)
{
    ImportResult result;
    GameFolderLock lock(request.root);
    if (lock.acquire() == GameFolderLock::Outcome::Busy) {
        result.error = lock.busyMessage();
        return result;
    }
    if (request.makeCopy && !copyFolder(request.source, request.target, progress, &result.error))
        return result;
    if (!prepareContent(request.target, progress, &result.error, &result.filesDecoded, request.durability))
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
    result.adoptedRoot = request.root;
    return result;
}
