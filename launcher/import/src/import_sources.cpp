// Import requests from what the user named, and the texts about them.
#include "import/import_sources.h"

#include "core/game_profile.h"
#include "core/game_root.h"
#include "import/content_preparation.h"

#include <QDir>
#include <QFileInfo>

QString packageName(const QString& packagePath)
{
    return QFileInfo(packagePath).completeBaseName();
}

PackageImportRequest packageImportRequest(const QString& packagePath, const QString& parentFolder)
{
    return {packagePath, QDir(parentFolder).filePath(packageName(packagePath))};
}

ExtractedFolder inspectExtractedFolder(const QString& folder)
{
    ExtractedFolder inspected;
    inspected.folder = folder;
    inspected.holdsImage = game_root::holdsExtractedImage(folder);
    if (!inspected.holdsImage)
        return inspected;
    inspected.lowerCaseImage = QFileInfo::exists(game_root::extractedImagePath(folder));
    inspected.compressed = listCompressedFiles(folder);
    inspected.writable = QFileInfo(folder).isWritable();
    return inspected;
}

FolderImportRequest inPlaceImportRequest(const QString& folder)
{
    return {folder, folder, folder, false};
}

FolderImportRequest preparedCopyImportRequest(const QString& folder, const QString& parentFolder,
                                              const GameProfile& profile)
{
    const QString root = QDir(parentFolder).filePath(profile.preparedCopyFolderName);
    return {folder, root, game_root::dataSubfolder(root), true};
}

namespace import_texts {

QString packageTitle()
{
    return QStringLiteral("Import XBLA package");
}

QString folderTitle()
{
    return QStringLiteral("Import game data");
}

QString packageUnreadable(const QString& reason)
{
    return QStringLiteral("Could not read package:\n%1").arg(reason);
}

QString extractionFailed(const QString& reason)
{
    return QStringLiteral("Extraction failed:\n%1").arg(reason);
}

QString packageImported(const QString& packageName, const ImportResult& result)
{
    return QStringLiteral("Imported %1: %2 files, %3 MB extracted")
        .arg(packageName, QString::number(result.fileCount), QString::number(result.totalBytes >> 20));
}

QString noExtractedGame()
{
    return QStringLiteral("That folder does not hold the extracted game (no Default.xex found).");
}

QString preparedCopyExists(const QString& target)
{
    return QStringLiteral("%1 already exists. Choose another location or remove it first.").arg(target);
}

QString folderImportFailed(const QString& reason)
{
    return QStringLiteral("Import failed:\n%1").arg(reason);
}

QString usingGameData(const QString& root)
{
    return QStringLiteral("Using game data in %1").arg(root);
}

QString gameDataReady(const QString& root)
{
    return QStringLiteral("Game data ready in:\n%1").arg(root);
}

} // namespace import_texts
