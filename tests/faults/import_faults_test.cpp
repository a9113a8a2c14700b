// The import jobs under faults of the machine they run on: a disk that
// fills up during extraction or preparation, a decoder killed in the middle
// of a file, a game root that cannot be written, and a folder of the
// destination that is a symbolic link to somewhere else. Every case ends in
// a clear message, and no file that existed before is changed.
#include "core/game_profile.h"
#include "fault_support.h"
#include "import/import_jobs.h"
#include "import_fixture.h"
#include "test_support.h"

#include <QDirIterator>
#include <QFile>

#include <cerrno>
#include <memory>
#include <optional>

using namespace fault_support;
using namespace testing_support;

namespace {

constexpr int kLargeFileKiB = 1536;
constexpr int kFileSizeLimitKiB = 1024;

// The import's content with a file too big for the small disk, stored
// either plain or as a raw ZORV container that preparation must decode.
GameContent contentWithLargeFile(bool compressed)
{
    GameContent content = makeGameContent();
    const QByteArray large = patternBytes(kLargeFileKiB * 1024, 7);
    content.files[QStringLiteral("content/movies/intro.bik")] = {compressed ? rawZorv(large) : large, large};
    return content;
}

// A file system of sizeKiB as root (a tmpfs), otherwise a limit on the
// size of each file that the large file exceeds. reason() is the system
// text a write past it gives.
class SmallDisk {
public:
    SmallDisk(const QString& folder, int sizeKiB)
    {
        QDir().mkpath(folder);
        if (runningAsRoot())
            mount.emplace(ScratchMount::tmpfs(folder, sizeKiB));
    }
    bool ok() const { return !mount || mount->ok(); }
    QString reason() const { return systemReason(mount ? ENOSPC : EFBIG); }
    // Writes inside run() meet the limit; as root, the tmpfs is the limit.
    ImportResult run(const std::function<ImportResult()>& job)
    {
        if (mount)
            return job();
        FileSizeLimit limit(kFileSizeLimitKiB * 1024);
        return job();
    }

private:
    std::optional<ScratchMount> mount;
};

} // namespace

