// bench_import: the speed of the package import's two halves.
//   1. Extraction: a generated package of 512 MiB (64 files of 8 MiB, block
//      chains consecutive as a packer writes them) is extracted with
//      extractAll, and `cp` copies the same package file in the same run,
//      both with the page cache warm. Goal: extraction >= 0.6x cp's
//      throughput.
//   2. Preparation: a folder of 2,000 small real-content ZORV files (small
//      files of the real-world corpus, copied round-robin) is prepared with
//      prepareContent (one zorv run per file, one per core at once); files
//      per second, beside the floor of `xargs -P<cores>` running the same
//      zorv once per file. Goals: >= 1,200 files/s on 2 cores, and within
//      1.3x of xargs's time. Skipped with a message without the corpus.
//   3. Flushing: the whole package import (extraction, preparation, the
//      last flush) of a realistic package, 1,665 files that make about
//      420 MB once prepared (1,200 small real-content ZORV files, 40 large
//      ones, 390 plain records and 34 plain 8 MiB banks), with every decoded
//      file flushed to disk before its rename and the tree flushed at the
//      end, against the same import without flushing. The file system is
//      flushed (untimed) before each import, so neither pays for the
//      other's writes. Goal: at most 1.10x the time without flushing.
//      Skipped with a message without the corpus.
// Everything is written under the build tree and removed afterwards.
//   bench_import [--package-mib N] [--files N] [--runs N] [--only extraction|preparation|flushing]
#include "import/content_preparation.h"
#include "import/durable_replacements.h"
#include "import/import_jobs.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"
#include "stfs_image.h"
#include "stfs_package_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <sys/resource.h>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

// Small files of the real-world corpus: the preparation's per-file cost is
// then mostly the decoder run itself.
const QStringList kSmallCorpusFiles{"x360-blood-line.zorv", "x360-game-icons.zorv", "x360-message-overlay.zorv",
                                    "x360-lobby-player-bkg.zorv", "x360-game-icons-debug.zorv"};
// The realistic package's UI assets: icons and fonts, 24 to 63 KB decoded.
const QStringList kUiCorpusFiles{"x360-game-icons.zorv", "x360-game-icons-debug.zorv", "x360-font-small.zorv",
                                 "x360-font-medium.zorv", "x360-font-large.zorv"};

struct Options {
    int packageMib = 512;
    int files = 2000;
    int runs = 3;
    QString only; // "extraction", "preparation", "flushing" or empty for all
};

Options parseOptions(const QStringList& args)
{
    Options options;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const int value = args[i + 1].toInt();
        if (args[i] == QLatin1String("--package-mib"))
            options.packageMib = std::max(8, value);
        else if (args[i] == QLatin1String("--files"))
            options.files = std::max(1, value);
        else if (args[i] == QLatin1String("--runs"))
            options.runs = std::max(1, value);
        else if (args[i] == QLatin1String("--only"))
            options.only = args[i + 1];
    }
    return options;
}

QByteArray pseudoRandom(qint64 size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

void makePackage(const QString& path, int mib)
{
    constexpr qint64 fileSize = 8 * kMiB;
    stfsbuild::PackageBuilder builder;
    const int folder = builder.addFolder("content");
    for (int i = 0; i < mib / 8; ++i)
        builder.addFile(QStringLiteral("pack%1.dat").arg(i, 3, 10, QLatin1Char('0')).toUtf8(), quint32(fileSize),
                        [i] { return pseudoRandom(fileSize, quint32(i + 1)); }, folder);
    QString error;
    if (!stfsbuild::writeStfsImage(builder.build(), path, &error))
        qFatal("cannot write the package: %s", qPrintable(error));
}

void readWhole(const QString& path) // warms the page cache
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    while (!file.read(4 * kMiB).isEmpty()) {
    }
}

template <typename Run>
double bestSeconds(int runs, Run&& run)
{
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    return best;
}

void benchExtraction(const QString& scratch, const Options& options)
{
    const QString package = QDir(scratch).filePath(QStringLiteral("bench.pkg"));
    makePackage(package, options.packageMib);
    const double mib = QFileInfo(package).size() / double(kMiB);
    readWhole(package);

    const QString copy = QDir(scratch).filePath(QStringLiteral("copy.pkg"));
    const double cpSeconds = bestSeconds(options.runs, [&] {
        QFile::remove(copy);
        if (QProcess::execute(QStringLiteral("cp"), {package, copy}) != 0)
            qFatal("cp failed");
    });
    QFile::remove(copy);

    const QString destination = QDir(scratch).filePath(QStringLiteral("extracted"));
    const double extractSeconds = bestSeconds(options.runs, [&] {
        QDir(destination).removeRecursively();
        StfsReader reader;
        QString error;
        if (!reader.open(package, &error) || !extractAll(reader, destination, {}, &error))
            qFatal("extraction failed: %s", qPrintable(error));
    });
    QDir(destination).removeRecursively();
    QFile::remove(package);

    std::printf("extraction of a %.0f MiB package (best of %d, page cache warm)\n", mib, options.runs);
    std::printf("  %-12s %8.3f s %9.1f MiB/s\n", "cp", cpSeconds, mib / cpSeconds);
    std::printf("  %-12s %8.3f s %9.1f MiB/s   %.2fx cp (goal >= 0.60x)\n", "extractAll", extractSeconds,
                mib / extractSeconds, cpSeconds / extractSeconds);
}

