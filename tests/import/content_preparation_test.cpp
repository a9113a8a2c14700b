// Tests of content preparation: the compressed-file scan, "default.xex",
// decoder runs (fake decoders on PATH, and the real zorv when built), atomic
// replacement, the folder copy and stopping between files.
#include "import/content_preparation.h"
#include "import_fixture.h"
#include "test_support.h"

#include <QDirIterator>
#include <QThread>

#include <algorithm>

#include "zorv_packer.h"

using namespace testing_support;

namespace {

const QByteArray kMagic = QByteArray::fromHex("0FF512ED");

// Collects the texts of the progress reports (not the bare count updates).
ProgressFn recordTexts(QStringList& texts)
{
    return [&texts](const ImportProgress& report) {
        if (!report.text.isEmpty())
            texts.append(report.text);
    };
}

// Strips the 16-byte header, as the real decoder does for raw files.
const QByteArray kDecodingScript = "tail -c +17 \"$1\" > \"$2\"\n";

} // namespace

class TestContentPreparation : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listCompressedFiles_data();
    void listCompressedFiles();
    void defaultXexIsCopiedFromUpperCase();
    void noCompressedFilesNeedsNoDecoder();
    void missingDecoderChangesNoContent();
    void decoderOutcomes_data();
    void decoderOutcomes();
    void decoderThatCannotStart();
    void leftoverDecodingFileIsRemoved();
    void firstFailureStartsNoFurtherFile();
    void severalDecodersAtOnce();
    void copyFolderCopiesEverything();
    void copyFolderWithRelativePaths();
    void copyFolderFailures_data();
    void copyFolderFailures();
    void stopsBetweenFiles();
    void stopsCopyBetweenFiles();
    void realDecoder_data();
    void realDecoder();

private:
    // Makes a fake "zorv" (a shell script with this body) the only decoder
    // on PATH; an empty body leaves none.
    void installDecoder(const QByteArray& body) { decoder->setBody(body); }
    void putFile(const QString& relativePath, const QByteArray& bytes)
    {
        const QString path = root + u'/' + relativePath;
        QDir().mkpath(QFileInfo(path).path());
        writeFile(path, bytes);
    }
    QByteArray fileAt(const QString& relativePath) const { return readBytes(root + u'/' + relativePath); }
    QStringList decodingLeftovers() const { return testing_support::decodingLeftovers(root); }

    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<FakeDecoder> decoder;
    std::unique_ptr<ScopedEnv> path; // for the real decoder
    QString root;
};

void TestContentPreparation::init()
{
    home = std::make_unique<ScratchHome>();
    root = home->filePath(QStringLiteral("game"));
    QDir().mkpath(root);
    // No decoder until a test installs one: no other zorv is found.
    decoder = std::make_unique<FakeDecoder>(home->filePath(QStringLiteral("bin")));
}

void TestContentPreparation::cleanup()
{
    path.reset();
    decoder.reset();
    home.reset();
}

void TestContentPreparation::listCompressedFiles_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("compressed");
    QTest::newRow("raw ZORV") << QStringLiteral("a.bin") << rawZorv("content") << true;
    QTest::newRow("deep in subfolders") << QStringLiteral("x/y/b.bin") << rawZorv("") << true;
    QTest::newRow("exactly the magic") << QStringLiteral("magic") << kMagic << true;
    QTest::newRow("other version") << QStringLiteral("v2") << kMagic + QByteArray::fromHex("0200") << true;
    QTest::newRow("three magic bytes") << QStringLiteral("short") << kMagic.left(3) << false;
    QTest::newRow("plain") << QStringLiteral("plain.txt") << QByteArray("hello world") << false;
    QTest::newRow("magic one byte late") << QStringLiteral("late") << QByteArray(1, '\0') + kMagic << false;
    QTest::newRow("empty") << QStringLiteral("empty") << QByteArray() << false;
    QTest::newRow("hidden") << QStringLiteral(".hidden.bin") << rawZorv("h") << false;
}

