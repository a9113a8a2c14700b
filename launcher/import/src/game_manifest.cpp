// The game folder's manifest and source record: their formats, reading them,
// and recording them at the end of an import.
#include "import/game_manifest.h"

#include "core/failure.h"
#include "import/file_hashing.h"
#include "import/import_interruption.h"
#include "core/system_reason.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>

namespace game_manifest {
namespace {

const QString kRecordFolder = QStringLiteral(".orvello");
const QString kManifestName = QStringLiteral("manifest.sha256");
const QString kSourceName = QStringLiteral("source");
constexpr int kDigestLength = 64;

const char* kindName(Source::Kind kind)
{
    switch (kind) {
    case Source::Kind::Package:
        return "package";
    case Source::Kind::Folder:
        return "folder";
    case Source::Kind::None:
        break;
    }
    return "none";
}

QByteArray escapedName(const QByteArray& name)
{
    QByteArray escaped = name;
    escaped.replace('\\', "\\\\").replace('\n', "\\n");
    return escaped;
}

QByteArray unescapedName(const QByteArray& name)
{
    QByteArray plain;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            plain += name[i + 1] == 'n' ? '\n' : name[i + 1];
            ++i;
        } else {
            plain += name[i];
        }
    }
    return plain;
}

bool isDigest(const QByteArray& text)
{
    return text.size() == kDigestLength
        && std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// A repair writes where the manifest says: only relative paths that stay
// inside the root are accepted.
bool isInsideRoot(const QString& path)
{
    if (QDir::isAbsolutePath(path))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    return std::none_of(parts.cbegin(), parts.cend(), [](const QString& part) {
        return part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..");
    });
}

bool saveAtomically(const QString& path, const QByteArray& bytes, QString* error)
{
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    return fail(error, withReason(QStringLiteral("Cannot write %1").arg(path), file.errorString()));
}

// The folder's size and time: the sum over its files, the newest time of
// anything in its tree (adding, removing or changing a file changes one).
void describeFolder(const QString& folder, Source* source)
{
    source->size = 0;
    source->modified = QFileInfo(folder).lastModified().toUTC();
    QDirIterator it(folder, QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        if (info.isFile())
            source->size += info.size();
        source->modified = std::max(source->modified, info.lastModified().toUTC());
    }
}

} // namespace

QString recordFolder(const QString& root)
{
    return QDir(root).filePath(kRecordFolder);
}

QString manifestPath(const QString& root)
{
    return QDir(recordFolder(root)).filePath(kManifestName);
}

QString sourcePath(const QString& root)
{
    return QDir(recordFolder(root)).filePath(kSourceName);
}

QByteArray formatManifest(const QList<Entry>& entries)
{
    QByteArray text;
    for (const Entry& entry : entries) {
        const QByteArray name = QFile::encodeName(entry.path);
        const bool escape = name.contains('\\') || name.contains('\n');
        if (escape)
            text += '\\';
        text += entry.sha256 + "  " + (escape ? escapedName(name) : name) + '\n';
    }
    return text;
}

bool parseManifest(const QByteArray& text, QList<Entry>* entries, QString* error)
{
    entries->clear();
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.isEmpty() && i == lines.size() - 1)
            break;  // after the last line break
        const bool escaped = line.startsWith('\\');
        if (escaped)
            line.remove(0, 1);
        // "  " for text mode, " *" for binary mode: sha256sum writes both.
        const QByteArray digest = line.left(kDigestLength);
        const QByteArray separator = line.mid(kDigestLength, 2);
        QByteArray name = line.mid(kDigestLength + 2);
        if (!isDigest(digest) || (separator != "  " && separator != " *") || name.isEmpty())
            return fail(error, QStringLiteral("Line %1 of the manifest is not a checksum line").arg(i + 1));
        if (escaped)
            name = unescapedName(name);
        const QString path = QFile::decodeName(name);
        if (!isInsideRoot(path))
            return fail(error, QStringLiteral("Line %1 of the manifest names a file outside the game folder").arg(i + 1));
        entries->append(Entry{path, digest});
    }
    return true;
}

bool hasManifest(const QString& root)
{
    return QFileInfo(manifestPath(root)).isFile();
}

bool readManifest(const QString& root, QList<Entry>* entries, QString* error)
{
    QFile file(manifestPath(root));
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, withReason(QStringLiteral("Cannot read %1").arg(file.fileName()), file.errorString()));
    return parseManifest(file.readAll(), entries, error);
}