// User and system time of this process alone, children not counted.
double ownCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::vector<QByteArray> readCorpusFiles(const QStringList& names)
{
    std::vector<QByteArray> files;
    for (const QString& name : names) {
        QFile file(QDir(QStringLiteral(ORVELLO_REAL_CORPUS)).filePath(name));
        if (file.open(QIODevice::ReadOnly))
            files.push_back(file.readAll());
    }
    return files;
}

// Writes the files afresh; returns their paths.
QStringList writeContentFolder(const QString& folder, const std::vector<QByteArray>& contents, int count)
{
    QDir(folder).removeRecursively();
    QStringList paths;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/dir%2/file%3.xnb").arg(folder).arg(i / 100).arg(i);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile out(path);
        const QByteArray& bytes = contents[size_t(i) % contents.size()];
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        paths << path;
    }
    return paths;
}

// The floor: xargs starting one zorv per file, as many at once as there are
// cores, writing beside each file (no rename).
double xargsSeconds(const QString& scratch, const QStringList& paths)
{
    const QString list = QDir(scratch).filePath(QStringLiteral("files.list"));
    QFile out(list);
    if (!out.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(list));
    for (const QString& path : paths)
        out.write(QFile::encodeName(path) + '\0');
    out.close();
    const QString zorv = QStringLiteral(ORVELLO_BIN_DIR "/zorv");
    // zorv's one success line per file goes nowhere; a failure shows in the exit status.
    const QString command = QStringLiteral("xargs -0 -P%1 -I{} '%2' {} {}.out < '%3' 2>/dev/null")
                                .arg(QThread::idealThreadCount())
                                .arg(zorv, list);
    QElapsedTimer timer;
    timer.start();
    if (QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), command}) != 0)
        qFatal("xargs with zorv failed");
    return timer.nsecsElapsed() / 1e9;
}

void benchPreparation(const QString& scratch, const Options& options)
{
    const std::vector<QByteArray> contents = readCorpusFiles(kSmallCorpusFiles);
    if (contents.empty()) {
        std::printf("preparation: skipped, the real-world corpus is not at %s\n", ORVELLO_REAL_CORPUS);
        return;
    }
    const QString folder = QDir(scratch).filePath(QStringLiteral("content"));
    double best = 1e300;
    double floor = 1e300;
    double ownCpu = 1e300; // the launcher side's own CPU time, decoders excluded
    const auto prepare = [&] {
        writeContentFolder(folder, contents, options.files);
        const double cpuBefore = ownCpuSeconds();
        QElapsedTimer timer;
        timer.start();
        QString error;
        qint64 decoded = 0;
        if (!prepareContent(folder, {}, &error, &decoded) || decoded != options.files)
            qFatal("preparation failed: %s", qPrintable(error));
        best = std::min(best, timer.nsecsElapsed() / 1e9);
        ownCpu = std::min(ownCpu, ownCpuSeconds() - cpuBefore);
    };
    const auto runXargs = [&] {
        floor = std::min(floor, xargsSeconds(scratch, writeContentFolder(folder, contents, options.files)));
    };
    for (int run = 0; run < options.runs; ++run) {
        // Alternating which goes first spreads a busy machine's noise evenly.
        if (run % 2 == 0) {
            prepare();
            runXargs();
        } else {
            runXargs();
            prepare();
        }
    }
    QDir(folder).removeRecursively();
    std::printf("preparation of %d small real-content files, %d decoders at once (best of %d)\n", options.files,
                QThread::idealThreadCount(), options.runs);
    std::printf("  %-16s %8.3f s %9.1f files/s\n", "xargs -P zorv", floor, options.files / floor);
    std::printf("  %-16s %8.3f s %9.1f files/s   %.2fx the xargs time (goals: >= 1200 files/s, <= 1.30x)\n",
                "prepareContent", best, options.files / best, best / floor);
    std::printf("  the launcher side's own CPU time: %.3f ms per file (starting, reaping, renaming)\n",
                1000 * ownCpu / options.files);
}