void TestContentPreparation::listCompressedFiles()
{
    QFETCH(QString, relativePath);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, compressed);
    putFile(relativePath, bytes);
    putFile(QStringLiteral("neighbour.bin"), rawZorv("n"));
    QStringList expected{root + QStringLiteral("/neighbour.bin")};
    if (compressed)
        expected.append(root + u'/' + relativePath);
    QStringList found = ::listCompressedFiles(root);
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
}

void TestContentPreparation::defaultXexIsCopiedFromUpperCase()
{
    const QByteArray image = patternBytes(3000, 1);
    putFile(QStringLiteral("Default.xex"), image);
    QString error;
    QVERIFY2(prepareContent(root, {}, &error), qPrintable(error));
    QCOMPARE(fileAt(QStringLiteral("default.xex")), image);
    QCOMPARE(fileAt(QStringLiteral("Default.xex")), image);
}

void TestContentPreparation::noCompressedFilesNeedsNoDecoder()
{
    putFile(QStringLiteral("default.xex"), "lower");
    putFile(QStringLiteral("Default.xex"), "upper");
    putFile(QStringLiteral(".secret"), rawZorv("hidden files are never examined"));
    QStringList progress;
    QString error = QStringLiteral("untouched");
    QVERIFY(prepareContent(root, recordTexts(progress), &error));
    QCOMPARE(error, QStringLiteral("untouched"));
    QVERIFY(progress.isEmpty());
    QCOMPARE(fileAt(QStringLiteral("default.xex")), QByteArray("lower"));
    QCOMPARE(fileAt(QStringLiteral(".secret")), rawZorv("hidden files are never examined"));
    QCOMPARE(QDir(root).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestContentPreparation::missingDecoderChangesNoContent()
{
    putFile(QStringLiteral("Default.xex"), "image");
    putFile(QStringLiteral("data/a.bin"), rawZorv("a"));
    QString error;
    QVERIFY(!prepareContent(root, {}, &error));
    QCOMPARE(error, QStringLiteral("The zorv decoder was not found next to the launcher, so the game's "
                                   "compressed files cannot be prepared."));
    QCOMPARE(fileAt(QStringLiteral("data/a.bin")), rawZorv("a"));
    QCOMPARE(fileAt(QStringLiteral("default.xex")), QByteArray("image"));
}

void TestContentPreparation::decoderOutcomes_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QString>("message");  // empty: success
    const QString failed = QStringLiteral("Decompressing sub/a.bin failed (exit %1):\n%2");
    const QString notReplaced = QStringLiteral("Cannot replace sub/a.bin with its decoded copy: %1");
    const QByteArray longOutput = QByteArray(990, 'x') + "0123456789END";

    QTest::newRow("success") << kDecodingScript << QString();
    QTest::newRow("exit 5 after one line")
        << QByteArray("echo partial > \"$2\"\necho 'bad frame at 12'\nexit 5\n")
        << failed.arg(5).arg(QStringLiteral("bad frame at 12"));
    QTest::newRow("standard error is quoted too")
        << QByteArray("echo '  oops  ' >&2\nexit 2\n") << failed.arg(2).arg(QStringLiteral("oops"));
    QTest::newRow("killed mid-run") << QByteArray("echo partial > \"$2\"\nkill -9 $$\n")
                                    << failed.arg(9).arg(QString());
    QTest::newRow("long output keeps its last 600 characters")
        << QByteArray("printf '%s' '" + longOutput + "'\nexit 1\n")
        << failed.arg(1).arg(QString::fromLatin1(longOutput.right(600)));
    QTest::newRow("success claimed, nothing written")
        << QByteArray("exit 0\n") << notReplaced.arg(QStringLiteral("No such file or directory"));
    QTest::newRow("success claimed, folder written")
        << QByteArray("mkdir \"$2\"\n") << notReplaced.arg(QStringLiteral("Not a directory"));
}

// Whatever the decoder does, the compressed original is either replaced by
// the complete decoded file or left exactly as it was, and no ".decoding"
// file remains.
void TestContentPreparation::decoderOutcomes()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, message);
    installDecoder(script);
    const QByteArray original = rawZorv(patternBytes(5000, 4));
    putFile(QStringLiteral("sub/a.bin"), original);
    QStringList progress;
    QString error;
    const bool prepared =
        prepareContent(root, recordTexts(progress), &error);
    QCOMPARE(progress, QStringList{QStringLiteral("Decompressing sub/a.bin")});
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/sub/a.bin.decoding")));
    if (message.isEmpty()) {
        QVERIFY2(prepared, qPrintable(error));
        QCOMPARE(fileAt(QStringLiteral("sub/a.bin")), patternBytes(5000, 4));
    } else {
        QVERIFY(!prepared);
        QCOMPARE(error, message);
        QCOMPARE(fileAt(QStringLiteral("sub/a.bin")), original);
    }
}

