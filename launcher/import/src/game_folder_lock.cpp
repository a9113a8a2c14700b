// GameFolderLock: the writer's lock file of a game folder.
#include "import/game_folder_lock.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kLockFolder = QStringLiteral(".orvello");
const QString kLockName = QStringLiteral("writer.lock");

} // namespace

GameFolderLock::GameFolderLock(const QString& root)
    : root(root)
{
}

GameFolderLock::~GameFolderLock() = default; // QLockFile unlocks when it goes

QString GameFolderLock::lockPath() const
{
    return QDir(root).filePath(kLockFolder + QLatin1Char('/') + kLockName);
}

QString GameFolderLock::busyMessage() const
{
    return QStringLiteral("Another import or verification is using %1.").arg(root);
}

GameFolderLock::Outcome GameFolderLock::acquire()
{
    if (lock && lock->isLocked())
        return Outcome::Held;
    const QString folder = QDir(root).filePath(kLockFolder);
    const bool folderExisted = QFileInfo(folder).isDir();
    if (!folderExisted && !QDir().mkpath(folder))
        return Outcome::Unavailable;
    lock = std::make_unique<QLockFile>(lockPath());
    // An import may run for many minutes: the lock is never taken for stale
    // by its age, only when the process that holds it has died.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0))
        return Outcome::Held;
    const QLockFile::LockError error = lock->error();
    lock.reset();
    if (error == QLockFile::LockFailedError)
        return Outcome::Busy;
    if (!folderExisted)
        QDir().rmdir(folder);
    return Outcome::Unavailable;
}
