// --import PATH [--into FOLDER]: the window's package and folder imports
// without their dialogs. The same jobs, texts, adoption and remembering; the
// choices the dialogs ask for come from the command line (--into, or in
// place), and Ctrl+C stops the job between items as Cancel does.
#include "commands.h"

#include "cli/command_line.h"
#include "core/launcher_session.h"
#include "import/import_jobs.h"
#include "import/import_sources.h"
#include "import/stfs_reader.h"
#include "worker_job.h"

#include <QDir>
#include <QFileInfo>

#include <functional>

namespace cli {

namespace {

using ImportJob = std::function<ImportResult(const ProgressFn&)>;

// Relative paths are taken from the working folder, before anything else.
QString absolutePath(const QString& path)
{
    return QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

ImportResult runJob(const ImportJob& job, QTextStream& err)
{
    ImportResult result;
    runWorkerJob([&result, &job](const ProgressFn& progress) { result = job(progress); }, err,
                 QStringLiteral("Stopping the import once the files in progress are done (Ctrl+C again quits at once)."));
    return result;
}

int importPackage(CommandContext& context, const QString& package, const QString& parentFolder)
{
    QString error;
    if (!StfsReader().open(package, &error)) {
        context.err << import_texts::packageUnreadable(error) << '\n';
        return kExitFailed;
    }
    const PackageImportRequest request = packageImportRequest(package, parentFolder);
    const ImportResult result =
        runJob([request](const ProgressFn& progress) { return runPackageImport(request, progress); }, context.err);
    if (!result.succeeded()) {
        context.err << import_texts::extractionFailed(result.error) << '\n';
        return kExitFailed;
    }
    context.session.adoptGameRoot(result.adoptedRoot);
    context.out << import_texts::packageImported(packageName(package), result) << '\n';
    if (result.adoptedRoot.isEmpty()) {
        context.err << "The package holds no default.xex, so it is not the game's package: the game data in use "
                       "stays as it was."
                    << '\n';
        return kExitFailed;
    }
    return kExitSucceeded;
}

// In place without a parent folder, else as a prepared copy in it.
int importFolder(CommandContext& context, const QString& folder, const QString& parentFolder)
{
    const ExtractedFolder extracted = inspectExtractedFolder(folder);
    if (!extracted.holdsImage) {
        context.err << import_texts::noExtractedGame() << '\n';
        return kExitFailed;
    }
    const GameProfile& profile = context.session.profile();
    const bool makeCopy = !parentFolder.isEmpty();
    FolderImportRequest request = inPlaceImportRequest(folder);
    if (makeCopy) {
        request = preparedCopyImportRequest(folder, parentFolder, profile);
        if (QFileInfo::exists(request.target)) {
            context.err << import_texts::preparedCopyExists(request.target) << '\n';
            return kExitFailed;
        }
    } else if (!extracted.writable && !extracted.readyInPlace()) {
        context.err << "This folder is read-only and still needs one-time preparation (decompressing the game's "
                       "content files). Give --into FOLDER to make a prepared copy somewhere else."
                    << '\n';
        return kExitFailed;
    }
    const ImportResult result = runJob(
        [request, profile](const ProgressFn& progress) { return runFolderImport(request, profile, progress); },
        context.err);
    if (!result.succeeded()) {
        context.err << import_texts::folderImportFailed(result.error) << '\n';
        return kExitFailed;
    }
    context.session.adoptGameRoot(result.adoptedRoot);
    const bool quiet = !makeCopy && extracted.compressed.isEmpty();
    context.out << (quiet ? import_texts::usingGameData(result.adoptedRoot)
                          : import_texts::gameDataReady(result.adoptedRoot))
                << '\n';
    return kExitSucceeded;
}

} // namespace

int runImport(CommandContext& context)
{
    const QString path = absolutePath(context.parser.value(QStringLiteral("import")));
    const bool into = context.parser.isSet(QStringLiteral("into"));
    const QString parentFolder = into ? absolutePath(context.parser.value(QStringLiteral("into"))) : QString();
    if (QFileInfo(path).isDir())
        return importFolder(context, path, parentFolder);
    // Anything else is taken for a package; the check says why it is none.
    return importPackage(context, path,
                         into ? parentFolder : QDir(QDir::homePath()).filePath(QStringLiteral("Games")));
}

} // namespace cli