bool describeSource(Source::Kind kind, const QString& path, const QString& dataFolder, Source* source)
{
    *source = Source{kind, path, dataFolder, 0, {}};
    const QFileInfo info(path);
    switch (kind) {
    case Source::Kind::None:
        return true;
    case Source::Kind::Package:
        if (!info.isFile())
            return false;
        source->size = info.size();
        source->modified = info.lastModified().toUTC();
        return true;
    case Source::Kind::Folder:
        if (!info.isDir())
            return false;
        describeFolder(path, source);
        return true;
    }
    return false;
}

bool readSource(const QString& root, Source* source, QString* error)
{
    *source = Source{};
    QFile file(sourcePath(root));
    if (!file.exists())
        return true;  // kind None
    if (!file.open(QIODevice::ReadOnly))
        return fail(error, withReason(QStringLiteral("Cannot read %1").arg(file.fileName()), file.errorString()));
    const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
    const QString kind = record.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String(kindName(Source::Kind::Package)))
        source->kind = Source::Kind::Package;
    else if (kind == QLatin1String(kindName(Source::Kind::Folder)))
        source->kind = Source::Kind::Folder;
    else
        return fail(error, QStringLiteral("%1 does not say where the game data came from").arg(file.fileName()));
    source->path = record.value(QStringLiteral("path")).toString();
    source->dataFolder = record.value(QStringLiteral("data")).toString();
    source->size = qint64(record.value(QStringLiteral("size")).toDouble());
    source->modified = QDateTime::fromString(record.value(QStringLiteral("modified")).toString(), Qt::ISODateWithMs);
    return true;
}

QStringList manifestFiles(const QString& root, const QString& dataFolder)
{
    const QString records = QDir::cleanPath(recordFolder(root)) + QLatin1Char('/');
    QStringList files;
    QDirIterator it(dataFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = QDir::cleanPath(it.next());
        if (!path.startsWith(records))
            files.append(path);
    }
    files.sort();
    return files;
}

bool recordManifest(const QString& root, const QString& dataFolder, const FileDigests& known,
                    const QSet<QString>& stale, QString* error)
{
    QString reason;
    if (!makeFolders(recordFolder(root), &reason))
        return fail(error, withReason(QStringLiteral("Cannot create %1").arg(recordFolder(root)), reason));

    const QDir rootDir(root);
    const QDir dataDir(dataFolder);
    const QStringList files = manifestFiles(root, dataFolder);
    QSet<QString> replaced;  // in the cleaned form manifestFiles gives
    for (const QString& file : stale)
        replaced.insert(QDir::cleanPath(file));
    QList<Entry> entries;
    QStringList toHash;
    QList<qsizetype> hashedEntry;  // the entry each file of toHash fills
    for (const QString& file : files) {
        const QString relative = dataDir.relativeFilePath(file);
        entries.append(Entry{rootDir.relativeFilePath(file), known.value(relative)});
        if (entries.last().sha256.isEmpty() || replaced.contains(file)) {
            toHash.append(file);
            hashedEntry.append(entries.size() - 1);
        }
    }
    QList<FileHash> hashes;
    if (!hashFiles(toHash, &hashes))
        return fail(error, importStoppedMessage());
    for (qsizetype i = 0; i < toHash.size(); ++i) {
        if (hashes[i].outcome != FileHash::Outcome::Hashed)
            return fail(error, withReason(QStringLiteral("Cannot read %1").arg(toHash[i]), hashes[i].reason));
        entries[hashedEntry[i]].sha256 = hashes[i].sha256;
    }
    return saveAtomically(manifestPath(root), formatManifest(entries), error);
}

bool writeSource(const QString& root, const Source& source, QString* error)
{
    if (source.kind == Source::Kind::None) {
        const QString path = sourcePath(root);
        QFile old(path);
        if (old.exists() && !old.remove())
            return fail(error, withReason(QStringLiteral("Cannot remove %1").arg(path), old.errorString()));
        return true;
    }
    const QJsonObject record{{QStringLiteral("kind"), QLatin1String(kindName(source.kind))},
                             {QStringLiteral("path"), source.path},
                             {QStringLiteral("data"), source.dataFolder},
                             {QStringLiteral("size"), double(source.size)},
                             {QStringLiteral("modified"), source.modified.toString(Qt::ISODateWithMs)}};
    return saveAtomically(sourcePath(root), QJsonDocument(record).toJson(), error);
}

} // namespace game_manifest
