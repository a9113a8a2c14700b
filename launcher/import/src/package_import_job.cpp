// runPackageImport: open, extract into <root>/gamedata, prepare, record the
// manifest, and adopt the root when it holds the executable image.
#include "import/import_jobs.h"

#include "core/game_root.h"
#include "import/content_preparation.h"
#include "import/game_manifest.h"
#include "import/import_interruption.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"

#include <QDir>
#include <QFileInfo>

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
    const QList<StfsFileItem> items = reader.fileList();
    for (const StfsFileItem& item : items)
        result.totalBytes += item.size;

    // The extraction hashes what it writes; only the files preparation
    // replaces are read again for the manifest.
    const QString target = game_root::dataSubfolder(request.root);
    FileDigests digests;
    if (!extractAll(reader, target, extractionProgress(progress), &result.error, ExtractOptions{.digests = &digests}))
        return result;
    QStringList decodedFiles;
    if (!prepareContent(target, progress, &result.error, &result.filesDecoded, &decodedFiles))
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
