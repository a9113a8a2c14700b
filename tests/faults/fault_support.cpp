// Checksummed trees, scratch mounts and file-size limits for the fault tests.
#include "fault_support.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

namespace fault_support {

namespace {

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result();
}

} // namespace

TreeChecksums::TreeChecksums(const QStringList& roots) : roots(roots)
{
    for (const QString& root : roots) {
        QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            sums.insert(path, sha256Of(path));
        }
    }
}

QStringList TreeChecksums::changedSince() const
{
    QStringList changed;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it) {
        if (!QFile::exists(it.key()))
            changed << it.key() + QStringLiteral(" is gone");
        else if (sha256Of(it.key()) != it.value())
            changed << it.key() + QStringLiteral(" holds other bytes");
    }
    return changed;
}

ScratchMount::ScratchMount(const QString& target, const QStringList& mountArguments) : target(target)
{
    if (!runningAsRoot())
        return;
    mounted = QProcess::execute(QStringLiteral("mount"), mountArguments) == 0;
}

ScratchMount ScratchMount::tmpfs(const QString& folder, int sizeKiB)
{
    return ScratchMount(folder, {"-t", "tmpfs", "-o", QStringLiteral("size=%1k,mode=0755").arg(sizeKiB),
                                 "tmpfs", folder});
}

ScratchMount ScratchMount::readOnlyBind(const QString& folder)
{
    return ScratchMount(folder, {"--bind", "-o", "ro", folder, folder});
}

ScratchMount ScratchMount::bindFile(const QString& source, const QString& target)
{
    return ScratchMount(target, {"--bind", source, target});
}

ScratchMount::ScratchMount(ScratchMount&& other) noexcept : target(other.target), mounted(other.mounted)
{
    other.mounted = false;
}

ScratchMount::~ScratchMount()
{
    if (mounted)
        QProcess::execute(QStringLiteral("umount"), {target});
}

UnwritableTree::UnwritableTree(const QString& folder) : folder(folder)
{
    if (runningAsRoot())
        mount = std::make_unique<ScratchMount>(ScratchMount::readOnlyBind(folder));
    else
        setWritable(false);
}

bool UnwritableTree::ok() const
{
    return mount ? mount->ok() : !QFileInfo(folder).isWritable();
}

QString UnwritableTree::reason() const
{
    return systemReason(mount ? EROFS : EACCES);
}

void UnwritableTree::restore()
{
    if (restored)
        return;
    restored = true;
    if (mount)
        mount.reset();
    else
        setWritable(true);
}

// Folders keep read and search rights, so that the tree stays readable.
void UnwritableTree::setWritable(bool writable)
{
    const QFile::Permissions file = QFile::ReadOwner | (writable ? QFile::WriteOwner : QFile::Permissions());
    const QFile::Permissions dir = file | QFile::ExeOwner;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    QStringList folders{folder};
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileInfo().isSymLink())
            continue;
        if (it.fileInfo().isDir())
            folders << path;
        else
            QFile::setPermissions(path, file);
    }
    for (const QString& path : folders)
        QFile::setPermissions(path, dir);
}

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    getrlimit(RLIMIT_FSIZE, &previous);
    previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = previous;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
}

FileSizeLimit::~FileSizeLimit()
{
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

QString systemReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

} // namespace fault_support
