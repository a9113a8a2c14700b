// The two sources of game data as the user names them, turned into import
// requests: a package and the folder to extract it into, or an extracted
// folder, prepared in place or as a copy. With the texts that the import
// dialogs and the command line both show about them, kept in one place so
// that both say the same.
#pragma once

#include "import/import_jobs.h"

#include <QString>
#include <QStringList>

struct GameProfile;

// A package: <parent>/<package name>, the package name being the file name
// without its last suffix (a name without a dot whole).
QString packageName(const QString& packagePath);
PackageImportRequest packageImportRequest(const QString& packagePath, const QString& parentFolder);

// What an extracted folder holds, for deciding how to import it.
struct ExtractedFolder {
    QString folder;
    bool holdsImage = false;     // Default.xex or default.xex
    bool lowerCaseImage = false; // default.xex itself
    QStringList compressed;      // its compressed content files
    bool writable = false;

    // Nothing to decode, and default.xex present or makeable in place: the
    // folder is adopted as it is, without asking.
    bool readyInPlace() const { return compressed.isEmpty() && (lowerCaseImage || writable); }
};

ExtractedFolder inspectExtractedFolder(const QString& folder);
FolderImportRequest inPlaceImportRequest(const QString& folder);
// The copy goes to <parent>/<the profile's prepared-copy folder>/gamedata.
FolderImportRequest preparedCopyImportRequest(const QString& folder, const QString& parentFolder,
                                              const GameProfile& profile);

namespace import_texts {

QString packageTitle();        // "Import XBLA package"
QString folderTitle();         // "Import game data"
QString packageUnreadable(const QString& reason);
QString extractionFailed(const QString& reason);
QString packageImported(const QString& packageName, const ImportResult& result);
QString noExtractedGame();
QString preparedCopyExists(const QString& target);
QString folderImportFailed(const QString& reason);
QString usingGameData(const QString& root);
QString gameDataReady(const QString& root);

} // namespace import_texts
