// Content preparation: the compressed-file scan, the folder copy, and
// finding the decoder for the runs of DecoderRuns.
#include "import/content_preparation.h"

#include "core/failure.h"
#include "core/game_root.h"
#include "import/decoder_runs.h"
#include "import/import_interruption.h"
#include "core/system_reason.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr char kZorvMagic[4] = {'\x0F', '\xF5', '\x12', '\xED'};

// The resolved absolute form of path, also for a path whose last parts do
// not exist yet: its nearest existing ancestor is resolved and the rest kept.
QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing)
            break;
        rest = QFileInfo(existing).fileName() + (rest.isEmpty() ? QString() : QLatin1Char('/') + rest);
        existing = parent;
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    const QString base = canonical.isEmpty() ? existing : canonical;
    return rest.isEmpty() ? base : QDir(base).filePath(rest);
}

struct TreeSize {
    qint64 files = 0;
    qint64 bytes = 0;
};

TreeSize measureTree(const QString& folder)
{
    TreeSize size;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        ++size.files;
        size.bytes += it.fileInfo().size();
    }
    return size;
}

bool isSameOrInside(const QString& inner, const QString& outer)
{
    return inner == outer || inner.startsWith(outer.endsWith(QLatin1Char('/')) ? outer : outer + QLatin1Char('/'));
}

QString findDecoder()
{
    const QString besideLauncher = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("zorv"));
    if (QFileInfo(besideLauncher).isExecutable())
        return besideLauncher;
    return QStandardPaths::findExecutable(QStringLiteral("zorv"));
}

} // namespace

bool startsWithZorvMagic(const QByteArray& head)
{
    return head.startsWith(QByteArray::fromRawData(kZorvMagic, sizeof kZorvMagic));
}

bool isCompressedFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && startsWithZorvMagic(file.read(sizeof kZorvMagic));
}

qint64 totalSize(const QStringList& files)
{
    qint64 bytes = 0;
    for (const QString& file : files)
        bytes += QFileInfo(file).size();
    return bytes;
}

QStringList listCompressedFiles(const QString& root)
{
    QStringList compressed;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isCompressedFile(path))
            compressed.append(path);
    }
    return compressed;
}

bool copyFolder(const QString& sourceFolder, const QString& destinationFolder, const ProgressFn& progress,
                QString* error)
{
    // Absolute first: the iteration yields paths spelled like the source,
    // and a relative source would give relative paths that are not the
    // files' paths inside it.
    const QString source = QDir::current().absoluteFilePath(sourceFolder);
    const QString destination = QDir::current().absoluteFilePath(destinationFolder);
    // Copying a folder into itself would keep finding its own new copies.
    if (isSameOrInside(resolvedPath(destination), resolvedPath(source)))
        return fail(error, QStringLiteral("Cannot copy %1 to %2").arg(source, destination));
    QString reason;
    if (!makeFolders(destination, &reason))
        return fail(error, withReason(QStringLiteral("Cannot create %1").arg(destination), reason));

    const QDir sourceDir(source);
    const QDir destinationDir(destination);
    const TreeSize total = progress ? measureTree(source) : TreeSize();
    ImportProgress report{ImportStep::Copying, 0, total.files, 0, total.bytes, {}};
    QDirIterator it(source, QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (importInterruptionRequested())
            return fail(error, importStoppedMessage());
        const QString sourcePath = it.next();
        const QString relativePath = sourceDir.relativeFilePath(sourcePath);
        const QString targetPath = destinationDir.filePath(relativePath);
        if (it.fileInfo().isDir()) {
            if (!makeFolders(targetPath, &reason))
                return fail(error, withReason(QStringLiteral("Cannot create %1").arg(targetPath), reason));
            continue;
        }
        if (progress) {
            report.text = QStringLiteral("Copying %1").arg(relativePath);
            progress(report);
        }
        QFile sourceFile(sourcePath);
        if (!sourceFile.copy(targetPath))
            return fail(error, withReason(QStringLiteral("Cannot copy %1 to %2").arg(sourcePath, targetPath),
                                          sourceFile.errorString()));
        ++report.done;
        report.bytesDone += it.fileInfo().size();
    }
    if (progress) {
        report.text.clear();
        progress(report);
    }
    return true;
}

bool prepareContent(const QString& root, const ProgressFn& progress, QString* error, qint64* filesDecoded,
                    QStringList* decodedFiles, Durability durability)
{
    if (filesDecoded)
        *filesDecoded = 0;
    if (decodedFiles)
        decodedFiles->clear();
    const QString lower = game_root::extractedImagePath(root);
    const QString upper = game_root::upperCaseImagePath(root);
    QFile upperFile(upper);
    if (!QFile::exists(lower) && upperFile.exists() && !upperFile.copy(lower))
        return fail(error, withReason(QStringLiteral("Cannot create %1").arg(lower), upperFile.errorString()));

    const QStringList files = listCompressedFiles(root);
    if (files.isEmpty())
        return true;

    const QString decoderPath = findDecoder();
    if (decoderPath.isEmpty())
        return fail(error, QStringLiteral("The zorv decoder was not found next to the launcher, so the "
                                          "game's compressed files cannot be prepared."));

    // Up to one decoder per core; a running decoder is never killed.
    DecoderRuns runs(decoderPath, root, files, progress, QThread::idealThreadCount(), durability);
    const bool decoded = runs.run(error);
    if (filesDecoded)
        *filesDecoded = runs.filesDecoded();
    if (decodedFiles)
        *decodedFiles = runs.decodedFiles();
    return decoded;
}
