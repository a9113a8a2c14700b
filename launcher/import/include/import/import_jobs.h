// The two import jobs: a package extracted into <root>/gamedata and prepared,
// or an extracted folder prepared in place or as a copy. Each runs its whole
// pipeline on the calling thread, holding the root's GameFolderLock (a root
// another import or verification is using is refused), reports progress
// through a callback, stops between items when the calling thread is asked
// to, records the game folder's manifest and source (see game_manifest.h)
// and decides whether its new folder is adopted as the game root.
// Remembering the root and every window update are left to the caller.
#pragma once

#include "core/game_profile.h"
#include "import/durable_replacements.h"
#include "import/import_progress.h"

#include <QString>
#include <QtGlobal>

struct ImportResult {
    QString error;        // empty when the job succeeded
    QString adoptedRoot;  // the folder to use as game root; empty when not adopted
    qint64 fileCount = 0;     // named package entries, files and folders
    quint64 totalBytes = 0;   // sum of their sizes
    qint64 filesDecoded = 0;  // compressed files replaced by their content
    // Why the manifest could not be recorded (a read-only folder imported in
    // place, a full disk); empty when it was. The import itself succeeded.
    QString manifestProblem;

    bool succeeded() const { return error.isEmpty(); }
};

struct PackageImportRequest {
    QString packagePath;
    QString root;  // <parent>/<package base name>; the package goes to root/gamedata
    Durability durability = Durability::Flushed;
};

// Opens the package, extracts it and prepares the extracted content. The root
// is adopted when it then holds a default.xex; there is no title check. The
// whole tree is on disk before the job returns a root to remember.
ImportResult runPackageImport(const PackageImportRequest& request, const ProgressFn& progress);

struct FolderImportRequest {
    QString source;  // the extracted folder the user chose
    QString root;    // the folder that becomes the game root
    QString target;  // the folder that is prepared: source itself, or root/gamedata
    bool makeCopy = false;  // copy source into target first
    Durability durability = Durability::Flushed;
};

// Copies (when asked) and prepares. The root is adopted only when it passes
// the title check for profile; otherwise the job fails with the sentence
// naming the expected title. As for a package, the tree is on disk before
// the job returns.
ImportResult runFolderImport(const FolderImportRequest& request, const GameProfile& profile,
                             const ProgressFn& progress);
