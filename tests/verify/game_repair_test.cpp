// Tests of repairGameFolder: bit-exact repairs from a package and from the
// folder a copy was made from, and the refusals when the source is gone,
// changed or no longer readable.
#include "core/game_profile.h"
#include "import/game_manifest.h"
#include "import/import_jobs.h"
#include "import/stfs_reader.h"
#include "import_fixture.h"
#include "test_support.h"
#include "verify/game_repair.h"
#include "verify/game_verification.h"

#include <QDateTime>

using namespace testing_support;

namespace {

// The test content with its image as "Default.xex" only: the import makes
// "default.xex" from it, and a repair of the lower-case file must too.
GameContent contentWithUpperCaseImage()
{
    GameContent content = makeGameContent();
    content.files[QStringLiteral("Default.xex")] = content.files.take(QStringLiteral("default.xex"));
    return content;
}

// Changes a file's bytes, keeping its size and modification time.
void damageQuietly(const QString& path, qint64 offset)
{
    const QDateTime modified = QFileInfo(path).lastModified();
    flipByte(path, offset);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
}

} // namespace

class TestGameRepair : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<ScopedEnv> path;
    GameContent content = contentWithUpperCaseImage();
    QString package;
    QString extracted;
    QString root;

    // Imports the content from a package, as a prepared copy of a folder,
    // or in place; the program files lie beside it.
    void import(const QString& kind)
    {
        package = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        extracted = home->filePath(QStringLiteral("Downloads/Extracted"));
        root = home->filePath(QStringLiteral("Games/Game"));
        ImportResult result;
        if (kind == QLatin1String("package")) {
            writeContentPackage(package, content);
            result = runPackageImport(PackageImportRequest{package, root}, {});
        } else {
            writeContentFolder(extracted, content);
            const bool copy = kind == QLatin1String("copy");
            if (!copy)
                root = extracted;
            const QString target = copy ? root + QStringLiteral("/gamedata") : root;
            result = runFolderImport(FolderImportRequest{extracted, root, target, copy}, gameProfile(), {});
        }
        QVERIFY2(result.succeeded() && result.manifestProblem.isEmpty(), qPrintable(result.error + result.manifestProblem));
        makeProgramFiles(root);
    }

    QString dataFolder() const
    {
        return root == extracted ? root : root + QStringLiteral("/gamedata");
    }

    QString dataFile(const QString& relative) const
    {
        return QDir(dataFolder()).filePath(relative);
    }

    // One of each damage: a decoded file changed, a compressed one gone, one
    // put back compressed, a plain one cut short, and the image made by the
    // preparation removed.
    void damageFiveFiles()
    {
        flipByte(dataFile(QStringLiteral("content/ui/fonts/title.xnb")), 1000);
        QVERIFY(QFile::remove(dataFile(QStringLiteral("content/sound/bank.xwb"))));
        writeFile(dataFile(QStringLiteral("content/levels/level1.dat")), content.files["content/levels/level1.dat"].stored);
        QVERIFY(QFile::resize(dataFile(QStringLiteral("content/readme.txt")), 5));
        QVERIFY(QFile::remove(dataFile(QStringLiteral("default.xex"))));
    }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
        path = std::make_unique<ScopedEnv>("PATH", QByteArray(ORVELLO_BIN_DIR) + ":/usr/bin:/bin");
    }

    void cleanup()
    {
        path.reset();
        home.reset();
    }

    void repairsFromItsSource_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("package") << QStringLiteral("package");
        QTest::newRow("prepared copy of a folder") << QStringLiteral("copy");
    }

    // Only the five files are fetched again, decoded where needed and put in
    // place: afterwards every file is bit for bit what the import made.
    void repairsFromItsSource()
    {
        QFETCH(QString, kind);
        import(kind);
        damageFiveFiles();
        const VerifyReport before = verifyGameFolder(root, gameProfile());
        QCOMPARE(before.mismatches.size(), 5);
        const QDateTime untouched = QFileInfo(dataFile(QStringLiteral("content/empty.bin"))).lastModified();

        QStringList texts;
        const RepairResult result = repairGameFolder(root, gameProfile(), before,
                                                     [&texts](const ImportProgress& report) { texts << report.text; });
        QCOMPARE(result.text(), QStringLiteral("Repaired 5 files."));
        QVERIFY(result.allGood());
        QCOMPARE(result.repaired, 5);
        verifyDecoded(dataFolder(), content);
        QCOMPARE(readBytes(dataFile(QStringLiteral("default.xex"))), content.files["Default.xex"].decoded);
        QCOMPARE(QFileInfo(dataFile(QStringLiteral("content/empty.bin"))).lastModified(), untouched);
        QVERIFY(!QFileInfo::exists(game_manifest::recordFolder(root) + QStringLiteral("/repair")));
        QCOMPARE(verifyGameFolder(root, gameProfile()).text(), QStringLiteral("All 7 files match."));
        const QString fetching = kind == QLatin1String("package") ? QStringLiteral("Extracting ") : QStringLiteral("Copying ");
        QVERIFY2(texts.contains(fetching + QStringLiteral("content/sound/bank.xwb")), qPrintable(texts.join('|')));
        QVERIFY2(texts.contains(QStringLiteral("Decompressing content/sound/bank.xwb")), qPrintable(texts.join('|')));
        QVERIFY2(!texts.contains(fetching + QStringLiteral("content/empty.bin")), qPrintable(texts.join('|')));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("message");  // {package} and {folder} stand for the sources
        const QString again = QStringLiteral(" Import it again to repair the game folder.");
        QTest::newRow("package gone") << "package" << "remove"
                                      << QStringLiteral("The package {package} is no longer there.") + again;
        QTest::newRow("package grown") << "package" << "append"
                                       << QStringLiteral("The package {package} has changed since it was imported.") + again;
        QTest::newRow("package touched") << "package" << "touch"
                                         << QStringLiteral("The package {package} has changed since it was imported.") + again;
        QTest::newRow("package file table damaged, size and time kept")
            << "package" << "damage table"
            << QStringLiteral("The package {package} can no longer be read (Damaged package: the file table does not "
                              "match its checksum (block 0)).") + again;
        QTest::newRow("package data damaged, size and time kept")
            << "package" << "damage data"
            << QStringLiteral("Repair failed:\nDamaged package: content/readme.txt does not match its checksum (block %1).");
        QTest::newRow("folder gone") << "copy" << "remove"
                                     << QStringLiteral("The folder {folder} is no longer there.") + again;
        QTest::newRow("folder with a new file") << "copy" << "append"
                                                << QStringLiteral("The folder {folder} has changed since it was imported.") + again;
        QTest::newRow("imported in place") << "in place" << ""
                                           << QStringLiteral("No source was recorded for this game folder (an import in "
                                                             "place keeps none), so there is nothing to repair it from. "
                                                             "Import the game again to repair it.");
    }

    // A source that is gone, changed or damaged repairs nothing, and the
    // message says why; the damaged file stays as it was.
    void refusals()
    {
        QFETCH(QString, kind);
        QFETCH(QString, change);
        QFETCH(QString, message);
        import(kind);
        const QString readme = dataFile(QStringLiteral("content/readme.txt"));
        flipByte(readme, 2);
        const QByteArray damaged = readBytes(readme);
        const QString source = kind == QLatin1String("package") ? package : extracted;
        if (change == QLatin1String("remove")) {
            QVERIFY(QFileInfo(source).isDir() ? QDir(source).removeRecursively() : QFile::remove(source));
        } else if (change == QLatin1String("append")) {
            if (QFileInfo(source).isDir())
                writeFile(QDir(source).filePath(QStringLiteral("new.txt")), "new");
            else
                writeFile(source, readBytes(source) + "more");
        } else if (change == QLatin1String("touch")) {
            QFile file(source);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime));
        } else if (change == QLatin1String("damage table")) {
            damageQuietly(source, 0xB000 + 10);  // block 0, the file table
        } else if (change == QLatin1String("damage data")) {
            StfsReader reader;
            QVERIFY(reader.open(source));
            quint32 block = 0;
            for (const StfsEntry& entry : reader.entries)
                if (entry.name == QLatin1String("readme.txt"))
                    block = entry.firstBlock;
            damageQuietly(source, reader.blockOffset(block));
            message = message.arg(block);
        }

        const VerifyReport before = verifyGameFolder(root, gameProfile());
        QCOMPARE(before.mismatches.size(), 1);
        const RepairResult result = repairGameFolder(root, gameProfile(), before);
        QCOMPARE(result.text(), message.replace(QStringLiteral("{package}"), package).replace(QStringLiteral("{folder}"), extracted));
        QVERIFY(!result.allGood());
        QCOMPARE(result.repaired, 0);
        QCOMPARE(readBytes(readme), damaged);
    }
};

ORVELLO_CORE_TEST_MAIN(TestGameRepair)
#include "game_repair_test.moc"
