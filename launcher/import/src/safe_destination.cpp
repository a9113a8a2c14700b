// SafeDestination: folder creation and file-target checks that refuse
// symbolic links below the destination.
#include "import/safe_destination.h"

#include "core/system_reason.h"

#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

enum class PathKind { Missing, Folder, SymbolicLink, Other };

PathKind kindOf(const QString& path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return PathKind::Missing;
    if (S_ISLNK(status.st_mode))
        return PathKind::SymbolicLink;
    return S_ISDIR(status.st_mode) ? PathKind::Folder : PathKind::Other;
}

} // namespace

SafeDestination::SafeDestination(const QDir& destination) : root(destination) {}

SafeDestination::Outcome SafeDestination::makeFolder(const QString& relativePath)
{
    if (relativePath.isEmpty() || knownFolders.contains(relativePath))
        return Outcome::Ready;
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    QString prefix;
    for (const QString& part : parts) {
        prefix = prefix.isEmpty() ? part : prefix + QLatin1Char('/') + part;
        if (knownFolders.contains(prefix))
            continue;
        const QString full = root.filePath(prefix);
        switch (kindOf(full)) {
        case PathKind::Folder:
            break;
        case PathKind::SymbolicLink:
            blocking = full;
            return Outcome::SymbolicLink;
        case PathKind::Other:
            reason = reasonText(ENOTDIR); // a file where a folder belongs
            return Outcome::Failed;
        case PathKind::Missing:
            if (::mkdir(QFile::encodeName(full).constData(), 0777) != 0) {
                const int mkdirError = errno;
                if (kindOf(full) != PathKind::Folder) { // not made meanwhile by someone else
                    reason = reasonText(mkdirError);
                    return Outcome::Failed;
                }
            }
            break;
        }
        knownFolders.insert(prefix);
    }
    return Outcome::Ready;
}

SafeDestination::Outcome SafeDestination::checkFileTarget(const QString& relativePath)
{
    const QString full = root.filePath(relativePath);
    if (kindOf(full) == PathKind::SymbolicLink) {
        blocking = full;
        return Outcome::SymbolicLink;
    }
    return Outcome::Ready;
}
