// Tests of extractAll: progress reports, file contents over every block
// placement, chain bounds, blocks that do not match their digests, unsafe
// names, symbolic links in the destination, write failures and stopping
// between entries.
#include "import/stfs_extract.h"
#include "stfs_package_builder.h"
#include "test_support.h"

#include <QDirIterator>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <sys/resource.h>

using namespace stfsbuild;
using namespace testing_support;

namespace {

struct Report {
    qint64 done;
    qint64 total;
    QString path;
    bool operator==(const Report&) const = default;
};

// Limits the size of files this process may write, and turns the resulting
// signal into a plain write error, for as long as the object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved{};
    void (*previousHandler)(int) = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(BlockOrder)

class TestStfsExtract : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { home.reset(); }

    void progressSequence();
    void onlyFreeEntries();
    void contentsSurviveEveryLayout_data();
    void contentsSurviveEveryLayout();
    void emptyFileReadsNoBlock();
    void chainBound_data();
    void chainBound();
    void brokenChains_data();
    void brokenChains();
    void hugeDeclaredSizeIsBoundedByThePackage();
    void truncatedPackageFailsAtTheFirstMissingBlock();
    void damagedBlockStopsTheExtraction_data();
    void damagedBlockStopsTheExtraction();
    void trueDigestsLetAlteredBlocksThrough();
    void foldersListedAfterTheirFiles();
    void overwritesExistingFile();
    void unsafeNames_data();
    void unsafeNames();
    void symbolicLinksInDestinationAreNotFollowed_data();
    void symbolicLinksInDestinationAreNotFollowed();
    void destinationObstacles_data();
    void destinationObstacles();
    void writeFailureIsDetected();
    void stopsBetweenEntries();
    void packedFolderTreeRoundTrips_data();
    void packedFolderTreeRoundTrips();

private:
    bool openImage(const StfsImage& image, StfsReader& reader)
    {
        const QString path = home->filePath(QStringLiteral("p.stfs"));
        QString error;
        if (!writeStfsImage(image, path, &error) || !reader.open(path, &error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        return true;
    }
    // Extracts the image into destination; returns the error text, or an
    // empty string on success.
    QString extractImage(const StfsImage& image, QList<Report>* reports = nullptr, FileDigests* digests = nullptr)
    {
        StfsReader reader;
        if (!openImage(image, reader))
            return QStringLiteral("<package did not open>");
        QString error;
        const auto record = [reports](qint64 done, qint64 total, const QString& path) {
            if (reports)
                reports->append(Report{done, total, path});
        };
        if (!extractAll(reader, destination, record, &error, ExtractOptions{.digests = digests}))
            return error.isEmpty() ? QStringLiteral("<failed without message>") : error;
        return QString();
    }

    std::unique_ptr<ScratchHome> home;
    QString destination;
    QString outside;
};

void TestStfsExtract::init()
{
    home = std::make_unique<ScratchHome>();
    destination = home->filePath(QStringLiteral("out/gamedata"));
    outside = home->filePath(QStringLiteral("outside"));
    QDir().mkpath(outside);
}

void TestStfsExtract::progressSequence()
{
    PackageBuilder builder;
    const int folder = builder.addFolder("d");
    builder.addFile("a", QByteArray("alpha"), folder);
    builder.addFreeEntry();
    builder.addFile("b", QByteArray());
    QList<Report> reports;
    QCOMPARE(extractImage(builder.build(), &reports), QString());
    const QList<Report> expected{{0, 3, QStringLiteral("d")},
                                 {1, 3, QStringLiteral("d/a")},
                                 {2, 3, QStringLiteral("b")},
                                 {3, 3, QString()}};
    QCOMPARE(reports, expected);
    QCOMPARE(readBytes(destination + QStringLiteral("/d/a")), QByteArray("alpha"));
    QVERIFY(QFileInfo(destination + QStringLiteral("/b")).isFile());
}

void TestStfsExtract::onlyFreeEntries()
{
    PackageBuilder builder;
    builder.addFreeEntry();
    QList<Report> reports;
    QCOMPARE(extractImage(builder.build(), &reports), QString());
    const QList<Report> expected{Report{0, 0, QString()}};
    QCOMPARE(reports, expected);
    QVERIFY(QFileInfo(destination).isDir());
    QVERIFY(QDir(destination).isEmpty());
}

void TestStfsExtract::contentsSurviveEveryLayout_data()
{
    QTest::addColumn<BlockOrder>("order");
    QTest::addColumn<quint32>("firstBlock");
    QTest::addColumn<QList<int>>("sizes");
    const QList<int> small{1, 4095, 4096, 4097, 8192};
    const QList<int> large{170 * 4096 + 5, 3 * 4096, 200 * 4096 - 1};
    for (auto [name, order] : {std::pair{"consecutive", BlockOrder::Consecutive},
                               std::pair{"interleaved", BlockOrder::Interleaved},
                               std::pair{"reversed", BlockOrder::Reversed}}) {
        QTest::addRow("%s, small files", name) << order << 0u << small;
        QTest::addRow("%s, beyond 170 blocks", name) << order << 0u << large;
        QTest::addRow("%s, across the level-2 table", name) << order << 28880u << QList<int>{30 * 4096, 9000};
    }
}

// Every file comes back byte for byte, whatever the placement of its blocks:
// scattered chains, chains that skip hash-table slots, and chains that cross
// the level-1/level-2 tables at block 28900. The SHA-256 taken on the way is
// that of the file.
void TestStfsExtract::contentsSurviveEveryLayout()
{
    QFETCH(BlockOrder, order);
    QFETCH(quint32, firstBlock);
    QFETCH(QList<int>, sizes);
    PackageBuilder builder(PackageOptions{.firstBlock = firstBlock, .order = order});
    const int folder = builder.addFolder("data");
    QList<QByteArray> contents;
    for (int i = 0; i < sizes.size(); ++i) {
        contents.append(patternBytes(sizes[i], quint32(i + 1)));
        builder.addFile("f" + QByteArray::number(i), contents.last(), folder);
    }
    const StfsImage image = builder.build();
    if (firstBlock > 0)
        QVERIFY(image.allocatedBlocks > 28900);
    FileDigests digests;
    QCOMPARE(extractImage(image, nullptr, &digests), QString());
    QCOMPARE(digests.size(), sizes.size());
    for (int i = 0; i < sizes.size(); ++i) {
        QVERIFY2(readBytes(QStringLiteral("%1/data/f%2").arg(destination).arg(i)) == contents[i],
                 qPrintable(QStringLiteral("file %1 differs").arg(i)));
        QCOMPARE(digests.value(QStringLiteral("data/f%1").arg(i)),
                 QCryptographicHash::hash(contents[i], QCryptographicHash::Sha256).toHex());
    }
}

void TestStfsExtract::emptyFileReadsNoBlock()
{
    PackageBuilder builder;
    const int empty = builder.addFile("empty", QByteArray());
    StfsImage image = builder.build();
    image.entries[empty].storedFirstBlock = 0xFFFFFF;
    image.entries[empty].blockCount = 12;
    QCOMPARE(extractImage(image), QString());
    QVERIFY(QFileInfo(destination + QStringLiteral("/empty")).isFile());
    QCOMPARE(QFileInfo(destination + QStringLiteral("/empty")).size(), 0);
}

void TestStfsExtract::chainBound_data()
{
    QTest::addColumn<quint32>("declaredBlocks");
    QTest::addColumn<int>("size");
    QTest::addColumn<bool>("succeeds");
    QTest::newRow("count 1, three blocks: within the bound") << 1u << 3 * 4096 << true;
    QTest::newRow("count 1, four blocks: beyond the bound") << 1u << 4 * 4096 << false;
    QTest::newRow("count 0, 8192 bytes need two blocks") << 0u << 8192 << true;
    QTest::newRow("count 0, size gives the bound") << 0u << 6 * 4096 + 1 << true;
}

// The chain may run to the blocks needed plus two; the blocks needed come
// from the block count, or from the size when the count is 0.
void TestStfsExtract::chainBound()
{
    QFETCH(quint32, declaredBlocks);
    QFETCH(int, size);
    QFETCH(bool, succeeds);
    PackageBuilder builder;
    const QByteArray content = patternBytes(size, 7);
    const int file = builder.addFile("f", content);
    StfsImage image = builder.build();
    image.entries[file].blockCount = declaredBlocks;
    const QString error = extractImage(image);
    if (succeeds) {
        QCOMPARE(error, QString());
        QCOMPARE(readBytes(destination + QStringLiteral("/f")), content);
    } else {
        QCOMPARE(error, QStringLiteral("Block chain for f ends early"));
        QCOMPARE(QFileInfo(destination + QStringLiteral("/f")).size(), 3 * 4096);
    }
}

void TestStfsExtract::brokenChains_data()
{
    QTest::addColumn<ImageEdit>("edit");
    QTest::addColumn<QString>("message");
    // The file "d/f" has five blocks; "g" has two.
    QTest::newRow("chain ends at 0xFFFFFF")
        << ImageEdit([](StfsImage& i) { i.linkOverrides[i.files[0].blocks[2]] = 0xFFFFFF; })
        << QStringLiteral("Block chain for d/f ends early");
    QTest::newRow("first block at A")
        << ImageEdit([](StfsImage& i) { i.entries[1].storedFirstBlock = i.allocatedBlocks; })
        << QStringLiteral("Block chain for d/f ends early");
    QTest::newRow("link leaves the volume")
        << ImageEdit([](StfsImage& i) { i.linkOverrides[i.files[0].blocks[1]] = i.allocatedBlocks + 3; })
        << QStringLiteral("Block chain for d/f ends early");
    QTest::newRow("link past the end of the file")
        << ImageEdit([](StfsImage& i) {
               i.allocatedBlocks = 1000;
               i.linkOverrides[i.files[0].blocks[1]] = 900;
           })
        << QStringLiteral("Short read at offset %1").arg(0xA000 + 4096 * 907);
    QTest::newRow("chain loops onto itself")
        << ImageEdit([](StfsImage& i) { i.linkOverrides[i.files[0].blocks[3]] = i.files[0].blocks[1]; })
        << QStringLiteral("Block chain for d/f reuses block %1").arg(2);
    QTest::newRow("second file runs into the first")
        << ImageEdit([](StfsImage& i) { i.entries[2].storedFirstBlock = i.files[0].blocks[3]; })
        << QStringLiteral("Block chain for g reuses block %1").arg(4);
}

void TestStfsExtract::brokenChains()
{
    QFETCH(ImageEdit, edit);
    QFETCH(QString, message);
    PackageBuilder builder;
    const int folder = builder.addFolder("d");
    builder.addFile("f", patternBytes(5 * 4096, 1), folder);
    builder.addFile("g", patternBytes(4097, 2));
    StfsImage image = builder.build();
    QCOMPARE(image.files[0].blocks, (QList<quint32>{1, 2, 3, 4, 5}));
    edit(image);
    QCOMPARE(extractImage(image), message);
}

// A tiny package declaring a 4 GiB file whose chain loops must not write
// more than the package holds.
void TestStfsExtract::hugeDeclaredSizeIsBoundedByThePackage()
{
    PackageBuilder builder;
    const int file = builder.addFile("big", patternBytes(3 * 4096, 5));
    StfsImage image = builder.build();
    image.entries[file].size = 0xFFFFFFFF;
    image.entries[file].blockCount = 0xFFFFFF;
    image.allocatedBlocks = 0xFFFFFFFF;
    image.linkOverrides[image.files[0].blocks.last()] = image.files[0].blocks.first();
    QCOMPARE(extractImage(image), QStringLiteral("Block chain for big reuses block 1"));
    QCOMPARE(QFileInfo(destination + QStringLiteral("/big")).size(), 3 * 4096);
}

// Blocks 1 to 10 form one run; the package ends inside block 6. The blocks
// before it are written and the message names block 6's offset, just as a
// walk reading one block at a time would leave it.
void TestStfsExtract::truncatedPackageFailsAtTheFirstMissingBlock()
{
    PackageBuilder builder;
    const QByteArray content = patternBytes(10 * 4096, 4);
    builder.addFile("f", content);
    StfsImage image = builder.build();
    QCOMPARE(image.files[0].blocks.first(), 1u);
    const qint64 block6 = 0xA000 + 7 * 4096;
    image.fileSize = block6 + 100;
    QCOMPARE(extractImage(image), QStringLiteral("Short read at offset %1").arg(block6));
    QCOMPARE(readBytes(destination + QStringLiteral("/f")), content.left(5 * 4096));
}

void TestStfsExtract::damagedBlockStopsTheExtraction_data()
{
    QTest::addColumn<BlockOrder>("order");
    QTest::addColumn<quint32>("blockBase");
    QTest::addColumn<int>("blocks");      // of the damaged file
    QTest::addColumn<int>("damaged");     // position in its chain
    QTest::addColumn<int>("cutAt");       // position whose block the package ends in, -1: none
    // A file of one run is checked before it is written; longer files are
    // checked run by run, one run while the one before is written.
    QTest::newRow("one-block file") << BlockOrder::Consecutive << 0u << 1 << 0 << -1;
    QTest::newRow("first block of a run") << BlockOrder::Consecutive << 0u << 60 << 0 << -1;
    QTest::newRow("inside a run") << BlockOrder::Consecutive << 0u << 60 << 37 << -1;
    QTest::newRow("third group of many") << BlockOrder::Consecutive << 0u << 400 << 345 << -1;
    QTest::newRow("last block of many runs") << BlockOrder::Consecutive << 0u << 400 << 399 << -1;
    QTest::newRow("runs of one block") << BlockOrder::Reversed << 0u << 12 << 5 << -1;
    QTest::newRow("chains dealt in turn") << BlockOrder::Interleaved << 0u << 30 << 9 << -1;
    QTest::newRow("block base") << BlockOrder::Consecutive << 7u << 200 << 180 << -1;
    // The package ends inside the run: it is then read block by block.
    QTest::newRow("before the end of a cut package") << BlockOrder::Consecutive << 0u << 10 << 2 << 6;
}

// One flipped byte in one block of the second file: the extraction stops
// with the file's path and the block's number. The first file is complete,
// the second holds exactly the blocks before the damaged one.
void TestStfsExtract::damagedBlockStopsTheExtraction()
{
    QFETCH(BlockOrder, order);
    QFETCH(quint32, blockBase);
    QFETCH(int, blocks);
    QFETCH(int, damaged);
    QFETCH(int, cutAt);
    PackageBuilder builder(PackageOptions{.blockBase = blockBase, .order = order});
    const QByteArray first = patternBytes(300 * 4096 + 11, 1);
    const QByteArray second = patternBytes(blocks * 4096 - 100, 2);
    builder.addFile("first.bin", first);
    const int folder = builder.addFolder("sound");
    builder.addFile("bank.xwb", second, folder);
    StfsImage image = builder.build();
    const SlotMap layout = mapSlots(image.allocatedBlocks - 1, image.allocatedBlocks);
    const auto offsetOf = [&](int position) {
        return dataOffsetOf(image) + 4096 * qint64(layout.dataSlots[image.files[1].blocks[position]]);
    };
    const quint32 damagedBlock = image.files[1].blocks[damaged];
    const qint64 damagedOffset = offsetOf(damaged);
    if (cutAt >= 0)
        image.fileSize = offsetOf(cutAt) + 100;

    const QString path = home->filePath(QStringLiteral("p.stfs"));
    QString error;
    QVERIFY2(writeStfsImage(image, path, &error), qPrintable(error));
    flipByte(path, damagedOffset + 1234);

    StfsReader reader;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QVERIFY(!extractAll(reader, destination, {}, &error));
    QCOMPARE(error, QStringLiteral("Damaged package: sound/bank.xwb does not match its checksum (block %1).")
                        .arg(damagedBlock));
    QVERIFY(readBytes(destination + QStringLiteral("/first.bin")) == first);
    QVERIFY(readBytes(destination + QStringLiteral("/sound/bank.xwb")) == second.left(4096 * damaged));
}

// The fuzzer's way past the checks: once the altered package's true digests
// are written into it, the altered bytes are extracted.
void TestStfsExtract::trueDigestsLetAlteredBlocksThrough()
{
    PackageBuilder builder;
    QByteArray content = patternBytes(3 * 4096, 3);
    builder.addFile("f", content);
    const StfsImage image = builder.build();
    const QString path = home->filePath(QStringLiteral("p.stfs"));
    QString error;
    QVERIFY2(writeStfsImage(image, path, &error), qPrintable(error));
    const qint64 secondBlock = dataOffsetOf(image) + 4096 * qint64(mapSlots(2, image.allocatedBlocks).dataSlots[2]);
    flipByte(path, secondBlock + 9);
    content[4096 + 9] = char(content[4096 + 9] ^ 0x20);

    QByteArray package = readBytes(path);
    writeTrueDigests(package);
    writeFile(path, package);
    StfsReader reader;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QVERIFY2(extractAll(reader, destination, {}, &error), qPrintable(error));
    QCOMPARE(readBytes(destination + QStringLiteral("/f")), content);
}

void TestStfsExtract::foldersListedAfterTheirFiles()
{
    PackageBuilder builder(PackageOptions{.foldersAfterFiles = true});
    const int outer = builder.addFolder("outer");
    const int inner = builder.addFolder("inner", outer);
    builder.addFile("deep.bin", patternBytes(5000, 9), inner);
    builder.addFolder("empty", outer);
    const StfsImage image = builder.build();
    QVERIFY(!image.entries[0].isDirectory);
    QCOMPARE(extractImage(image), QString());
    QCOMPARE(readBytes(destination + QStringLiteral("/outer/inner/deep.bin")), patternBytes(5000, 9));
    QVERIFY(QFileInfo(destination + QStringLiteral("/outer/empty")).isDir());
}

void TestStfsExtract::overwritesExistingFile()
{
    QVERIFY(QDir().mkpath(destination));
    writeFile(destination + QStringLiteral("/f"), QByteArray(10000, 'o'));
    PackageBuilder builder;
    builder.addFile("f", QByteArray("new"));
    QCOMPARE(extractImage(builder.build()), QString());
    QCOMPARE(readBytes(destination + QStringLiteral("/f")), QByteArray("new"));
}

void TestStfsExtract::unsafeNames_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("path");
    QTest::newRow("dot dot") << QByteArray("..") << QStringLiteral("sub/..");
    QTest::newRow("dot") << QByteArray(".") << QStringLiteral("sub/.");
    QTest::newRow("separator inside") << QByteArray("../../escape") << QStringLiteral("sub/../../escape");
    QTest::newRow("leading separator") << QByteArray("/tmp") << QStringLiteral("sub//tmp");
    QTest::newRow("NUL inside") << QByteArray("a\0b", 3) << QStringLiteral("sub/a") + QChar(0) + u'b';
}

// One bad name anywhere refuses the whole package before anything exists.
void TestStfsExtract::unsafeNames()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, path);
    PackageBuilder builder;
    builder.addFile("first", QByteArray("written first if nothing checked"));
    const int sub = builder.addFolder("sub");
    builder.addFile(name, QByteArray("escaped"), sub);
    QCOMPARE(extractImage(builder.build()), QStringLiteral("Unsafe path in package: %1").arg(path));
    QVERIFY(!QFileInfo::exists(home->filePath(QStringLiteral("out"))));
    QVERIFY(!QFileInfo::exists(home->filePath(QStringLiteral("escape"))));
}

