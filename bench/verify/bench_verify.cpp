// bench_verify: what the game-file checks cost, on the realistic package
// (bench/support: 1,665 files, 304 MB packed, 427 MB prepared), page cache
// warm, every figure the best of several runs taken in turn with its
// yardstick in the same run.
//   1. Extraction, into memory (/dev/shm) unless --into names a folder:
//      extractAll without block checks, with them (SHA-1 of every block,
//      sixteen blocks side by side where AVX-512 allows, shared by a second
//      core and the extraction's own thread while runs are written and
//      files created), and with them and each file's SHA-256 for the
//      manifest, as the import runs it. Goal: with the checks <= 1.25x the
//      time without.
//   2. Verify: verifyGameFolder on the imported game folder against
//      `sha256sum -c` of its manifest (the same files, one core) and `cat`
//      of the same files. Goals: >= 2x sha256sum's throughput on 2 cores,
//      and <= 1.5x cat's time.
// Skipped with a message without the real-world corpus.
//   bench_verify [--runs N] [--only extraction|verify] [--into FOLDER]
#include "core/game_profile.h"
#include "import/game_manifest.h"
#include "import/import_jobs.h"
#include "import/stfs_extract.h"
#include "realistic_package.h"
#include "verify/game_verification.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr double kMB = 1e6;

struct Options {
    int runs = 5;
    QString only;  // "extraction", "verify" or empty for both
    QString into;  // where the extraction writes; empty: in memory where possible
};

Options parseOptions(const QStringList& args)
{
    Options options;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--runs"))
            options.runs = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--only"))
            options.only = args[i + 1];
        else if (args[i] == QLatin1String("--into"))
            options.into = args[i + 1];
    }
    return options;
}

double cpuSeconds()  // this process's user and system time, children not counted
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Written-back before a race, so that the kernel's writeback of earlier
// files (an earlier run's game folder, say) does not take a core from it.
void settleDisk()
{
    ::sync();
}

void readWhole(const QStringList& paths)  // warms the page cache
{
    std::vector<char> buffer(1 << 20);
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            qFatal("cannot read %s", qPrintable(path));
        while (file.read(buffer.data(), qint64(buffer.size())) > 0) {
        }
    }
}

// One contestant: its best time and the process CPU time of that run.
// `prepare`, when set, runs before each timed run and is not counted.
struct Contestant {
    const char* name;
    std::function<void()> run;
    std::function<void()> prepare = {};
    double best = 1e300;
    double cpu = 0;
};

// Runs every contestant once per round, in turn (the first of each round
// changes, which spreads a busy machine's noise evenly).
void race(std::vector<Contestant>& contestants, int rounds)
{
    for (int round = 0; round < rounds; ++round) {
        for (size_t k = 0; k < contestants.size(); ++k) {
            Contestant& c = contestants[(k + size_t(round)) % contestants.size()];
            if (c.prepare)
                c.prepare();
            const double cpuBefore = cpuSeconds();
            QElapsedTimer timer;
            timer.start();
            c.run();
            const double seconds = timer.nsecsElapsed() / 1e9;
            if (seconds < c.best) {
                c.best = seconds;
                c.cpu = cpuSeconds() - cpuBefore;
            }
        }
    }
}

void runShell(const QString& command, const QString& folder)
{
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    if (!shell.waitForFinished(-1) || shell.exitStatus() != QProcess::NormalExit || shell.exitCode() != 0)
        qFatal("%s failed: %s", qPrintable(command), shell.readAllStandardError().constData());
}

// In memory unless asked otherwise: on a disk, the file system's own state
// (ext4 creates files more slowly for minutes after many were deleted, as
// every run here deletes the last one's) moves the copy's time from run to
// run by more than the checks cost. In memory the copy is also at its
// fastest, which leaves the checks the least to hide behind.
QString extractionFolder(const QString& scratch, const QString& into)
{
    if (!into.isEmpty())
        return into;
    const QFileInfo memory(QStringLiteral("/dev/shm"));
    return memory.isDir() && memory.isWritable() ? memory.filePath() : scratch;
}