class TestImportFaults : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<ScopedEnv> path;

    QString writePackage(const GameContent& content)
    {
        const QString package = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        writeContentPackage(package, content);
        return package;
    }

    // Prepares folder in place, as "Decompress here" does.
    static ImportResult prepareInPlace(const QString& folder)
    {
        return runFolderImport({folder, folder, folder, false}, gameProfile(), {});
    }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
        // The real decoder, found on PATH: test programs do not live beside it.
        path = std::make_unique<ScopedEnv>("PATH", QByteArray(ORVELLO_BIN_DIR) + ":/usr/bin:/bin");
    }

    void cleanup()
    {
        path.reset();
        home.reset();
    }

    void extractionOnAFullDisk()
    {
        const QString package = writePackage(contentWithLargeFile(false));
        const QString games = home->filePath(QStringLiteral("Games"));
        SmallDisk disk(games, kLargeFileKiB / 2); // the large file does not fit
        if (!disk.ok())
            QSKIP("cannot mount a small tmpfs here");
        writeFile(games + "/notes.txt", "kept as it is\n");
        const TreeChecksums before({home->path()});

        const ImportResult result = disk.run([&] { return runPackageImport({package, games + "/Game"}, {}); });

        QVERIFY(!result.succeeded());
        QVERIFY(result.adoptedRoot.isEmpty());
        QVERIFY2(result.error.startsWith("Write to " + games + "/Game/gamedata/"), qPrintable(result.error));
        QVERIFY2(result.error.contains(disk.reason()), qPrintable(result.error + " (no system reason)"));
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }

    void preparationOnAFullDisk()
    {
        const GameContent content = contentWithLargeFile(true);
        const QString folder = home->filePath(QStringLiteral("Extracted"));
        // The large file fits once, not twice.
        SmallDisk disk(folder, kLargeFileKiB * 3 / 2);
        if (!disk.ok())
            QSKIP("cannot mount a small tmpfs here");
        // Only the large file is left to decode, so a failure must leave
        // every file of the folder as it was.
        GameContent onlyLarge;
        for (auto it = content.files.cbegin(); it != content.files.cend(); ++it)
            onlyLarge.files[it.key()] = {it.key().endsWith(".bik") ? it->stored : it->decoded, it->decoded};
        writeContentFolder(folder, onlyLarge);
        const TreeChecksums before({home->path()});

        const ImportResult result = disk.run([&] { return prepareInPlace(folder); });

        QVERIFY(!result.succeeded());
        QVERIFY2(result.error.startsWith("Decompressing content/movies/intro.bik failed (exit "), qPrintable(result.error));
        QVERIFY2(result.error.contains(disk.reason()), qPrintable(result.error + " (no system reason)"));
        QCOMPARE(decodingLeftovers(folder), QStringList());
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }

    // The decoder dies by SIGKILL after writing part of its output: the
    // original stays, its temporary file goes, and the message names the file.
    void decoderKilledInTheMiddleOfAFile()
    {
        const FakeDecoder decoder(home->filePath(QStringLiteral("fake-bin")), "head -c 3000 \"$1\" > \"$2\"\nkill -KILL $$\n");
        const GameContent content = makeGameContent();
        const QString folder = home->filePath(QStringLiteral("Extracted"));
        writeContentFolder(folder, content);
        const TreeChecksums before({home->path()});

        const ImportResult result = prepareInPlace(folder);

        QVERIFY(!result.succeeded());
        QCOMPARE(result.filesDecoded, 0);
        QVERIFY2(result.error.startsWith("Decompressing content/"), qPrintable(result.error));
        QVERIFY2(result.error.contains(" failed"), qPrintable(result.error));
        QCOMPARE(decodingLeftovers(folder), QStringList());
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }

    // A package extracted into a parent folder that takes no writes.
    void packageIntoAReadOnlyGameRoot()
    {
        const QString package = writePackage(makeGameContent());
        const QString games = home->filePath(QStringLiteral("Games"));
        writeFile(games + "/notes.txt", "kept as it is\n");
        UnwritableTree readOnly(games);
        if (!readOnly.ok())
            QSKIP("cannot make a folder read-only here");
        const TreeChecksums before({home->path()});

        const ImportResult result = runPackageImport({package, games + "/Game"}, {});

        QVERIFY(!result.succeeded());
        QVERIFY2(result.error.startsWith("Cannot create " + games + "/Game/gamedata"), qPrintable(result.error));
        QVERIFY2(result.error.contains(readOnly.reason()), qPrintable(result.error + " (no system reason)"));
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }

    // An extracted folder prepared in place that takes no writes: the
    // decoder cannot make its output, and says why.
    void preparationInAReadOnlyGameRoot()
    {
        const QString folder = home->filePath(QStringLiteral("Extracted"));
        writeContentFolder(folder, makeGameContent());
        UnwritableTree readOnly(folder);
        if (!readOnly.ok())
            QSKIP("cannot make a folder read-only here");
        const TreeChecksums before({home->path()});

        const ImportResult result = prepareInPlace(folder);

        QVERIFY(!result.succeeded());
        QVERIFY2(result.error.startsWith("Decompressing content/"), qPrintable(result.error));
        QVERIFY2(result.error.contains(readOnly.reason()), qPrintable(result.error + " (no system reason)"));
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }

    // content/ in the destination leads to a folder outside it: extraction
    // refuses to write through it, and the folder outside stays as it was.
    void destinationFolderThatIsASymbolicLink()
    {
        const QString package = writePackage(makeGameContent());
        const QString elsewhere = home->filePath(QStringLiteral("elsewhere"));
        writeFile(elsewhere + "/ui/fonts/title.xnb", "not to be overwritten\n");
        const QString data = home->filePath(QStringLiteral("Games/Game/gamedata"));
        QVERIFY(QDir().mkpath(data));
        QVERIFY(QFile::link(elsewhere, data + "/content"));
        const TreeChecksums before({home->path()});
        const int filesElsewhere = TreeChecksums({elsewhere}).fileCount();

        const ImportResult result = runPackageImport({package, home->filePath(QStringLiteral("Games/Game"))}, {});

        QVERIFY(!result.succeeded());
        QCOMPARE(result.error, "Refusing to follow the symbolic link " + data + "/content");
        QCOMPARE(TreeChecksums({elsewhere}).fileCount(), filesElsewhere);
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }
};

ORVELLO_CORE_TEST_MAIN(TestImportFaults)
#include "import_faults_test.moc"
