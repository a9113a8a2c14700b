// Program files discovery.
#include "core/program_files.h"

#include "core/game_data.h"
#include "core/game_profile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <functional>

namespace {

// Examines one folder, recording it in the result; true when it holds the
// whole program set.
bool examineFolder(const GameProfile& profile, const QString& folder, ProgramFilesResult& result)
{
    result.searched << folder;
    const QDir dir(folder);
    QStringList missing;
    for (const QString& name : programSet(profile)) {
        if (!QFileInfo(dir.filePath(name)).isFile())
            missing << name;
    }
    if (missing.isEmpty()) {
        result.found = true;
        result.programDir = folder;
        result.exePath = dir.filePath(profile.gameKey);
        return true;
    }
    if (!missing.contains(profile.gameKey))
        result.partial << QStringLiteral("%1 (missing %2)").arg(folder, missing.join(QStringLiteral(", ")));
    return false;
}

// The candidates in order: the game root, the launcher's folder, then the
// other game roots. Those are looked for only when the first two fail, as
// finding them walks every search place.
ProgramFilesResult searchCandidates(const GameProfile& profile, const QString& gameRoot,
                                    const std::function<QStringList()>& otherGameRoots)
{
    ProgramFilesResult result;
    // Each candidate once, cleaned.
    const auto examineOnce = [&](const QString& folder) {
        if (folder.isEmpty())
            return false;
        const QString cleaned = QDir::cleanPath(folder);
        return !result.searched.contains(cleaned) && examineFolder(profile, cleaned, result);
    };
    if (examineOnce(gameRoot) || examineOnce(QCoreApplication::applicationDirPath()))
        return result;
    for (const QString& root : otherGameRoots()) {
        if (examineOnce(root))
            break;
    }
    return result;
}

} // namespace

QStringList programSet(const GameProfile& profile)
{
    return QStringList{profile.gameKey} + profile.runtimeLibraries;
}

ProgramFilesResult findProgramFiles(const GameProfile& profile, const QString& gameRoot)
{
    return searchCandidates(profile, gameRoot, [&profile] { return findAllGameRoots(profile); });
}

ProgramFilesResult findProgramFiles(const GameProfile& profile, const QString& gameRoot,
                                    const QString& rememberedRoot)
{
    return searchCandidates(profile, gameRoot,
                            [&] { return findAllGameRoots(profile, rememberedRoot); });
}
