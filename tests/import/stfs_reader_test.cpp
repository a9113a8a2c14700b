// Tests of StfsReader: header validation, block addressing, hash links,
// the file table and entry paths.
#include "import/stfs_reader.h"
#include "stfs_package_builder.h"
#include "test_support.h"

using namespace stfsbuild;
using namespace testing_support;

namespace {

// A folder "data" holding "a.bin", a free entry, and "b.txt" at the root.
StfsImage smallImage()
{
    PackageBuilder builder;
    const int data = builder.addFolder("data");
    builder.addFile("a.bin", patternBytes(5000, 1), data);
    builder.addFreeEntry();
    builder.addFile("b.txt", QByteArray("hello"));
    return builder.build();
}

} // namespace

class TestStfsReader : public QObject {
    Q_OBJECT

private slots:
    void init() { home = std::make_unique<ScratchHome>(); }
    void cleanup() { home.reset(); }

    void slotNumbering_data();
    void slotNumbering();
    void slotNumberingMatchesLayoutWalk();
    void headerSizeRounding_data();
    void headerSizeRounding();
    void hashEntryOffset();
    void magic_data();
    void magic();
    void openFailures_data();
    void openFailures();
    void damagedFileTableIsRefused_data();
    void damagedFileTableIsRefused();
    void selfLinkingTableReadsAPlusOneBlocks();
    void hugeDeclaredBlockCountStaysBounded();
    void fileTableStartAndBlockBase_data();
    void fileTableStartAndBlockBase();
    void freeEntriesKeepTheirPositions();
    void multiBlockFileTableFollowsLinks_data();
    void multiBlockFileTableFollowsLinks();
    void nameLength63();
    void entryPathStopsOnLoops();
    void reopenRebuildsEntries();
    void readAtOutsideTheFile_data();
    void readAtOutsideTheFile();

private:
    QString writePackage(const StfsImage& image, const QString& name = QStringLiteral("p.stfs"))
    {
        const QString path = home->filePath(name);
        QString error;
        if (!writeStfsImage(image, path, &error))
            qFatal("cannot write test package: %s", qPrintable(error));
        return path;
    }

    std::unique_ptr<ScratchHome> home;
};

void TestStfsReader::slotNumbering_data()
{
    QTest::addColumn<quint32>("block");
    QTest::addColumn<quint32>("allocated");
    QTest::addColumn<quint64>("slot");
    QTest::newRow("first block") << 0u << 200u << quint64(1);
    QTest::newRow("last of group 0") << 169u << 200u << quint64(170);
    QTest::newRow("first of group 1 skips level-1") << 170u << 400u << quint64(173);
    QTest::newRow("last of group 1") << 339u << 400u << quint64(342);
    QTest::newRow("first of group 2") << 340u << 400u << quint64(344);
    QTest::newRow("last under level-1 table 0") << 28899u << 28900u << quint64(29070);
    QTest::newRow("last under level-1 table 0, level 2 present") << 28899u << 28901u << quint64(29070);
    QTest::newRow("first under level-1 table 1") << 28900u << 28901u << quint64(29074);
}

void TestStfsReader::slotNumbering()
{
    QFETCH(quint32, block);
    QFETCH(quint32, allocated);
    QFETCH(quint64, slot);
    StfsReader reader;
    reader.dataOffset = 0xA000;
    reader.allocatedBlocks = allocated;
    QCOMPARE(StfsReader::slotOfBlock(block, allocated), slot);
    QCOMPARE(reader.blockOffset(block), qint64(0xA000 + 4096 * slot));
}

// The builder finds slots by walking the data area table by table; the
// reader computes them. Both must agree everywhere, across both level-1
// boundaries and with and without the level-2 table.
void TestStfsReader::slotNumberingMatchesLayoutWalk()
{
    for (quint32 allocated : {28900u, 60000u}) {
        const SlotMap map = mapSlots(allocated - 1, allocated);
        for (quint32 block = 0; block < allocated; ++block) {
            if (StfsReader::slotOfBlock(block, allocated) != map.dataSlots[block])
                QFAIL(qPrintable(QStringLiteral("block %1 of %2 differs").arg(block).arg(allocated)));
        }
    }
}