void TestStfsExtract::symbolicLinksInDestinationAreNotFollowed_data()
{
    QTest::addColumn<QString>("linkName");
    QTest::addColumn<QString>("linkTarget");
    QTest::addColumn<QString>("victim");
    QTest::newRow("link as a folder") << QStringLiteral("sub") << QStringLiteral("outside")
                                      << QStringLiteral("outside/x");
    QTest::newRow("link as the file") << QStringLiteral("sub/x") << QStringLiteral("outside/x")
                                      << QStringLiteral("outside/x");
}

void TestStfsExtract::symbolicLinksInDestinationAreNotFollowed()
{
    QFETCH(QString, linkName);
    QFETCH(QString, linkTarget);
    QFETCH(QString, victim);
    QVERIFY(QDir().mkpath(destination + QStringLiteral("/sub")));
    writeFile(home->filePath(QStringLiteral("outside/x")), QByteArray("precious"));
    const QString link = destination + u'/' + linkName;
    QDir(destination).rmdir(linkName);
    QVERIFY(QFile::link(home->filePath(linkTarget), link));

    PackageBuilder builder;
    const int sub = builder.addFolder("sub");
    builder.addFile("x", QByteArray("overwritten"), sub);
    QCOMPARE(extractImage(builder.build()), QStringLiteral("Refusing to follow the symbolic link %1").arg(link));
    QCOMPARE(readBytes(home->filePath(victim)), QByteArray("precious"));
}