// A package like the game's, as far as the corpus allows: icons and fonts
// round robin as 1,200 UI assets, the largest real file as 40 textures,
// plain records of 4 to 60 KiB and plain 8 MiB sound banks.
bool makeRealisticPackage(const QString& path, qint64* compressedFiles)
{
    const QString corpus = QStringLiteral(ORVELLO_REAL_CORPUS);
    const std::vector<QByteArray> small = readCorpusFiles(kUiCorpusFiles);
    QFile largeFile(QDir(corpus).filePath(QStringLiteral("x360-overlay-bkg.zorv")));
    if (small.empty() || !largeFile.open(QIODevice::ReadOnly))
        return false;
    const QByteArray large = largeFile.readAll();

    stfsbuild::PackageBuilder builder;
    builder.addFile("default.xex", QByteArray("XEX2").leftJustified(4096, '\0'));
    const int content = builder.addFolder("content");
    const int ui = builder.addFolder("ui", content);
    QList<int> uiFolders;
    for (int i = 0; i < 12; ++i)
        uiFolders << builder.addFolder(QByteArray::number(i).rightJustified(2, '0'), ui);
    for (int i = 0; i < 1200; ++i)
        builder.addFile(QStringLiteral("asset-%1.xnb").arg(i, 4, 10, QLatin1Char('0')).toUtf8(),
                        small[size_t(i) % small.size()], uiFolders[i % 12]);
    const int textures = builder.addFolder("textures", content);
    for (int i = 0; i < 40; ++i)
        builder.addFile(QStringLiteral("texture-%1.xnb").arg(i, 2, 10, QLatin1Char('0')).toUtf8(), large, textures);
    const int data = builder.addFolder("data", content);
    QList<int> dataFolders;
    for (int i = 0; i < 4; ++i)
        dataFolders << builder.addFolder(QByteArray::number(i), data);
    QRandomGenerator sizes(17);
    for (int i = 0; i < 390; ++i) {
        const quint32 size = quint32(sizes.bounded(4 * 1024, 60 * 1024));
        builder.addFile(QStringLiteral("record-%1.dat").arg(i, 3, 10, QLatin1Char('0')).toUtf8(), size,
                        [size, i] { return pseudoRandom(size, quint32(1000 + i)); }, dataFolders[i % 4]);
    }
    const int audio = builder.addFolder("audio", content);
    for (int i = 0; i < 34; ++i)
        builder.addFile(QStringLiteral("bank-%1.xwb").arg(i, 2, 10, QLatin1Char('0')).toUtf8(), quint32(8 * kMiB),
                        [i] { return pseudoRandom(8 * kMiB, quint32(5000 + i)); }, audio);
    QString error;
    if (!stfsbuild::writeStfsImage(builder.build(), path, &error))
        qFatal("cannot write the package: %s", qPrintable(error));
    *compressedFiles = 1240;
    return true;
}

qint64 treeBytes(const QString& folder)
{
    qint64 bytes = 0;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

void benchFlushing(const QString& scratch, const Options& options)
{
    const QString package = QDir(scratch).filePath(QStringLiteral("realistic.pkg"));
    qint64 compressed = 0;
    if (!makeRealisticPackage(package, &compressed)) {
        std::printf("flushing: skipped, the real-world corpus is not at %s\n", ORVELLO_REAL_CORPUS);
        return;
    }
    readWhole(package);
    const QString root = QDir(scratch).filePath(QStringLiteral("Game"));
    double best[2] = {1e300, 1e300}; // by Durability: flushed, unflushed
    qint64 files = 0;
    qint64 preparedBytes = 0;
    const auto import = [&](Durability durability) {
        QDir(root).removeRecursively();
        QString reason;
        flushFileSystem(scratch, &reason); // the last import's writes and the removal, untimed
        QElapsedTimer timer;
        timer.start();
        const ImportResult result = runPackageImport({package, root, durability}, {});
        const double seconds = timer.nsecsElapsed() / 1e9;
        if (!result.succeeded() || result.filesDecoded != compressed)
            qFatal("the import failed: %s", qPrintable(result.error));
        double& slot = best[durability == Durability::Flushed ? 0 : 1];
        slot = std::min(slot, seconds);
        files = result.fileCount;
        preparedBytes = treeBytes(root);
    };
    for (int run = 0; run < options.runs; ++run) {
        // Alternating which goes first spreads a busy machine's noise evenly.
        import(run % 2 == 0 ? Durability::Flushed : Durability::Unflushed);
        import(run % 2 == 0 ? Durability::Unflushed : Durability::Flushed);
    }
    QDir(root).removeRecursively();
    const double packageMb = QFileInfo(package).size() / 1e6;
    QFile::remove(package);
    std::printf("package import with and without flushing to disk (best of %d, package in the page cache)\n",
                options.runs);
    std::printf("  %lld entries, %lld compressed files, package %.0f MB, %.0f MB once prepared\n",
                static_cast<long long>(files), static_cast<long long>(compressed), packageMb, preparedBytes / 1e6);
    std::printf("  %-18s %8.3f s\n", "without flushing", best[1]);
    std::printf("  %-18s %8.3f s   %.2fx the time without (goal <= 1.10x)\n", "flushed", best[0],
                best[0] / best[1]);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    // The decoder is found on PATH: this program does not live beside it.
    qputenv("PATH", QByteArray(ORVELLO_BIN_DIR) + ':' + qgetenv("PATH"));
    QTemporaryDir scratch(QStringLiteral(ORVELLO_BENCH_SCRATCH "/import-XXXXXX"));
    if (options.only.isEmpty() || options.only == QLatin1String("extraction"))
        benchExtraction(scratch.path(), options);
    if (options.only.isEmpty() || options.only == QLatin1String("preparation"))
        benchPreparation(scratch.path(), options);
    if (options.only.isEmpty() || options.only == QLatin1String("flushing"))
        benchFlushing(scratch.path(), options);
    return 0;
}