void TestStfsReader::headerSizeRounding_data()
{
    QTest::addColumn<quint32>("headerSize");
    QTest::addColumn<qint64>("dataOffset");
    QTest::newRow("0x971A") << 0x971Au << qint64(0xA000);
    QTest::newRow("exact multiple stays") << 0xA000u << qint64(0xA000);
    QTest::newRow("1") << 1u << qint64(0x1000);
}

void TestStfsReader::headerSizeRounding()
{
    QFETCH(quint32, headerSize);
    QFETCH(qint64, dataOffset);
    StfsImage image = smallImage();
    image.headerSize = headerSize;
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(writePackage(image), &error), qPrintable(error));
    QCOMPARE(reader.dataOffset, dataOffset);
    QCOMPARE(reader.blockOffset(0), dataOffset + 0x1000);
    QCOMPARE(reader.fileList().size(), 3);
}

// The link of block 171 sits in the level-0 table of group 1 (slot 172),
// entry 1, bytes 21 to 23.
void TestStfsReader::hashEntryOffset()
{
    const QString path = writePackage(smallImage());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const qint64 entryOffset = 0xA000 + 172 * 4096 + 24;
    QVERIFY(file.resize(std::max(file.size(), qint64(entryOffset + 4096))));
    QVERIFY(file.seek(entryOffset + 21));
    QVERIFY(file.write(QByteArray::fromHex("123456")) == 3);
    file.close();

    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    quint32 next = 0;
    QVERIFY2(reader.readHashEntry(171, &next, &error), qPrintable(error));
    QCOMPARE(next, 0x123456u);
}

void TestStfsReader::magic_data()
{
    QTest::addColumn<QByteArray>("magic");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("CON and space") << QByteArray("CON ") << true;
    QTest::newRow("space and CON") << QByteArray(" CON") << true;
    QTest::newRow("LIVE") << QByteArray("LIVE") << true;
    QTest::newRow("PIRS") << QByteArray("PIRS") << true;
    QTest::newRow("lower case con") << QByteArray("con ") << false;
    QTest::newRow("CON and a letter") << QByteArray("CONX") << false;
    QTest::newRow("lower case live") << QByteArray("live") << false;
    QTest::newRow("CON and NUL") << QByteArray("CON\0", 4) << false;
}

void TestStfsReader::magic()
{
    QFETCH(QByteArray, magic);
    QFETCH(bool, accepted);
    StfsImage image = smallImage();
    image.magic = magic;
    StfsReader reader;
    QString error;
    QCOMPARE(reader.open(writePackage(image), &error), accepted);
    if (!accepted)
        QCOMPARE(error, QStringLiteral("Not an STFS package (magic \"%1\")").arg(QString::fromLatin1(magic)));
}

void TestStfsReader::openFailures_data()
{
    QTest::addColumn<ImageEdit>("edit");
    QTest::addColumn<QString>("message");
    QTest::newRow("1023-byte file") << ImageEdit([](StfsImage& i) { i.fileSize = 1023; })
                                    << QStringLiteral("Short read at offset 0");
    QTest::newRow("header size 0") << ImageEdit([](StfsImage& i) { i.headerSize = 0; })
                                   << QStringLiteral("Bogus header size 0");
    QTest::newRow("header size 1, file of 4096 bytes")
        << ImageEdit([](StfsImage& i) { i.headerSize = 1; i.fileSize = 4096; })
        << QStringLiteral("Bogus header size 1");
    QTest::newRow("header size beyond the file")
        << ImageEdit([](StfsImage& i) { i.headerSize = 0xFFFFFFFF; i.fileSize = 0x10000; })
        << QStringLiteral("Bogus header size 4294967295");
    QTest::newRow("descriptor size") << ImageEdit([](StfsImage& i) { i.descriptorSize = 0x23; })
                                     << QStringLiteral("Volume descriptor size is 35, expected 0x24");
    QTest::newRow("zero blocks") << ImageEdit([](StfsImage& i) { i.allocatedBlocks = 0; })
                                 << QStringLiteral("Volume declares zero data blocks");
    QTest::newRow("table starts at A")
        << ImageEdit([](StfsImage& i) { i.storedFileTableBlock = i.allocatedBlocks; })
        << QStringLiteral("File table chain leaves the volume");
    QTest::newRow("table starts at A through the block base")
        << ImageEdit([](StfsImage& i) { i.blockBase = i.allocatedBlocks; })
        << QStringLiteral("File table chain leaves the volume");
    QTest::newRow("table links beyond A")
        << ImageEdit([](StfsImage& i) { i.linkOverrides[i.fileTable.blocks[0]] = 0xFFFFFE; })
        << QStringLiteral("File table chain leaves the volume");
    QTest::newRow("table block past the end of the file")
        << ImageEdit([](StfsImage& i) { i.storedFileTableBlock = 40; i.allocatedBlocks = 100; })
        << QStringLiteral("Short read at offset %1").arg(0xA000 + 41 * 4096);
    QTest::newRow("table links to itself")
        << ImageEdit([](StfsImage& i) { i.linkOverrides[i.fileTable.blocks[0]] = i.fileTable.blocks[0]; })
        << QStringLiteral("File table chain never terminates");
    QTest::newRow("entry is its own parent")
        << ImageEdit([](StfsImage& i) { i.entries[3].parentIndex = 3; })
        << QStringLiteral("File table folders loop at entry 3");
    QTest::newRow("two folders parent each other")
        << ImageEdit([](StfsImage& i) {
               i.entries[0].parentIndex = 2;
               i.entries[2].name = "other";
               i.entries[2].isDirectory = true;
               i.entries[2].parentIndex = 0;
           })
        << QStringLiteral("File table folders loop at entry 0");
}