void TestStfsExtract::destinationObstacles_data()
{
    QTest::addColumn<QString>("obstacle");  // made as a regular file, or a folder when it ends in "/"
    QTest::addColumn<QString>("message");   // "{dest}" stands for the destination folder
    QTest::newRow("destination is a file") << QString() << QStringLiteral("Cannot create {dest}: Not a directory");
    QTest::newRow("folder entry is a file") << QStringLiteral("d") << QStringLiteral("Cannot create folder d: Not a directory");
    QTest::newRow("file's folder is a file") << QStringLiteral("e") << QStringLiteral("Cannot create folder for e/f: Not a directory");
    QTest::newRow("file is a folder") << QStringLiteral("g/")
                                      << QStringLiteral("Cannot write {dest}/g: Is a directory");
}

// Running as root ignores permissions, so unwritable places are made by
// putting a file where a folder belongs and a folder where a file belongs.
void TestStfsExtract::destinationObstacles()
{
    QFETCH(QString, obstacle);
    QFETCH(QString, message);
    if (obstacle.isEmpty()) {
        QVERIFY(QDir().mkpath(home->filePath(QStringLiteral("out"))));
        writeFile(destination, "not a folder");
    } else if (obstacle.endsWith(u'/')) {
        QVERIFY(QDir().mkpath(destination + u'/' + obstacle));
    } else {
        QVERIFY(QDir().mkpath(destination));
        writeFile(destination + u'/' + obstacle, "in the way");
    }
    // Listed as: g, e/f, d, e.
    PackageBuilder builder(PackageOptions{.foldersAfterFiles = true});
    builder.addFolder("d");
    const int e = builder.addFolder("e");
    builder.addFile("g", QByteArray("g"));
    builder.addFile("f", QByteArray("f"), e);
    QCOMPARE(extractImage(builder.build()), message.replace(QStringLiteral("{dest}"), destination));
}

