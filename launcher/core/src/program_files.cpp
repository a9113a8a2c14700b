// Program files discovery.
#include "core/program_files.h"

#include "core/game_data.h"
#include "core/game_profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

QStringList candidateFolders(const GameProfile& profile, const QString& gameRoot)
{
    QStringList candidates;
    const auto addOnce = [&candidates](const QString& folder) {
        if (folder.isEmpty())
            return;
        const QString cleaned = QDir::cleanPath(folder);
        if (!candidates.contains(cleaned))
            candidates << cleaned;
    };
    addOnce(gameRoot);
    addOnce(QCoreApplication::applicationDirPath());
    for (const QString& root : findAllGameRoots(profile))
        addOnce(root);
    return candidates;
}

} // namespace

QStringList programSet(const GameProfile& profile)
{
    return QStringList{profile.gameKey} + profile.runtimeLibraries;
}

ProgramFilesResult findProgramFiles(const GameProfile& profile, const QString& gameRoot)
{
    ProgramFilesResult result;
    const QStringList files = programSet(profile);
    for (const QString& folder : candidateFolders(profile, gameRoot)) {
        result.searched << folder;
        const QDir dir(folder);
        QStringList missing;
        for (const QString& name : files) {
            if (!QFileInfo(dir.filePath(name)).isFile())
                missing << name;
        }
        if (missing.isEmpty()) {
            result.found = true;
            result.programDir = folder;
            result.exePath = dir.filePath(profile.gameKey);
            return result;
        }
        if (!missing.contains(profile.gameKey))
            result.partial << QStringLiteral("%1 (missing %2)").arg(folder, missing.join(QStringLiteral(", ")));
    }
    return result;
}