void TestStfsReader::openFailures()
{
    QFETCH(ImageEdit, edit);
    QFETCH(QString, message);
    StfsImage image = smallImage();
    edit(image);
    StfsReader reader;
    QString error;
    QVERIFY(!reader.open(writePackage(image), &error));
    QCOMPARE(error, message);
}

void TestStfsReader::damagedFileTableIsRefused_data()
{
    QTest::addColumn<int>("tableBlock");  // position in the file table's chain
    QTest::addColumn<bool>("inDigest");   // flip a byte of the digest instead of the data
    QTest::addColumn<int>("byte");
    QTest::newRow("first block, a name") << 0 << false << 3;
    QTest::newRow("first block, a free entry's bytes") << 0 << false << 4000;
    QTest::newRow("first block, its digest") << 0 << true << 7;
    QTest::newRow("second block") << 1 << false << 100;
}

// 70 files take two file-table blocks, each with its own digest; a flipped
// byte in either, even one no field reads, refuses the package.
void TestStfsReader::damagedFileTableIsRefused()
{
    QFETCH(int, tableBlock);
    QFETCH(bool, inDigest);
    QFETCH(int, byte);
    PackageBuilder builder(PackageOptions{.order = BlockOrder::Reversed});
    for (int i = 0; i < 70; ++i)
        builder.addFile("file" + QByteArray::number(i), patternBytes(100, quint32(i)));
    const StfsImage image = builder.build();
    QCOMPARE(image.fileTable.blocks.size(), 2);
    const QString path = writePackage(image);
    const quint32 block = image.fileTable.blocks[tableBlock];
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    const qint64 offset = inDigest ? reader.hashTableOffset(block) + 24 * (block % 170) : reader.blockOffset(block);
    flipByte(path, offset + byte);

    QVERIFY(!reader.open(path, &error));
    QCOMPARE(error, QStringLiteral("Damaged package: the file table does not match its checksum (block %1).").arg(block));
}

// With A = 5 a self-linking table block is read six times; every read
// appends its 64 entries before the chain check fails. (The file holds all
// five blocks, so the count is not cut short by the file's size.)
void TestStfsReader::selfLinkingTableReadsAPlusOneBlocks()
{
    PackageBuilder builder(PackageOptions{.extraAllocatedBlocks = 4});
    builder.addFile("x", QByteArray("x"));
    StfsImage image = builder.build();
    QCOMPARE(image.allocatedBlocks, 6u);
    image.allocatedBlocks = 5;
    image.fileSize = 0xA000 + 7 * 4096;  // slots 0 to 6: the table and blocks 0 to 5
    image.linkOverrides[image.fileTable.blocks[0]] = image.fileTable.blocks[0];
    StfsReader reader;
    QString error;
    QVERIFY(!reader.open(writePackage(image), &error));
    QCOMPARE(error, QStringLiteral("File table chain never terminates"));
    QCOMPARE(reader.entries.size(), 64 * 6);
}