// The system refuses to start the decoder (its interpreter is missing): the
// run fails like any other, with no output to quote, and starts no other.
void TestContentPreparation::decoderThatCannotStart()
{
    const QString script = decoder->scriptPath();
    writeFile(script, "#!/nonexistent/interpreter\n");
    QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::ExeOwner));
    for (int i = 0; i < 4; ++i)
        putFile(QStringLiteral("f%1.bin").arg(i), rawZorv("x"));
    QString error;
    qint64 decoded = -1;
    QVERIFY(!prepareContent(root, {}, &error, &decoded));
    QVERIFY2(error.startsWith(QStringLiteral("Decompressing f")) && error.endsWith(QStringLiteral("failed (exit 0):\n")),
             qPrintable(error));
    QCOMPARE(decoded, 0);
    QVERIFY(decodingLeftovers().isEmpty());
    for (int i = 0; i < 4; ++i)
        QCOMPARE(fileAt(QStringLiteral("f%1.bin").arg(i)), rawZorv("x"));
}

void TestContentPreparation::leftoverDecodingFileIsRemoved()
{
    installDecoder("[ -e \"$2\" ] && { echo 'stale output present'; exit 7; }\n" + kDecodingScript);
    putFile(QStringLiteral("a.bin"), rawZorv("fresh"));
    putFile(QStringLiteral("a.bin.decoding"), "stale");
    QString error;
    QVERIFY2(prepareContent(root, {}, &error), qPrintable(error));
    QCOMPARE(fileAt(QStringLiteral("a.bin")), QByteArray("fresh"));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/a.bin.decoding")));
}

// The first failure starts no further file and waits for the runs going:
// the files before it are decoded, the failed one keeps its bytes, and each
// later one is either decoded or untouched. A second call finishes the job.
void TestContentPreparation::firstFailureStartsNoFurtherFile()
{
    QMap<QString, QByteArray> originals;
    for (int i = 0; i < 5; ++i) {
        const QString relativePath = QStringLiteral("d%1/f%1.bin").arg(i);
        originals[root + u'/' + relativePath] = rawZorv(QByteArray::number(i));
        putFile(relativePath, originals.last());
    }
    const QStringList order = ::listCompressedFiles(root); // the order files are started in
    QCOMPARE(order.size(), 5);
    const QString failing = order[2];
    // The runs of the files after the failing one end only once the failure
    // has been taken in (its ".decoding" file, made before it fails, is
    // removed then): otherwise a later run that happened to end first would
    // rightly start a further file.
    const QByteArray failingTemp = QFile::encodeName(failing + QStringLiteral(".decoding"));
    const QByteArray failed = QFile::encodeName(home->filePath(QStringLiteral("failed")));
    installDecoder("case \"$1\" in\n"
                   "'" + QFile::encodeName(failing) + "') : > \"$2\"; : > '" + failed + "'; echo 'this run fails'; exit 1 ;;\n"
                   "'" + QFile::encodeName(order[3]) + "'|'" + QFile::encodeName(order[4]) + "')\n"
                   "  n=0; until [ -e '" + failed + "' ] && [ ! -e '" + failingTemp + "' ] || [ $n -ge 3000 ]; do\n"
                   "    sleep 0.01; n=$((n + 1)); done ;;\n"
                   "esac\n"
                   + kDecodingScript);

    QString error;
    qint64 decoded = -1;
    QVERIFY(!prepareContent(root, {}, &error, &decoded));
    QCOMPARE(error, QStringLiteral("Decompressing %1 failed (exit 1):\nthis run fails")
                        .arg(QDir(root).relativeFilePath(failing)));
    QCOMPARE(readBytes(failing), originals[failing]);
    int laterDecoded = 0;
    for (int i = 0; i < 5; ++i) {
        const QByteArray content = readBytes(order[i]);
        if (i < 2)
            QVERIFY2(!content.startsWith(kMagic), qPrintable(order[i]));
        else if (i > 2)
            laterDecoded += !content.startsWith(kMagic);
    }
    QCOMPARE(decoded, 2 + laterDecoded);
    QVERIFY(laterDecoded <= QThread::idealThreadCount() - 1);
    QVERIFY(decodingLeftovers().isEmpty());

    installDecoder(kDecodingScript);
    QVERIFY2(prepareContent(root, {}, &error), qPrintable(error));
    for (int i = 0; i < 5; ++i)
        QCOMPARE(fileAt(QStringLiteral("d%1/f%1.bin").arg(i)), QByteArray::number(i));
}