// Qt buffers writes, so a full disk may only show at the final flush; a
// file-size limit makes the write fail the same way, even for root.
void TestStfsExtract::writeFailureIsDetected()
{
    PackageBuilder builder;
    builder.addFile("small", QByteArray("fits"));
    builder.addFile("large", patternBytes(64 * 1024, 3));
    StfsReader reader;
    QVERIFY(openImage(builder.build(), reader));
    QString error;
    bool extracted = false;
    {
        FileSizeLimit limit(10000);
        extracted = extractAll(reader, destination, {}, &error);
    }
    QVERIFY(!extracted);
    QCOMPARE(error, QStringLiteral("Write to %1 failed: File too large").arg(destination + QStringLiteral("/large")));
    QCOMPARE(readBytes(destination + QStringLiteral("/small")), QByteArray("fits"));
}

// The worker thread is asked to stop while the second entry is reported: that
// entry is completed, the third never started.
void TestStfsExtract::stopsBetweenEntries()
{
    PackageBuilder builder;
    builder.addFile("one", patternBytes(5000, 1));
    builder.addFile("two", patternBytes(5000, 2));
    builder.addFile("three", patternBytes(5000, 3));
    StfsReader reader;
    QVERIFY(openImage(builder.build(), reader));
    QString error;
    bool extracted = true;
    QList<Report> reports;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        extracted = extractAll(reader, destination,
                               [&reports](qint64 done, qint64 total, const QString& path) {
                                   reports.append(Report{done, total, path});
                                   if (done == 1)
                                       QThread::currentThread()->requestInterruption();
                               },
                               &error);
    }));
    worker->start();
    QVERIFY(worker->wait(30000));
    QVERIFY(!extracted);
    QCOMPARE(error, QStringLiteral("Import stopped before it finished."));
    QCOMPARE(reports.size(), 2);
    QCOMPARE(readBytes(destination + QStringLiteral("/two")), patternBytes(5000, 2));
    QVERIFY(!QFileInfo::exists(destination + QStringLiteral("/three")));
}

