// The realistic benchmark package: its content table, the generators of each
// kind of file, and the package and folder writers.
#include "realistic_package.h"

#include "core/game_profile.h"
#include "stfs_image.h"
#include "stfs_package_builder.h"
#include "synthetic_data.h"
#include "test_support.h"
#include "zorv_packer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSaveFile>

#include <memory>
#include <vector>

namespace bench_support {
namespace {

// Bump when any generator or count changes, so that stale packages are
// rebuilt.
constexpr char kRecipe[] = "realistic-package 1";

constexpr qint64 kMiB = 1024 * 1024;
constexpr int kCorpusFileCount = 1200;
constexpr int kCorpusFilesPerFolder = 100;
constexpr int kTextureCount = 40;
constexpr qint64 kTextureSize = 4 * kMiB;
constexpr int kDataFileCount = 400;
constexpr int kDataFilesPerFolder = 100;
constexpr int kAudioBankCount = 24;
constexpr qint64 kAudioBankSize = 8 * kMiB;

// The real corpus's files that decode to less than 64 KiB: the game's many
// small icons and fonts.
const char* const kSmallCorpusFiles[] = {"x360-game-icons.zorv", "x360-game-icons-debug.zorv",
                                         "x360-font-small.zorv", "x360-font-medium.zorv",
                                         "x360-font-large.zorv"};
const qint64 kSmallCorpusDecodedSizes[] = {24201, 24201, 29348, 47268, 62628};

QByteArray toByteArray(const std::vector<uint8_t>& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// 1024 x 1024 RGBA: smooth gradients with a little noise in the low bits,
// which the encoder packs to about half, as real colour textures go.
std::vector<uint8_t> texturePixels(int seed)
{
    constexpr int side = 1024;
    lzxenc::TestRandom random(0x7E57'0000u + uint64_t(seed));
    std::vector<uint8_t> pixels(static_cast<size_t>(kTextureSize));
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const uint8_t noise = uint8_t(random.next() >> 61);
            uint8_t* pixel = &pixels[size_t(4 * (y * side + x))];
            pixel[0] = uint8_t((x >> 2) + seed * 7 + noise);
            pixel[1] = uint8_t((y >> 2) + noise);
            pixel[2] = uint8_t((x + y + seed) >> 3);
            pixel[3] = 0xFF;
        }
    }
    return pixels;
}

QByteArray packedTexture(int seed)
{
    lzxenc::ZorvPackOptions options;
    options.lzx.window_bits = 17;
    return toByteArray(lzxenc::pack_zorv(texturePixels(seed), options).file);
}

// Sizes from 4 to 60 KiB, the same for every build.
qint64 dataFileSize(int index)
{
    return 4096 + qint64((index * 7919) % 57) * 1024;
}

struct CorpusFile {
    QString name;
    QByteArray bytes;
    qint64 decodedSize = 0;
};

bool readSmallCorpus(std::vector<CorpusFile>* files, QString* error)
{
    const QDir corpus(realCorpusFolder());
    for (size_t i = 0; i < std::size(kSmallCorpusFiles); ++i) {
        QFile file(corpus.filePath(QLatin1String(kSmallCorpusFiles[i])));
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("The real-world corpus is not readable at %1: %2")
                         .arg(file.fileName(), file.errorString());
            return false;
        }
        files->push_back({file.fileName(), file.readAll(), kSmallCorpusDecodedSizes[i]});
    }
    return true;
}

QString numbered(const char* pattern, int number, int width)
{
    return QString::fromLatin1(pattern).arg(number, width, 10, QLatin1Char('0'));
}

// The folders on the paths of content, each before its contents.
QStringList foldersOf(const RealisticContent& content)
{
    QStringList folders;
    for (const RealisticFile& file : content.files) {
        const QStringList parts = file.path.split(QLatin1Char('/'));
        QString folder;
        for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
            folder += (i ? QStringLiteral("/") : QString()) + parts[i];
            if (!folders.contains(folder))
                folders.append(folder);
        }
    }
    return folders;
}