// Up to one decoder per core runs at once, each on its own file, and every
// file is named once in the progress while the count of files done grows.
void TestContentPreparation::severalDecodersAtOnce()
{
    const QString markers = home->filePath(QStringLiteral("running"));
    const QString seen = home->filePath(QStringLiteral("seen"));
    QDir().mkpath(markers);
    const QByteArray m = QFile::encodeName(markers);
    installDecoder("touch '" + m + "'/$$\nsleep 0.4\nls '" + m + "' | wc -l >> '" + QFile::encodeName(seen)
                   + "'\nrm '" + m + "'/$$\n" + kDecodingScript);
    constexpr int kFiles = 6;
    for (int i = 0; i < kFiles; ++i)
        putFile(QStringLiteral("f%1.bin").arg(i), rawZorv(QByteArray::number(i)));

    QStringList texts;
    QList<qint64> counts;
    const ProgressFn record = [&](const ImportProgress& report) {
        QCOMPARE(report.total, kFiles);
        counts.append(report.done);
        if (!report.text.isEmpty())
            texts.append(report.text);
    };
    QString error;
    qint64 decoded = 0;
    QVERIFY2(prepareContent(root, record, &error, &decoded), qPrintable(error));
    QCOMPARE(decoded, kFiles);
    for (int i = 0; i < kFiles; ++i)
        QCOMPARE(fileAt(QStringLiteral("f%1.bin").arg(i)), QByteArray::number(i));

    int most = 0;
    for (const QByteArray& line : readBytes(seen).split('\n'))
        most = std::max(most, line.trimmed().toInt());
    QCOMPARE(most, std::min(kFiles, QThread::idealThreadCount()));

    texts.sort();
    QStringList expected;
    for (int i = 0; i < kFiles; ++i)
        expected << QStringLiteral("Decompressing f%1.bin").arg(i);
    QCOMPARE(texts, expected);
    QVERIFY(std::is_sorted(counts.cbegin(), counts.cend()));
    QCOMPARE(counts.last(), kFiles);
}

void TestContentPreparation::copyFolderCopiesEverything()
{
    putFile(QStringLiteral("a.txt"), "a");
    putFile(QStringLiteral(".hidden"), "h");
    putFile(QStringLiteral("sub/b.bin"), rawZorv("b"));
    putFile(QStringLiteral("sub/.dot/c"), "c");
    QDir().mkpath(root + QStringLiteral("/empty"));
    const QString destination = home->filePath(QStringLiteral("copy/gamedata"));
    QStringList progress;
    QString error;
    QList<std::pair<qint64, qint64>> counts;
    const ProgressFn texts = recordTexts(progress);
    const ProgressFn both = [&](const ImportProgress& report) {
        counts.append({report.done, report.total});
        texts(report);
    };
    QVERIFY2(copyFolder(root, destination, both, &error), qPrintable(error));
    QCOMPARE(counts, (QList<std::pair<qint64, qint64>>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}}));
    progress.sort();
    QCOMPARE(progress, (QStringList{QStringLiteral("Copying .hidden"), QStringLiteral("Copying a.txt"),
                                    QStringLiteral("Copying sub/.dot/c"), QStringLiteral("Copying sub/b.bin")}));
    for (const char* file : {"a.txt", ".hidden", "sub/b.bin", "sub/.dot/c"})
        QCOMPARE(readBytes(destination + u'/' + QLatin1String(file)), fileAt(QLatin1String(file)));
    QVERIFY(QFileInfo(destination + QStringLiteral("/empty")).isDir());
}

