// verifyGameFolder: the manifest's files hashed and compared, then the checks
// that need no checksums.
#include "verify/game_verification.h"

#include "core/failure.h"
#include "core/game_data.h"
#include "core/game_root.h"
#include "core/program_files.h"
#include "import/content_preparation.h"
#include "import/game_manifest.h"

#include <QDir>
#include <QFileInfo>

namespace {

// "a, b and c", as the launch's own messages name the program set.
QString listedNames(const QStringList& names)
{
    if (names.size() < 2)
        return names.join(QString());
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

void addImageProblems(const QString& root, const GameProfile& profile, QStringList* problems)
{
    if (!game_root::holdsImage(root))
        *problems << QStringLiteral("default.xex was not found in %1.").arg(root);
    else if (!checkGameTitle(profile, root))
        *problems << QStringLiteral("default.xex does not validate as %1 (title %2).").arg(profile.displayName, profile.titleId);
}

void addProgramProblems(const QString& root, const GameProfile& profile, QStringList* problems)
{
    const ProgramFilesResult programs = findProgramFiles(profile, root);
    if (!programs.found) {
        *problems << QStringLiteral("The program files were not found: %1 must be together in one folder.")
                         .arg(listedNames(programSet(profile)));
        for (const QString& partial : programs.partial)
            *problems << QStringLiteral("  %1").arg(partial);
        return;
    }
    if (!QFileInfo(programs.exePath).isExecutable())
        *problems << QStringLiteral("%1 is not executable: its execute permission is missing.").arg(programs.exePath);
}

void addCompressedProblems(const QString& root, QStringList* problems)
{
    const QString dataFolder = game_root::dataFolder(root);
    const QStringList compressed = listCompressedFiles(dataFolder);
    if (compressed.isEmpty())
        return;
    *problems << QStringLiteral("These files are still compressed:");
    const QDir rootDir(root);
    for (qsizetype i = 0; i < compressed.size() && i < kListedMismatches; ++i)
        *problems << QStringLiteral("  %1").arg(rootDir.relativeFilePath(compressed[i]));
    if (compressed.size() > kListedMismatches)
        *problems << QStringLiteral("…and %1 more.").arg(compressed.size() - kListedMismatches);
}

// The manifest's files against their checksums; false when stopped.
bool checkManifestFiles(const QString& root, const QList<game_manifest::Entry>& entries,
                        const HashProgressFn& progress, VerifyReport* report)
{
    const QDir rootDir(root);
    QStringList paths;
    for (const game_manifest::Entry& entry : entries)
        paths << QDir::cleanPath(rootDir.filePath(entry.path));
    QList<FileHash> hashes;
    if (!hashFiles(paths, &hashes, progress))
        return false;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        const FileHash& hash = hashes[i];
        FileMismatch mismatch{entries[i].path, FileMismatch::Kind::Damaged};
        if (hash.outcome == FileHash::Outcome::Missing)
            mismatch.kind = FileMismatch::Kind::Missing;
        else if (hash.outcome == FileHash::Outcome::Hashed && startsWithZorvMagic(hash.head))
            mismatch.kind = FileMismatch::Kind::StillCompressed;
        else if (hash.outcome == FileHash::Outcome::Hashed && hash.sha256 == entries[i].sha256)
            continue;
        report->mismatches << mismatch;
    }
    return true;
}

} // namespace

QStringList gameFolderProblems(const QString& root, const GameProfile& profile, bool withoutManifest)
{
    QStringList problems;
    addImageProblems(root, profile, &problems);
    if (withoutManifest)
        addCompressedProblems(root, &problems);
    addProgramProblems(root, profile, &problems);
    return problems;
}

VerifyReport verifyGameFolder(const QString& root, const GameProfile& profile, const HashProgressFn& progress)
{
    VerifyReport report;
    report.hasManifest = game_manifest::hasManifest(root);
    if (report.hasManifest) {
        QList<game_manifest::Entry> entries;
        if (!game_manifest::readManifest(root, &entries, &report.manifestError)) {
            report.otherProblems = gameFolderProblems(root, profile, false);
            return report;
        }
        report.filesChecked = entries.size();
        if (!checkManifestFiles(root, entries, progress, &report)) {
            report.stopped = true;
            return report;
        }
    }
    report.otherProblems = gameFolderProblems(root, profile, !report.hasManifest);
    return report;
}

bool recordChecksums(const QString& root, QString* error)
{
    if (!game_root::holdsImage(root))
        return fail(error, QStringLiteral("default.xex was not found in %1.").arg(root));
    const QString dataFolder = game_root::dataFolder(root);
    if (!listCompressedFiles(dataFolder).isEmpty())
        return fail(error, QStringLiteral("Some of the game's files are still compressed: import the game folder "
                                          "again to decode them, then verify it."));
    return game_manifest::recordManifest(root, dataFolder, {}, {}, error);
}
