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
// Everything is written under the build tree and removed afterwards.
//   bench_import [--package-mib N] [--files N] [--runs N] [--only extraction|preparation]
#include "import/content_preparation.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"
#include "stfs_image.h"
#include "stfs_package_builder.h"

#include <QCoreApplication>
#include <QDir>
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
const char* const kSmallCorpusFiles[] = {"x360-blood-line.zorv", "x360-game-icons.zorv",
                                         "x360-message-overlay.zorv", "x360-lobby-player-bkg.zorv",
                                         "x360-game-icons-debug.zorv"};

struct Options {
    int packageMib = 512;
    int files = 2000;
    int runs = 3;
    QString only; // "extraction", "preparation" or empty for both
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

std::vector<QByteArray> readSmallCorpusFiles()
{
    std::vector<QByteArray> files;
    for (const char* name : kSmallCorpusFiles) {
        QFile file(QDir(QStringLiteral(ORVELLO_REAL_CORPUS)).filePath(QLatin1String(name)));
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
    const std::vector<QByteArray> contents = readSmallCorpusFiles();
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

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    // The decoder is found on PATH: this program does not live beside it.
    qputenv("PATH", QByteArray(ORVELLO_BIN_DIR) + ':' + qgetenv("PATH"));
    QTemporaryDir scratch(QStringLiteral(ORVELLO_BENCH_SCRATCH "/import-XXXXXX"));
    if (options.only != QLatin1String("preparation"))
        benchExtraction(scratch.path(), options);
    if (options.only != QLatin1String("extraction"))
        benchPreparation(scratch.path(), options);
    return 0;
}