void TestStfsExtract::packedFolderTreeRoundTrips_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::newRow("defaults") << QStringList();
    QTest::newRow("LIVE, interleaved, folders last")
        << QStringList{QStringLiteral("--magic"), QStringLiteral("LIVE"), QStringLiteral("--order"),
                       QStringLiteral("interleaved"), QStringLiteral("--folders-last")};
    QTest::newRow("PIRS, reversed, across block 28900")
        << QStringList{QStringLiteral("--magic"), QStringLiteral("PIRS"), QStringLiteral("--order"),
                       QStringLiteral("reversed"), QStringLiteral("--first-block"), QStringLiteral("28850")};
}

// stfs-build packs a folder tree; extracting the package gives the same tree.
void TestStfsExtract::packedFolderTreeRoundTrips()
{
    QFETCH(QStringList, options);
    const QString source = home->filePath(QStringLiteral("tree"));
    const QMap<QString, QByteArray> files{
        {QStringLiteral("default.xex"), patternBytes(20000, 1)},
        {QStringLiteral("content/vandry.pak"), patternBytes(180 * 4096 + 77, 2)},
        {QStringLiteral("content/empty.dat"), QByteArray()},
        {QStringLiteral("content/deeper/still/.hidden"), QByteArray("h")},
    };
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        QDir().mkpath(QFileInfo(source + u'/' + it.key()).path());
        writeFile(source + u'/' + it.key(), it.value());
    }
    QDir().mkpath(source + QStringLiteral("/empty-folder"));

    const QString package = home->filePath(QStringLiteral("tree.stfs"));
    QProcess packer;
    packer.setProcessChannelMode(QProcess::MergedChannels);
    packer.start(QStringLiteral(STFS_BUILD_PATH), options + QStringList{source, package});
    QVERIFY(packer.waitForFinished(60000));
    QVERIFY2(packer.exitStatus() == QProcess::NormalExit && packer.exitCode() == 0, packer.readAll().constData());

    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(package, &error), qPrintable(error));
    QVERIFY2(extractAll(reader, destination, {}, &error), qPrintable(error));
    QStringList extracted;
    QDirIterator it(destination, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        extracted.append(QDir(destination).relativeFilePath(it.next()));
    extracted.sort();
    QCOMPARE(extracted, (QStringList{"content", "content/deeper", "content/deeper/still",
                                     "content/deeper/still/.hidden", "content/empty.dat", "content/vandry.pak",
                                     "default.xex", "empty-folder"}));
    for (auto file = files.cbegin(); file != files.cend(); ++file)
        QCOMPARE(readBytes(destination + u'/' + file.key()), file.value());
}

ORVELLO_CORE_TEST_MAIN(TestStfsExtract)
#include "stfs_extract_test.moc"
