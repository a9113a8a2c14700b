// bench_import: the speed of the package import's two halves.
//   1. Extraction: a generated package of 512 MiB (64 files of 8 MiB, block
//      chains consecutive as a packer writes them) is extracted with
//      extractAll, and `cp` copies the same package file in the same run,
//      both with the page cache warm. Goal: extraction >= 0.6x cp's
//      throughput.
//   2. Preparation: a folder of 2,000 small ZORV-compressed files is prepared
//      with prepareContent (one zorv run per file); files per second.
// Everything is written under the build tree and removed afterwards.
//   bench_import [--package-mib N] [--files N] [--runs N]
#include "import/content_preparation.h"
#include "import/stfs_extract.h"
#include "import/stfs_reader.h"
#include "stfs_image.h"
#include "stfs_package_builder.h"
#include "zorv_packer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 kMiB = 1024 * 1024;

struct Options {
    int packageMib = 512;
    int files = 2000;
    int runs = 3;
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

void benchPreparation(const QString& scratch, const Options& options)
{
    const QString folder = QDir(scratch).filePath(QStringLiteral("content"));
    std::vector<QByteArray> packed;
    for (int i = 0; i < 16; ++i) { // a few distinct files, repeated
        QByteArray content = QByteArray("glyph texture menu score ").repeated(200 + 40 * i);
        content += pseudoRandom(2048, quint32(100 + i));
        lzxenc::ZorvPackOptions pack;
        pack.lzx.window_bits = 16;
        const auto* begin = reinterpret_cast<const uint8_t*>(content.constData());
        const std::vector<uint8_t> file = lzxenc::pack_zorv({begin, size_t(content.size())}, pack).file;
        packed.emplace_back(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
    }
    const auto writeFolder = [&] {
        QDir(folder).removeRecursively();
        for (int i = 0; i < options.files; ++i) {
            const QString path = QStringLiteral("%1/dir%2/file%3.xnb").arg(folder).arg(i / 100).arg(i);
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write(packed[size_t(i) % packed.size()]) < 0)
                qFatal("cannot write %s", qPrintable(path));
        }
    };
    double best = 1e300;
    for (int run = 0; run < options.runs; ++run) {
        writeFolder();
        QElapsedTimer timer;
        timer.start();
        QString error;
        if (!prepareContent(folder, {}, &error))
            qFatal("preparation failed: %s", qPrintable(error));
        best = std::min(best, timer.nsecsElapsed() / 1e9);
    }
    QDir(folder).removeRecursively();
    std::printf("preparation of %d small compressed files (best of %d)\n", options.files, options.runs);
    std::printf("  prepareContent %8.3f s %9.1f files/s\n", best, options.files / best);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const Options options = parseOptions(app.arguments());
    // The decoder is found on PATH: this program does not live beside it.
    qputenv("PATH", QByteArray(ORVELLO_BIN_DIR) + ':' + qgetenv("PATH"));
    QTemporaryDir scratch(QStringLiteral(ORVELLO_BENCH_SCRATCH "/import-XXXXXX"));
    benchExtraction(scratch.path(), options);
    benchPreparation(scratch.path(), options);
    return 0;
}