// A declared block count far beyond the file must not stretch the loop
// search: the chain cannot be longer than the blocks actually present.
void TestStfsReader::hugeDeclaredBlockCountStaysBounded()
{
    StfsImage image = smallImage();
    image.allocatedBlocks = 0xFFFFFFFF;
    image.linkOverrides[image.fileTable.blocks[0]] = image.fileTable.blocks[0];
    StfsReader reader;
    QString error;
    QVERIFY(!reader.open(writePackage(image), &error));
    QCOMPARE(error, QStringLiteral("File table chain never terminates"));
    QVERIFY(reader.blocksInFile() < 10);
    QVERIFY(reader.entries.size() <= 64 * (qsizetype(reader.blocksInFile()) + 1));
}

void TestStfsReader::fileTableStartAndBlockBase_data()
{
    QTest::addColumn<quint32>("firstBlock");
    QTest::addColumn<quint32>("blockBase");
    QTest::newRow("block 5") << 5u << 0u;
    QTest::newRow("block 5, base 3") << 5u << 3u;
}

void TestStfsReader::fileTableStartAndBlockBase()
{
    QFETCH(quint32, firstBlock);
    QFETCH(quint32, blockBase);
    PackageBuilder builder(PackageOptions{.blockBase = blockBase, .firstBlock = firstBlock});
    builder.addFile("a.bin", patternBytes(9000, 2));
    const StfsImage image = builder.build();
    const QString path = writePackage(image);
    QCOMPARE(readBytes(path).mid(0x37D, 3), QByteArray::fromHex("000005"));

    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    QCOMPARE(reader.fileTableBlock, 5u);
    QCOMPARE(reader.blockBase, blockBase);
    QCOMPARE(reader.entries.size(), 64);
    QCOMPARE(reader.entries[0].name, QStringLiteral("a.bin"));
    QCOMPARE(reader.entries[0].firstBlock, image.files[0].blocks[0]);
    QCOMPARE(reader.entries[0].firstBlock, firstBlock + blockBase + 1);
    QCOMPARE(reader.entries[0].blockCount, 3u);
    QCOMPARE(reader.entries[0].size, 9000u);
}

void TestStfsReader::freeEntriesKeepTheirPositions()
{
    PackageBuilder builder;
    builder.addFreeEntry();
    const int data = builder.addFolder("data");
    builder.addFreeEntry();
    builder.addFreeEntry();
    builder.addFile("deep.bin", patternBytes(10, 3), data);
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(writePackage(builder.build()), &error), qPrintable(error));

    QCOMPARE(reader.entries.size(), 64);
    for (int i : {0, 2, 3, 10, 63}) {
        const StfsEntry& entry = reader.entries[i];
        QVERIFY(entry.name.isEmpty());
        QCOMPARE(entry.parentIndex, quint16(0xFFFF));
        QCOMPARE(entry.size, 0u);
    }
    QCOMPARE(reader.entries[4].parentIndex, quint16(1));
    const QList<StfsFileItem> items = reader.fileList();
    QCOMPARE(items.size(), 2);
    QCOMPARE(items[0].path, QStringLiteral("data"));
    QVERIFY(items[0].isDirectory);
    QCOMPARE(items[1].path, QStringLiteral("data/deep.bin"));
    QVERIFY(!items[1].isDirectory);
    QCOMPARE(items[1].size, 10u);
}

void TestStfsReader::multiBlockFileTableFollowsLinks_data()
{
    QTest::addColumn<BlockOrder>("order");
    QTest::newRow("consecutive") << BlockOrder::Consecutive;
    QTest::newRow("reversed") << BlockOrder::Reversed;
    QTest::newRow("interleaved") << BlockOrder::Interleaved;
}

// 150 entries need three table blocks; with the table running backwards a
// reader that walks blocks in order instead of by link reads garbage.
void TestStfsReader::multiBlockFileTableFollowsLinks()
{
    QFETCH(BlockOrder, order);
    PackageBuilder builder(PackageOptions{.order = order});
    const int folder = builder.addFolder("f");
    for (int i = 1; i < 150; ++i)
        builder.addFile(QByteArray::number(i), QByteArray(i, 'z'), folder);
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(writePackage(builder.build()), &error), qPrintable(error));
    QCOMPARE(reader.entries.size(), 192);
    const QList<StfsFileItem> items = reader.fileList();
    QCOMPARE(items.size(), 150);
    QCOMPARE(items[149].path, QStringLiteral("f/149"));
    QCOMPARE(items[149].size, 149u);
}

