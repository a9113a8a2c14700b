// Game content for the import tests.
#include "import_fixture.h"

#include "stfs_image.h"
#include "stfs_package_builder.h"
#include "test_support.h"
#include "zorv_packer.h"

#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>

namespace testing_support {

namespace {

QByteArray textLike(int size, quint32 seed)
{
    static const char* const words[] = {"tessarine", "vandry", "live", "arcade", "level", "score", "player", "the",
                                        "glyph", "texture", "menu", "button", "\n"};
    QRandomGenerator random(seed);
    QByteArray out;
    while (out.size() < size) {
        out += words[random.bounded(int(std::size(words)))];
        out += ' ';
    }
    out.resize(size);
    return out;
}

QByteArray pack(const QByteArray& content, lzxenc::ZorvLayout layout, unsigned windowBits)
{
    lzxenc::ZorvPackOptions options;
    options.layout = layout;
    options.lzx.window_bits = windowBits;
    if (layout == lzxenc::ZorvLayout::Zoned)
        options.zone_shift = 2;
    const auto* begin = reinterpret_cast<const uint8_t*>(content.constData());
    const std::vector<uint8_t> file = lzxenc::pack_zorv({begin, size_t(content.size())}, options).file;
    return QByteArray(reinterpret_cast<const char*>(file.data()), qsizetype(file.size()));
}

} // namespace

int GameContent::compressedCount() const
{
    int count = 0;
    for (const File& file : files)
        count += file.stored != file.decoded;
    return count;
}

qint64 GameContent::folderCount() const
{
    QSet<QString> folders;
    for (const QString& path : files.keys()) {
        for (qsizetype slash = path.indexOf('/'); slash > 0; slash = path.indexOf('/', slash + 1))
            folders.insert(path.left(slash));
    }
    return folders.size();
}

quint64 GameContent::storedBytes() const
{
    quint64 total = 0;
    for (const File& file : files)
        total += file.stored.size();
    return total;
}

QByteArray rawZorv(const QByteArray& content)
{
    // magic, version 1.0, six unread bytes, flags 0 (no segments)
    return QByteArray::fromHex("0ff512ed" "0100" "000000000000" "00000000") + content;
}

GameContent makeGameContent(const QString& titleId)
{
    GameContent content;
    const QByteArray font = textLike(300000, 1);
    const QByteArray bank = textLike(200000, 2) + QByteArray(70000, '\x7f');
    const QByteArray level = textLike(5000, 3);
    content.files["default.xex"] = {xexImage(titleId), xexImage(titleId)};
    content.files["content/ui/fonts/title.xnb"] = {pack(font, lzxenc::ZorvLayout::Contiguous, 16), font};
    content.files["content/sound/bank.xwb"] = {pack(bank, lzxenc::ZorvLayout::Zoned, 17), bank};
    content.files["content/levels/level1.dat"] = {rawZorv(level), level};
    content.files["content/readme.txt"] = {"Tessarine Vandry Live\n", "Tessarine Vandry Live\n"};
    content.files["content/empty.bin"] = {QByteArray(), QByteArray()};
    return content;
}

void writeContentFolder(const QString& folder, const GameContent& content)
{
    for (auto it = content.files.cbegin(); it != content.files.cend(); ++it)
        writeFile(QDir(folder).filePath(it.key()), it->stored);
}

void writeContentPackage(const QString& packagePath, const GameContent& content)
{
    stfsbuild::PackageBuilder builder;
    QMap<QString, int> folders;
    const auto folderIndex = [&](const QString& path) {
        int parent = stfsbuild::PackageBuilder::kRoot;
        QString sofar;
        for (const QString& part : path.split('/')) {
            sofar += (sofar.isEmpty() ? QString() : QStringLiteral("/")) + part;
            if (!folders.contains(sofar))
                folders[sofar] = builder.addFolder(part.toUtf8(), parent);
            parent = folders[sofar];
        }
        return parent;
    };
    for (auto it = content.files.cbegin(); it != content.files.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf('/');
        const int parent = slash < 0 ? stfsbuild::PackageBuilder::kRoot : folderIndex(it.key().left(slash));
        builder.addFile(it.key().mid(slash + 1).toUtf8(), it->stored, parent);
    }
    QString error;
    QVERIFY2(QDir().mkpath(QFileInfo(packagePath).absolutePath()), "package folder");
    QVERIFY2(stfsbuild::writeStfsImage(builder.build(), packagePath, &error), qPrintable(error));
}

void verifyDecoded(const QString& folder, const GameContent& content)
{
    for (auto it = content.files.cbegin(); it != content.files.cend(); ++it) {
        QFile file(QDir(folder).filePath(it.key()));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        QVERIFY2(file.readAll() == it->decoded, qPrintable(it.key() + QStringLiteral(" is not its decoded content")));
    }
    QVERIFY2(decodingLeftovers(folder).isEmpty(), qPrintable(decodingLeftovers(folder).join(", ")));
}

void verifyUntouchedOrDecoded(const QString& folder, const GameContent& content, int* decoded)
{
    *decoded = 0;
    for (auto it = content.files.cbegin(); it != content.files.cend(); ++it) {
        const QByteArray bytes = readBytes(QDir(folder).filePath(it.key()));
        QVERIFY2(bytes == it->stored || bytes == it->decoded, qPrintable(it.key() + " is half-decoded"));
        *decoded += it->stored != it->decoded && bytes == it->decoded;
    }
    QVERIFY2(decodingLeftovers(folder).isEmpty(), qPrintable(decodingLeftovers(folder).join(", ")));
}

QStringList decodingLeftovers(const QString& folder)
{
    QStringList found;
    QDirIterator it(folder, {QStringLiteral("*.decoding")}, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace testing_support