// What the package is made from; a package built from anything else is
// built again.
QString recipeText()
{
    QString text = QLatin1String(kRecipe) + QLatin1Char('\n');
    for (const char* name : kSmallCorpusFiles)
        text += QStringLiteral("%1 %2\n")
                    .arg(QLatin1String(name))
                    .arg(QFileInfo(QDir(realCorpusFolder()).filePath(QLatin1String(name))).size());
    return text;
}

QString stampPath(const QString& packagePath)
{
    return packagePath + QStringLiteral(".recipe");
}

QString summaryText(const RealisticPackage& package)
{
    return QStringLiteral("files %1\nfolders %2\ncompressed %3\nstored %4\ndecoded %5\nsize %6\n")
        .arg(package.files)
        .arg(package.folders)
        .arg(package.compressedFiles)
        .arg(package.storedBytes)
        .arg(package.decodedBytes)
        .arg(package.packageBytes);
}

// The stamp holds the recipe, then the package's summary; it counts only
// while the package still has the size it gives.
bool readStamp(const QString& packagePath, const QString& recipe, RealisticPackage* package)
{
    QFile stamp(stampPath(packagePath));
    if (!stamp.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(stamp.readAll());
    if (!text.startsWith(recipe))
        return false;
    QMap<QString, qint64> values;
    for (const QString& line : text.mid(recipe.size()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        values[line.section(QLatin1Char(' '), 0, 0)] = line.section(QLatin1Char(' '), 1).toLongLong();
    package->path = packagePath;
    package->files = int(values.value(QStringLiteral("files")));
    package->folders = int(values.value(QStringLiteral("folders")));
    package->compressedFiles = int(values.value(QStringLiteral("compressed")));
    package->storedBytes = values.value(QStringLiteral("stored"));
    package->decodedBytes = values.value(QStringLiteral("decoded"));
    package->packageBytes = values.value(QStringLiteral("size"), -1);
    return package->files > 0 && package->packageBytes == QFileInfo(packagePath).size();
}

bool writeStamp(const QString& packagePath, const QString& recipe, const RealisticPackage& package,
                QString* error)
{
    QSaveFile stamp(stampPath(packagePath));
    const QByteArray text = (recipe + summaryText(package)).toUtf8();
    if (stamp.open(QIODevice::WriteOnly) && stamp.write(text) == text.size() && stamp.commit())
        return true;
    *error = QStringLiteral("Cannot write %1: %2").arg(stamp.fileName(), stamp.errorString());
    return false;
}

bool writePackage(const RealisticContent& content, const QString& path, QString* error)
{
    stfsbuild::PackageBuilder builder;
    QMap<QString, int> folderIndex;
    for (const QString& folder : foldersOf(content)) {
        const qsizetype slash = folder.lastIndexOf(QLatin1Char('/'));
        const int parent = slash < 0 ? stfsbuild::PackageBuilder::kRoot : folderIndex.value(folder.left(slash));
        folderIndex[folder] = builder.addFolder(folder.mid(slash + 1).toUtf8(), parent);
    }
    for (const RealisticFile& file : content.files) {
        const qsizetype slash = file.path.lastIndexOf(QLatin1Char('/'));
        const int parent = slash < 0 ? stfsbuild::PackageBuilder::kRoot : folderIndex.value(file.path.left(slash));
        builder.addFile(file.path.mid(slash + 1).toUtf8(), quint32(file.storedSize), file.stored, parent);
    }
    return stfsbuild::writeStfsImage(builder.build(), path, error);
}

} // namespace

qint64 RealisticContent::storedBytes() const
{
    qint64 total = 0;
    for (const RealisticFile& file : files)
        total += file.storedSize;
    return total;
}

qint64 RealisticContent::decodedBytes() const
{
    qint64 total = 0;
    for (const RealisticFile& file : files)
        total += file.decodedSize;
    return total;
}

int RealisticContent::compressedCount() const
{
    int count = 0;
    for (const RealisticFile& file : files)
        count += file.compressed;
    return count;
}

QString realCorpusFolder()
{
    return QStringLiteral(ORVELLO_REAL_CORPUS);
}

bool realisticContent(RealisticContent* content, QString* error)
{
    auto corpus = std::make_shared<std::vector<CorpusFile>>();
    if (!readSmallCorpus(corpus.get(), error))
        return false;
    content->files.clear();

    const QByteArray image = testing_support::xexImage(gameProfile().titleId);
    content->files.append({QStringLiteral("default.xex"), image.size(), image.size(), false, [image] { return image; }});

    for (int i = 0; i < kCorpusFileCount; ++i) {
        const CorpusFile& source = (*corpus)[size_t(i) % corpus->size()];
        const QString path = QStringLiteral("content/ui/%1/%2")
                                 .arg(numbered("%1", i / kCorpusFilesPerFolder, 2), numbered("asset-%1.xnb", i, 4));
        content->files.append({path, source.bytes.size(), source.decodedSize, true,
                               [corpus, i] { return (*corpus)[size_t(i) % corpus->size()].bytes; }});
    }
    // The package builder needs every size before it writes, so the
    // textures are packed once here (some 80 MB, kept until written).
    for (int i = 0; i < kTextureCount; ++i) {
        const auto packed = std::make_shared<QByteArray>(packedTexture(i));
        content->files.append({numbered("content/textures/texture-%1.xnb", i, 2), packed->size(), kTextureSize, true,
                               [packed] { return *packed; }});
    }
    for (int i = 0; i < kDataFileCount; ++i) {
        const qint64 size = dataFileSize(i);
        const QString path = QStringLiteral("content/data/%1/%2")
                                 .arg(i / kDataFilesPerFolder)
                                 .arg(numbered("record-%1.dat", i, 3));
        content->files.append({path, size, size, false, [i, size] {
            return toByteArray(lzxenc::make_synthetic_data(lzxenc::DataKind::Records, size_t(size), 0xDA7A00u + i));
        }});
    }
    for (int i = 0; i < kAudioBankCount; ++i) {
        content->files.append({numbered("content/audio/bank-%1.xwb", i, 2), kAudioBankSize, kAudioBankSize, false, [i] {
            return toByteArray(lzxenc::make_synthetic_data(lzxenc::DataKind::Random, size_t(kAudioBankSize), 0xA0D10u + i));
        }});
    }
    return true;
}

bool makeRealisticPackage(const QString& path, RealisticPackage* package, QString* error)
{
    const QString recipe = recipeText();
    if (readStamp(path, recipe, package))
        return true;
    QFile::remove(stampPath(path));
    RealisticContent content;
    if (!realisticContent(&content, error))
        return false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("Cannot create the folder of %1").arg(path);
        return false;
    }
    if (!writePackage(content, path, error))
        return false;
    package->path = path;
    package->packageBytes = QFileInfo(path).size();
    package->files = int(content.files.size());
    package->folders = int(foldersOf(content).size());
    package->compressedFiles = content.compressedCount();
    package->storedBytes = content.storedBytes();
    package->decodedBytes = content.decodedBytes();
    return writeStamp(path, recipe, *package, error);
}

bool writeRealisticFolder(const QString& folder, QString* error)
{
    RealisticContent content;
    if (!realisticContent(&content, error))
        return false;
    const QDir root(folder);
    for (const RealisticFile& file : content.files) {
        const QString target = root.filePath(file.path);
        if (!QDir().mkpath(QFileInfo(target).absolutePath())) {
            *error = QStringLiteral("Cannot create the folder of %1").arg(target);
            return false;
        }
        QFile out(target);
        const QByteArray bytes = file.stored();
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush()) {
            *error = QStringLiteral("Cannot write %1: %2").arg(target, out.errorString());
            return false;
        }
    }
    return true;
}

} // namespace bench_support