// Relative folders mean the same as from the working folder: the files land
// at their paths inside the source, not below the source's relative path.
void TestContentPreparation::copyFolderWithRelativePaths()
{
    putFile(QStringLiteral("a.txt"), "a");
    putFile(QStringLiteral("sub/b.bin"), rawZorv("b"));
    const QString workingFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(home->path()));
    QString error;
    const bool copied = copyFolder(QStringLiteral("game"), QStringLiteral("copy/gamedata"), {}, &error);
    QDir::setCurrent(workingFolder);
    QVERIFY2(copied, qPrintable(error));
    QCOMPARE(readBytes(home->filePath(QStringLiteral("copy/gamedata/a.txt"))), QByteArray("a"));
    QCOMPARE(readBytes(home->filePath(QStringLiteral("copy/gamedata/sub/b.bin"))), rawZorv("b"));
    QVERIFY(!QFileInfo::exists(home->filePath(QStringLiteral("copy/gamedata/game"))));
}

void TestContentPreparation::copyFolderFailures_data()
{
    QTest::addColumn<QString>("destination");  // relative to the test's folder
    QTest::addColumn<QString>("obstacle");     // a file made there first, relative to destination
    QTest::addColumn<QString>("message");      // {src} and {dst} are replaced
    QTest::newRow("target file exists") << QStringLiteral("copy") << QStringLiteral("a.txt")
                                        << QStringLiteral("Cannot copy {src}/a.txt to {dst}/a.txt: Destination file exists");
    QTest::newRow("destination is a file") << QStringLiteral("copy") << QStringLiteral(".")
                                           << QStringLiteral("Cannot create {dst}: Not a directory");
    QTest::newRow("target folder is a file") << QStringLiteral("copy") << QStringLiteral("sub")
                                             << QStringLiteral("Cannot create {dst}/sub: Not a directory");
    QTest::newRow("destination inside the source") << QStringLiteral("game/sub/copy") << QString()
                                                    << QStringLiteral("Cannot copy {src} to {dst}");
    QTest::newRow("destination is the source") << QStringLiteral("game/sub/..") << QString()
                                               << QStringLiteral("Cannot copy {src} to {dst}");
}

void TestContentPreparation::copyFolderFailures()
{
    QFETCH(QString, destination);
    QFETCH(QString, obstacle);
    QFETCH(QString, message);
    putFile(QStringLiteral("a.txt"), "a");
    putFile(QStringLiteral("sub/b.txt"), "b");
    destination = home->filePath(destination);
    if (obstacle == QLatin1String(".")) {
        writeFile(destination, "file");
    } else if (!obstacle.isEmpty()) {
        QDir().mkpath(destination);
        writeFile(destination + u'/' + obstacle, "in the way");
    }
    QString error;
    QVERIFY(!copyFolder(root, destination, {}, &error));
    QCOMPARE(error, message.replace(QStringLiteral("{src}"), root).replace(QStringLiteral("{dst}"), destination));
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/sub/copy")));
}

// Asked to stop while the first file is being decoded, preparation finishes
// that file (the decoder is never killed) and starts no other.
void TestContentPreparation::stopsBetweenFiles()
{
    installDecoder(kDecodingScript);
    for (int i = 0; i < 3; ++i)
        putFile(QStringLiteral("f%1.bin").arg(i), rawZorv(QByteArray::number(i)));
    QString error;
    bool prepared = true;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        prepared = prepareContent(root, [](const ImportProgress&) { QThread::currentThread()->requestInterruption(); },
                                  &error);
    }));
    worker->start();
    QVERIFY(worker->wait(60000));
    QVERIFY(!prepared);
    QCOMPARE(error, QStringLiteral("Import stopped before it finished."));
    int decoded = 0;
    for (int i = 0; i < 3; ++i) {
        const QByteArray content = fileAt(QStringLiteral("f%1.bin").arg(i));
        if (content == QByteArray::number(i))
            ++decoded;
        else
            QCOMPARE(content, rawZorv(QByteArray::number(i)));
    }
    QCOMPARE(decoded, 1);
    QCOMPARE(QDir(root).entryList(QDir::Files).size(), 3);
}

