// The readiness status.
#include "core/readiness_status.h"

#include <QDir>
#include <QFileInfo>

bool ReadinessStatus::programFilesInGameRoot() const
{
    return isReady() && QDir::cleanPath(gameRoot) == programFiles.programDir;
}

ReadinessStatus readinessStatus(const GameProfile& profile, const QString& gameRoot)
{
    ReadinessStatus status;
    status.gameRoot = gameRoot;
    if (gameRoot.isEmpty() || !QFileInfo(gameRoot).isDir())
        return status;
    status.programFiles = findProgramFiles(profile, gameRoot, gameRoot);
    status.readiness = status.programFiles.found ? ReadinessStatus::Readiness::Ready
                                                 : ReadinessStatus::Readiness::ProgramFilesNotFound;
    return status;
}
