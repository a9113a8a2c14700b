// Game data location and validation.
#include "core/game_data.h"

#include "core/game_profile.h"
#include "core/game_root.h"
#include "core/launcher_settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QtEndian>

#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype kHeaderBytesRead = 4096;
constexpr qsizetype kFirstEntryOffset = 24;
constexpr qsizetype kEntryCountOffset = 20;
constexpr quint32 kMaxEntriesExamined = 256;
constexpr quint32 kExecutionInfoKey = 0x00040006;
constexpr quint32 kTitleIdOffsetInExecutionInfo = 12;

constexpr int kLauncherAncestorsSearched = 4;

quint32 readBigEndian32(const QByteArray& bytes, qsizetype offset)
{
    return qFromBigEndian<quint32>(bytes.constData() + offset);
}

// Opens image for reading only when it is a regular file, and never waits
// on the open: opening a FIFO for reading waits for a writer, and a device
// or a socket is no image either. The first look (a stat) spares devices
// the open; the open itself is non-blocking and checked again, in case the
// file was swapped in between.
bool openRegularFile(QFile& image)
{
    if (!QFileInfo(image.fileName()).isFile())
        return false;
    const int fd = ::open(QFile::encodeName(image.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return false;
    }
    return image.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
}

QString rememberedRootKey(const GameProfile& profile)
{
    return QStringLiteral("detection/%1/root").arg(profile.titleId);
}

// Searches check many folders; the canonical temporary folder is worked out
// once per search instead of once per folder.
class CandidateFilter {
public:
    explicit CandidateFilter(const GameProfile& profile)
        : profile_(profile), tempDir_(QFileInfo(QDir::tempPath()).canonicalFilePath())
    {
    }

    // The canonical path of a passing candidate, else "".
    QString accept(const QString& path) const
    {
        // Most folders a search visits hold no image at all; two stat calls
        // rule them out before the dearer canonical path is worked out.
        if (path.isEmpty() || !game_root::holdsImage(path))
            return {};
        const QString canonical = QFileInfo(path).canonicalFilePath();
        if (canonical.isEmpty() || isInsideTemp(canonical))
            return {};
        return checkGameTitle(profile_, canonical) ? canonical : QString();
    }

private:
    bool isInsideTemp(const QString& canonical) const
    {
        if (tempDir_.isEmpty())
            return false;
        return canonical == tempDir_ || canonical.startsWith(tempDir_ + QLatin1Char('/'));
    }

    const GameProfile& profile_;
    QString tempDir_;
};

QStringList subfoldersSortedByName(const QString& folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

// Visits every search place in order: each existing base folder, then its
// immediate subfolders, then the launcher's folder and its nearest ancestors.
// The visitor returns true to stop the walk.
void walkSearchPlaces(const std::function<bool(const QString&)>& visit)
{
    for (const QString& base : searchBaseFolders()) {
        const QFileInfo baseInfo(base);
        if (!baseInfo.exists())
            continue;
        if (visit(baseInfo.absoluteFilePath()))
            return;
        const QDir baseDir(base);
        for (const QString& name : subfoldersSortedByName(base)) {
            if (visit(baseDir.filePath(name)))
                return;
        }
    }
    QDir dir(QCoreApplication::applicationDirPath());
    for (int level = 0; level <= kLauncherAncestorsSearched; ++level) {
        if (visit(dir.absolutePath()))
            return;
        if (!dir.cdUp())
            return;
    }
}

} // namespace

QString readXexTitleId(QIODevice& image)
{
    const QByteArray header = image.read(kHeaderBytesRead);
    const qsizetype size = header.size();
    if (size < kFirstEntryOffset || !header.startsWith("XEX2"))
        return {};
    const quint32 entryCount = readBigEndian32(header, kEntryCountOffset);
    if (entryCount == 0)
        return {};

    bool found = false;
    quint32 executionInfo = 0;
    for (quint32 i = 0; i < entryCount && i < kMaxEntriesExamined; ++i) {
        const qsizetype keyOffset = kFirstEntryOffset + 8 * qsizetype(i);
        const qsizetype valueOffset = keyOffset + 4;
        if (valueOffset > size)
            continue; // the key does not lie wholly inside the bytes read
        if (readBigEndian32(header, keyOffset) != kExecutionInfoKey)
            continue;
        found = true;
        executionInfo = valueOffset + 4 <= size ? readBigEndian32(header, valueOffset) : 0;
        break;
    }
    if (!found)
        return {};

    const quint32 titleOffset = executionInfo + kTitleIdOffsetInExecutionInfo; // wraps like the format's 32-bit math
    if (!image.seek(titleOffset))
        return {};
    const QByteArray title = image.read(4);
    if (title.size() < 4)
        return {};
    return QStringLiteral("%1").arg(readBigEndian32(title, 0), 8, 16, QLatin1Char('0')).toUpper();
}

bool checkGameTitle(const GameProfile& profile, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString imagePath = game_root::imagePath(folder);
    if (imagePath.isEmpty())
        return false;
    QString title;
    QFile image(imagePath);
    if (openRegularFile(image))
        title = readXexTitleId(image);
    // An image whose title cannot be read (a FIFO or a device named like it
    // included) is accepted: only a readable, different title rejects the
    // folder.
    return title.isEmpty() || title.compare(profile.titleId, Qt::CaseInsensitive) == 0;
}

bool isGameRootCandidate(const GameProfile& profile, const QString& path)
{
    return !CandidateFilter(profile).accept(path).isEmpty();
}

QStringList searchBaseFolders()
{
    const QString home = QDir::homePath();
    QStringList bases{QDir(home).filePath(QStringLiteral("Games"))};
    for (const QString& name : subfoldersSortedByName(QStringLiteral("/mnt")))
        bases << QStringLiteral("/mnt/%1/Games").arg(name);
    const QString media = QStringLiteral("/media/") + QFileInfo(home).fileName();
    for (const QString& name : subfoldersSortedByName(media))
        bases << media + QLatin1Char('/') + name + QStringLiteral("/Games");
    return bases;
}

QString findGameRoot(const GameProfile& profile)
{
    const CandidateFilter filter(profile);
    QString found;
    walkSearchPlaces([&](const QString& path) {
        found = filter.accept(path);
        return !found.isEmpty();
    });
    return found;
}

QStringList findAllGameRoots(const GameProfile& profile)
{
    return findAllGameRoots(profile, rememberedGameRoot(profile));
}

QStringList findAllGameRoots(const GameProfile& profile, const QString& rememberedRoot)
{
    QStringList roots;
    const auto addOnce = [&roots](const QString& root) {
        if (!root.isEmpty() && !roots.contains(root))
            roots << root;
    };
    addOnce(rememberedRoot);
    const CandidateFilter filter(profile);
    walkSearchPlaces([&](const QString& path) {
        addOnce(filter.accept(path));
        return false;
    });
    return roots;
}

QString storedGameRoot(const GameProfile& profile)
{
    return sharedSettings().value(rememberedRootKey(profile)).toString();
}

QString rememberedGameRoot(const GameProfile& profile)
{
    const QString stored = storedGameRoot(profile);
    return checkGameTitle(profile, stored) ? stored : QString();
}

void rememberGameRoot(const GameProfile& profile, const QString& folder)
{
    QSettings& settings = sharedSettings();
    settings.setValue(rememberedRootKey(profile), folder);
    settings.sync();
}

QString resolveGameRoot(const GameProfile& profile)
{
    const QString remembered = rememberedGameRoot(profile);
    if (!remembered.isEmpty())
        return remembered;
    const QString found = findGameRoot(profile);
    if (!found.isEmpty())
        rememberGameRoot(profile, found);
    return found;
}