void TestContentPreparation::stopsCopyBetweenFiles()
{
    for (int i = 0; i < 3; ++i)
        putFile(QStringLiteral("f%1").arg(i), "x");
    const QString destination = home->filePath(QStringLiteral("copy"));
    QString error;
    bool copied = true;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        copied = copyFolder(root, destination,
                            [](const ImportProgress&) { QThread::currentThread()->requestInterruption(); }, &error);
    }));
    worker->start();
    QVERIFY(worker->wait(60000));
    QVERIFY(!copied);
    QCOMPARE(error, QStringLiteral("Import stopped before it finished."));
    QCOMPARE(QDir(destination).entryList(QDir::Files).size(), 1);
}

void TestContentPreparation::realDecoder_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QByteArray>("decoded");
    QTest::addColumn<QString>("message");  // empty: success
    QTest::newRow("raw, empty") << rawZorv({}) << QByteArray() << QString();
    QTest::newRow("raw, 100000 bytes") << rawZorv(patternBytes(100000, 8)) << patternBytes(100000, 8) << QString();
    QByteArray wrongVersion = rawZorv("x");
    wrongVersion[5] = 1;
    QTest::newRow("wrong version") << wrongVersion << QByteArray()
                                   << QStringLiteral("Decompressing content/data.bin failed (exit 4):\n"
                                                     "not ZORV (magic/version mismatch)");
    // Segment count 1 with 32-bit entries: the table needs 4 bytes more.
    QTest::newRow("table exceeds the file") << QByteArray::fromHex("0FF512ED0100000000000000" "00400040")
                                            << QByteArray()
                                            << QStringLiteral("Decompressing content/data.bin failed (exit 4):\n"
                                                              "table exceeds file");
    QByteArray text;
    for (int i = 0; text.size() < 200000; ++i)
        text += "line " + QByteArray::number(i % 977) + " of the game's content\n";
    lzxenc::ZorvPackOptions options;
    const auto packed = lzxenc::pack_zorv(
        std::span(reinterpret_cast<const uint8_t*>(text.constData()), size_t(text.size())), options);
    QTest::newRow("LZX, contiguous")
        << QByteArray(reinterpret_cast<const char*>(packed.file.data()), qsizetype(packed.file.size())) << text
        << QString();
}

// The launcher's side of the real decoder: found on PATH, run per file, its
// output put in place of the container, or its message quoted and the
// container kept.
void TestContentPreparation::realDecoder()
{
    QFETCH(QByteArray, file);
    QFETCH(QByteArray, decoded);
    QFETCH(QString, message);
    path = std::make_unique<ScopedEnv>("PATH", QFile::encodeName(QFileInfo(QStringLiteral(ORVELLO_ZORV_PATH)).path()));
    putFile(QStringLiteral("content/data.bin"), file);
    QString error;
    const bool prepared = prepareContent(root, {}, &error);
    QVERIFY(!QFileInfo::exists(root + QStringLiteral("/content/data.bin.decoding")));
    if (message.isEmpty()) {
        QVERIFY2(prepared, qPrintable(error));
        QCOMPARE(fileAt(QStringLiteral("content/data.bin")), decoded);
        QVERIFY(::listCompressedFiles(root).isEmpty());
    } else {
        QVERIFY(!prepared);
        QCOMPARE(error, message);
        QCOMPARE(fileAt(QStringLiteral("content/data.bin")), file);
    }
}

ORVELLO_CORE_TEST_MAIN(TestContentPreparation)
#include "content_preparation_test.moc"