void benchExtraction(const bench_support::RealisticPackage& package, const QString& scratch, const QString& into,
                     int runs)
{
    readWhole({package.path});
    settleDisk();
    const QString destination = QDir(extractionFolder(scratch, into)).filePath(QStringLiteral("orvello-extracted"));
    // Removing the last run's files is not part of the extraction (and
    // costs more than it should on a disk mounted with discard).
    const auto removeLastRun = [&] { QDir(destination).removeRecursively(); };
    const auto extraction = [&](BlockChecks checks, bool digests) {
        return [&, checks, digests] {
            FileDigests fileDigests;
            StfsReader reader;
            QString error;
            if (!reader.open(package.path, &error)
                || !extractAll(reader, destination, {}, &error, ExtractOptions{checks, digests ? &fileDigests : nullptr}))
                qFatal("extraction failed: %s", qPrintable(error));
        };
    };
    std::vector<Contestant> contestants{{"no block checks", extraction(BlockChecks::None, false), removeLastRun},
                                        {"block checks", extraction(BlockChecks::Sha1, false), removeLastRun},
                                        {"checks + SHA-256", extraction(BlockChecks::Sha1, true), removeLastRun}};
    race(contestants, runs);
    QDir(destination).removeRecursively();

    const double mb = package.packageBytes / kMB;
    std::printf("extraction of the realistic package, %.0f MB, %d files, into %s (best of %d, page cache warm)\n",
                mb, package.files, qPrintable(QFileInfo(destination).path()), runs);
    for (const Contestant& c : contestants)
        std::printf("  %-18s %7.3f s %8.1f MB/s  cpu %6.3f s  %.2fx the time without checks\n", c.name, c.best,
                    mb / c.best, c.cpu, c.best / contestants[0].best);
    std::printf("  goal: block checks <= 1.25x the time without them\n");
}

void benchVerify(const bench_support::RealisticPackage& package, const QString& scratch, int runs)
{
    const QString root = QDir(scratch).filePath(QStringLiteral("Game"));
    QDir(root).removeRecursively();
    const ImportResult imported = runPackageImport(PackageImportRequest{package.path, root}, {});
    if (!imported.succeeded() || !imported.manifestProblem.isEmpty())
        qFatal("import failed: %s%s", qPrintable(imported.error), qPrintable(imported.manifestProblem));
    QList<game_manifest::Entry> entries;
    game_manifest::readManifest(root, &entries);
    QStringList files;
    qint64 bytes = 0;
    for (const game_manifest::Entry& entry : entries) {
        files << QDir(root).filePath(entry.path);
        bytes += QFileInfo(files.last()).size();
    }
    const QString list = QDir(scratch).filePath(QStringLiteral("files.list"));
    QFile listFile(list);
    if (!listFile.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(list));
    for (const QString& file : files)
        listFile.write(QFile::encodeName(file) + '\0');
    listFile.close();
    readWhole(files);
    settleDisk();

    std::vector<Contestant> contestants{
        {"verifyGameFolder",
         [&] {
             const VerifyReport report = verifyGameFolder(root, gameProfile());
             if (!report.mismatches.isEmpty() || report.filesChecked != files.size())
                 qFatal("verify: %s", qPrintable(report.text()));
         }},
        {"sha256sum -c", [&] { runShell(QStringLiteral("sha256sum --check --quiet --strict .orvello/manifest.sha256"), root); }},
        {"cat", [&] { runShell(QStringLiteral("xargs -0 cat < '%1' > /dev/null").arg(list), root); }},
    };
    race(contestants, runs);
    QDir(root).removeRecursively();
    QFile::remove(list);

    const double mb = bytes / kMB;
    std::printf("verify of the imported game folder, %.0f MB in %lld files, %d cores (best of %d, page cache warm)\n",
                mb, qint64(files.size()), QThread::idealThreadCount(), runs);
    for (const Contestant& c : contestants)
        std::printf("  %-18s %7.3f s %8.1f MB/s\n", c.name, c.best, mb / c.best);
    const Contestant& verify = contestants[0];
    std::printf("  verify: %.2fx sha256sum's throughput (goal >= 2x), %.2fx cat's time (goal <= 1.5x); "
                "its own cpu %.3f s\n",
                contestants[1].best / verify.best, verify.best / contestants[2].best, verify.cpu);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    // The import finds the decoder on PATH: this program does not live beside it.
    qputenv("PATH", QByteArray(ORVELLO_BIN_DIR) + ':' + qgetenv("PATH"));
    const QString scratch = QStringLiteral(ORVELLO_BENCH_SCRATCH);
    bench_support::RealisticPackage package;
    QString error;
    if (!bench_support::makeRealisticPackage(QDir(scratch).filePath(QStringLiteral("realistic.pkg")), &package, &error)) {
        std::printf("skipped: %s\n", qPrintable(error));
        return 0;
    }
    QFile loadAverage(QStringLiteral("/proc/loadavg"));
    if (loadAverage.open(QIODevice::ReadOnly))
        std::printf("load average at the start: %s", loadAverage.readAll().constData());
    if (options.only != QLatin1String("verify"))
        benchExtraction(package, scratch, options.into, options.runs);
    if (options.only != QLatin1String("extraction"))
        benchVerify(package, scratch, options.runs);
    return 0;
}