// A name length of 63 takes 63 bytes from the start of the record, running
// through the flags byte into the numeric fields.
void TestStfsReader::nameLength63()
{
    QByteArray raw(64, 'b');
    raw.replace(0, 40, QByteArray(40, 'a'));
    raw[0x28] = char(0x3F);  // length 63, a file; the byte itself reads '?'
    StfsImage image = smallImage();
    image.entries[2].rawBytes = raw;
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(writePackage(image), &error), qPrintable(error));
    QCOMPARE(reader.entries[2].name, QString(40, u'a') + u'?' + QString(22, u'b'));
    QCOMPARE(reader.entries[2].parentIndex, quint16(0x6262));
}

void TestStfsReader::entryPathStopsOnLoops()
{
    StfsReader reader;
    QCOMPARE(reader.entryPath(0), QString());
    reader.entries = {StfsEntry{QStringLiteral("root"), true, 0xFFFF, 0, 0, 0},
                      StfsEntry{QStringLiteral("x"), true, 1, 0, 0, 0},
                      StfsEntry{QStringLiteral("leaf"), false, 0, 0, 0, 0},
                      StfsEntry{QStringLiteral("orphan"), false, 900, 0, 0, 0}};
    QCOMPARE(reader.entryPath(-1), QString());
    QCOMPARE(reader.entryPath(2), QStringLiteral("root/leaf"));
    QCOMPARE(reader.entryPath(1), QStringLiteral("x/x/x/x"));
    QCOMPARE(reader.entryPath(3), QStringLiteral("orphan"));
    QCOMPARE(reader.entryPath(4), QString());
}

void TestStfsReader::reopenRebuildsEntries()
{
    const QString first = writePackage(smallImage(), QStringLiteral("first.stfs"));
    PackageBuilder builder;
    builder.addFile("only", QByteArray("1"));
    const QString second = writePackage(builder.build(), QStringLiteral("second.stfs"));
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(first, &error), qPrintable(error));
    QVERIFY2(reader.open(second, &error), qPrintable(error));
    QCOMPARE(reader.entries.size(), 64);
    QCOMPARE(reader.fileList().size(), 1);
    QCOMPARE(reader.device->fileName(), second);

    QVERIFY(!reader.open(home->filePath(QStringLiteral("missing.stfs")), &error));
    QCOMPARE(error, QStringLiteral("Cannot open %1: No such file or directory")
                        .arg(home->filePath(QStringLiteral("missing.stfs"))));
}

void TestStfsReader::readAtOutsideTheFile_data()
{
    QTest::addColumn<qint64>("offset");  // -1 and -2: the file's size plus 0 and minus 1
    QTest::addColumn<qint64>("length");
    QTest::addColumn<QString>("message");  // "{offset}" stands for the offset read
    QTest::newRow("one byte past the end") << qint64(-2) << qint64(2) << QStringLiteral("Short read at offset {offset}");
    QTest::newRow("at the end") << qint64(-1) << qint64(1) << QStringLiteral("Short read at offset {offset}");
    QTest::newRow("far beyond any file system's limit")
        << qint64(17696008208384) << qint64(4096) << QStringLiteral("Short read at offset {offset}");
    QTest::newRow("negative offset") << qint64(-1000000) << qint64(1) << QStringLiteral("Seek to {offset} failed");
    QTest::newRow("negative length") << qint64(0) << qint64(-1) << QStringLiteral("Short read at offset {offset}");
}

// Offsets come from hostile numbers; none may crash, allocate by the
// requested length, or make Qt print warnings.
void TestStfsReader::readAtOutsideTheFile()
{
    QFETCH(qint64, offset);
    QFETCH(qint64, length);
    QFETCH(QString, message);
    const QString path = writePackage(smallImage());
    StfsReader reader;
    QString error;
    QVERIFY2(reader.open(path, &error), qPrintable(error));
    const qint64 size = QFileInfo(path).size();
    if (offset == -1 || offset == -2)
        offset = size + 1 + offset;
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    QByteArray out;
    QVERIFY(!reader.readAt(offset, length, &out, &error));
    QCOMPARE(error, message.replace(QStringLiteral("{offset}"), QString::number(offset)));
    QVERIFY(out.isEmpty());
}

ORVELLO_CORE_TEST_MAIN(TestStfsReader)
#include "stfs_reader_test.moc"
