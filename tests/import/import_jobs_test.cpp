// Tests of the two import jobs without any dialog: what they write, what they
// adopt, what they report, each failure's message, and stopping.
#include "core/game_profile.h"
#include "import/game_manifest.h"
#include "import/import_jobs.h"
#include "import_fixture.h"
#include "test_support.h"

#include <QDirIterator>
#include <QProcess>
#include <QThread>

#include <optional>

using namespace testing_support;

namespace {

const QString kStopped = QStringLiteral("Import stopped before it finished.");

using Report = ImportProgress;

using Job = std::function<ImportResult(const ProgressFn&)>;

// Runs the job on a thread of its own, as the window does, recording every
// report; with stopAtFirstReport the thread is asked to stop at the first.
ImportResult runOnWorker(const Job& job, QList<Report>* reports = nullptr, bool stopAtFirstReport = false)
{
    ImportResult result;
    std::unique_ptr<QThread> worker(QThread::create([&] {
        result = job([&](const ImportProgress& report) {
            if (reports)
                reports->append(report);
            if (stopAtFirstReport)
                QThread::currentThread()->requestInterruption();
        });
    }));
    worker->start();
    worker->wait();
    return result;
}

} // namespace

class TestImportJobs : public QObject {
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

    void packageImport_data()
    {
        QTest::addColumn<QString>("imageName"); // name of the image in the package; empty: none
        QTest::addColumn<bool>("adopted");
        QTest::newRow("default.xex") << QStringLiteral("default.xex") << true;
        QTest::newRow("Default.xex only: preparation makes default.xex") << QStringLiteral("Default.xex") << true;
        QTest::newRow("no image: imported, not adopted") << QString() << false;
    }

    // A package is adopted whenever it leaves a default.xex, whatever title
    // it carries.
    void packageImport()
    {
        QFETCH(QString, imageName);
        QFETCH(bool, adopted);
        GameContent content = makeGameContent(QStringLiteral("41560817")); // another title
        const GameContent::File image = content.files.take(QStringLiteral("default.xex"));
        if (!imageName.isEmpty())
            content.files[imageName] = image;
        const PackageImportRequest request{writePackage(content), home->filePath(QStringLiteral("Games/Game"))};

        const ImportResult result = runOnWorker([&](const ProgressFn& p) { return runPackageImport(request, p); });
        QVERIFY2(result.succeeded(), qPrintable(result.error));
        QCOMPARE(result.adoptedRoot, adopted ? request.root : QString());
        QCOMPARE(result.fileCount, content.files.size() + content.folderCount());
        QCOMPARE(result.totalBytes, content.storedBytes());
        QCOMPARE(result.filesDecoded, qint64(content.compressedCount()));
        verifyDecoded(request.root + QStringLiteral("/gamedata"), content);
    }

    // Extraction counts entries, preparation counts files; the reports name
    // the items about to be worked on, and each phase ends with M of M.
    void packageProgressCountsEntriesThenFiles()
    {
        const GameContent content = makeGameContent();
        const PackageImportRequest request{writePackage(content), home->filePath(QStringLiteral("Games/Game"))};
        QList<Report> reports;
        const ImportResult result =
            runOnWorker([&](const ProgressFn& p) { return runPackageImport(request, p); }, &reports);
        QVERIFY2(result.succeeded(), qPrintable(result.error));

        const qint64 entries = result.fileCount;
        const qint64 compressed = content.compressedCount();
        QCOMPARE(reports.size(), entries + 1 + compressed + 1);
        for (qint64 i = 0; i < entries; ++i) {
            QCOMPARE(reports[i].done, i);
            QCOMPARE(reports[i].total, entries);
            QVERIFY2(reports[i].text.startsWith(QStringLiteral("Extracting ")), qPrintable(reports[i].text));
        }
        QCOMPARE(reports[entries].done, entries);
        QVERIFY(reports[entries].text.isEmpty());
        // Files are decoded several at once: each is named once as it starts,
        // with the count of files done so far.
        const QList<Report> preparation = reports.mid(entries + 1);
        QStringList named;
        for (qint64 i = 0; i < compressed; ++i) {
            QCOMPARE(preparation[i].total, compressed);
            QVERIFY(preparation[i].done <= i);
            if (i > 0)
                QVERIFY(preparation[i].done >= preparation[i - 1].done);
            named << preparation[i].text;
        }
        named.sort();
        QStringList expected;
        for (auto it = content.files.cbegin(); it != content.files.cend(); ++it) {
            if (it->stored != it->decoded)
                expected << QStringLiteral("Decompressing ") + it.key();
        }
        QCOMPARE(named, expected);
        QCOMPARE(preparation.last().done, compressed);
        QCOMPARE(preparation.last().total, compressed);
    }

    // One bar across both steps: the share never moves back and reaches 1;
    // extraction's bytes are the package's, preparation's the compressed
    // files', each step ends with all of them done; and extraction's
    // estimate of the compressed bytes meets preparation's own count, so
    // the bar does not jump between the steps.
    void packageProgressCountsBytesOnOneBar()
    {
        GameContent content = makeGameContent();
        // Most of the package plain, so that the compressed part is far from
        // the whole package that extraction starts by assuming.
        const QByteArray plain = patternBytes(200000, 3);
        content.files[QStringLiteral("content/movies/intro.bik")] = {plain, plain};
        const PackageImportRequest request{writePackage(content), home->filePath(QStringLiteral("Games/Game"))};
        QList<Report> reports;
        const ImportResult result =
            runOnWorker([&](const ProgressFn& p) { return runPackageImport(request, p); }, &reports);
        QVERIFY2(result.succeeded(), qPrintable(result.error));

        qint64 compressedBytes = 0;
        for (auto it = content.files.cbegin(); it != content.files.cend(); ++it)
            compressedBytes += it->stored != it->decoded ? it->stored.size() : 0;
        const auto firstPreparation = std::find_if(reports.cbegin(), reports.cend(), [](const Report& report) {
            return report.step == ImportStep::Decompressing;
        });
        QVERIFY(firstPreparation != reports.cend());
        const QList<Report> extraction = reports.mid(0, firstPreparation - reports.cbegin());
        const QList<Report> preparation = reports.mid(firstPreparation - reports.cbegin());

        double share = 0;
        for (const Report& report : reports) {
            QVERIFY2(report.jobShare >= share, qPrintable(QString::number(report.jobShare)));
            share = report.jobShare;
            const qint64 bytes = report.step == ImportStep::Extracting ? qint64(result.totalBytes) : compressedBytes;
            QCOMPARE(report.bytesTotal, bytes);
            QVERIFY(report.bytesDone <= report.bytesTotal);
        }
        QCOMPARE(extraction.first().jobShare, 0.0);
        QCOMPARE(extraction.last().bytesDone, qint64(result.totalBytes));
        QCOMPARE(preparation.last().bytesDone, compressedBytes);
        QCOMPARE(preparation.last().jobShare, 1.0);
        const double extracted = double(result.totalBytes) / double(result.totalBytes + compressedBytes);
        QCOMPARE(extraction.last().jobShare, extracted);
        QCOMPARE(preparation.first().jobShare, extracted);
    }

    void packageFailures_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("message"); // {root} is replaced
        QTest::newRow("not a package") << QStringLiteral("text")
                                       << QStringLiteral("Not an STFS package (magic \"hell\")");
        QTest::newRow("destination is a file") << QStringLiteral("blocked")
                                               << QStringLiteral("Cannot create {root}/gamedata: Not a directory");
        QTest::newRow("decoder fails") << QStringLiteral("decoder")
                                       << QStringLiteral("Decompressing content/levels/level1.dat failed (exit 3):\nbad frame");
    }

    void packageFailures()
    {
        QFETCH(QString, failure);
        QFETCH(QString, message);
        GameContent content;
        content.files[QStringLiteral("default.xex")] = {xexImage(QStringLiteral("4E3D2C71")), {}};
        content.files[QStringLiteral("content/levels/level1.dat")] = {rawZorv("level"), "level"};
        PackageImportRequest request{writePackage(content), home->filePath(QStringLiteral("Games/Game"))};
        if (failure == QLatin1String("text"))
            writeFile(request.packagePath, QByteArray("hello, this is text\n").repeated(100));
        else if (failure == QLatin1String("blocked"))
            writeFile(request.root + QStringLiteral("/gamedata"), "a file where the folder goes");
        std::optional<FakeDecoder> decoder;
        if (failure == QLatin1String("decoder"))
            decoder.emplace(home->filePath(QStringLiteral("fake-bin")), "echo 'bad frame'\nexit 3\n");

        const ImportResult result = runOnWorker([&](const ProgressFn& p) { return runPackageImport(request, p); });
        QCOMPARE(result.error, message.replace(QStringLiteral("{root}"), request.root));
        QVERIFY(result.adoptedRoot.isEmpty());
    }

    void folderImport_data()
    {
        QTest::addColumn<bool>("makeCopy");
        QTest::newRow("in place") << false;
        QTest::newRow("prepared copy") << true;
    }

    void folderImport()
    {
        QFETCH(bool, makeCopy);
        const GameContent content = makeGameContent();
        const QString source = home->filePath(QStringLiteral("extracted"));
        writeContentFolder(source, content);
        FolderImportRequest request{source, source, source, makeCopy};
        if (makeCopy) {
            request.root = home->filePath(QStringLiteral("Games/TessarineVandryLive"));
            request.target = request.root + QStringLiteral("/gamedata");
        }
        const ImportResult result =
            runOnWorker([&](const ProgressFn& p) { return runFolderImport(request, gameProfile(), p); });
        QVERIFY2(result.succeeded(), qPrintable(result.error));
        QCOMPARE(result.adoptedRoot, request.root);
        QCOMPARE(result.filesDecoded, qint64(content.compressedCount()));
        verifyDecoded(request.target, content);
        if (makeCopy) { // the source keeps its compressed files
            int decoded = -1;
            verifyUntouchedOrDecoded(source, content, &decoded);
            QCOMPARE(decoded, 0);
        }
    }

    void manifestOfEveryImport_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("package") << QStringLiteral("package");
        QTest::newRow("folder in place") << QStringLiteral("in place");
        QTest::newRow("prepared copy") << QStringLiteral("copy");
    }

    // Every import ends with a manifest that sha256sum accepts and that
    // lists every file of the game data as prepared (names that sha256sum
    // must escape, hidden files and empty ones included), and with the
    // record of its source.
    void manifestOfEveryImport()
    {
        QFETCH(QString, kind);
        GameContent content = makeGameContent();
        content.files[QStringLiteral("content/back\\slash.txt")] = {"a backslash", "a backslash"};
        content.files[QStringLiteral("content/line\nbreak.txt")] = {"a line break", "a line break"};
        content.files[QStringLiteral("content/.hidden/options.ini")] = {"[hidden]\n", "[hidden]\n"};
        const QString extracted = home->filePath(QStringLiteral("extracted"));
        const QString package = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        QString root = home->filePath(QStringLiteral("Games/Game"));
        QString dataFolder = root + QStringLiteral("/gamedata");
        ImportResult result;
        if (kind == QLatin1String("package")) {
            writeContentPackage(package, content);
            const PackageImportRequest request{package, root};
            result = runOnWorker([&](const ProgressFn& p) { return runPackageImport(request, p); });
        } else {
            writeContentFolder(extracted, content);
            const bool copy = kind == QLatin1String("copy");
            if (!copy)
                root = dataFolder = extracted;
            const FolderImportRequest request{extracted, root, dataFolder, copy};
            result = runOnWorker([&](const ProgressFn& p) { return runFolderImport(request, gameProfile(), p); });
        }
        QVERIFY2(result.succeeded(), qPrintable(result.error));
        QVERIFY2(result.manifestProblem.isEmpty(), qPrintable(result.manifestProblem));

        QProcess check;
        check.setWorkingDirectory(root);
        check.setProcessChannelMode(QProcess::MergedChannels);
        check.start(QStringLiteral("sha256sum"), {QStringLiteral("--check"), QStringLiteral("--strict"),
                                                  QStringLiteral("--quiet"), QStringLiteral(".orvello/manifest.sha256")});
        QVERIFY(check.waitForFinished(30000));
        QVERIFY2(check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0, check.readAll().constData());

        QList<game_manifest::Entry> entries;
        QString error;
        QVERIFY2(game_manifest::readManifest(root, &entries, &error), qPrintable(error));
        QStringList listed;
        for (const game_manifest::Entry& entry : entries)
            listed << entry.path;
        QStringList present;
        QDirIterator files(dataFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString path = QDir(root).relativeFilePath(files.next());
            if (!path.startsWith(QLatin1String(".orvello/")))
                present << path;
        }
        present.sort();
        QCOMPARE(listed, present);
        QVERIFY(listed.contains(QDir(root).relativeFilePath(dataFolder + QStringLiteral("/content/line\nbreak.txt"))));

        game_manifest::Source source;
        QVERIFY2(game_manifest::readSource(root, &source, &error), qPrintable(error));
        if (kind == QLatin1String("in place")) {
            QCOMPARE(source.kind, game_manifest::Source::Kind::None);
            QVERIFY(!QFileInfo::exists(game_manifest::sourcePath(root)));
            return;
        }
        const bool fromPackage = kind == QLatin1String("package");
        game_manifest::Source now;
        QVERIFY(game_manifest::describeSource(fromPackage ? game_manifest::Source::Kind::Package
                                                          : game_manifest::Source::Kind::Folder,
                                              fromPackage ? package : extracted, QStringLiteral("gamedata"), &now));
        QCOMPARE(source, now);
        QVERIFY(source.size >= qint64(content.storedBytes()));
        QVERIFY(source.modified.isValid());
    }

    // The title check comes after the preparation, whose work stays.
    void folderOfAnotherTitleIsPreparedButNotAdopted()
    {
        const GameContent content = makeGameContent(QStringLiteral("41560817"));
        const QString source = home->filePath(QStringLiteral("other"));
        writeContentFolder(source, content);
        const FolderImportRequest request{source, source, source, false};
        const ImportResult result =
            runOnWorker([&](const ProgressFn& p) { return runFolderImport(request, gameProfile(), p); });
        QCOMPARE(result.error,
                 QStringLiteral("the folder does not validate as Tessarine Vandry Live (title 4E3D2C71)."));
        QVERIFY(result.adoptedRoot.isEmpty());
        verifyDecoded(source, content);
    }

    void folderCopyOntoExistingFileFails()
    {
        const GameContent content = makeGameContent();
        const QString source = home->filePath(QStringLiteral("extracted"));
        writeContentFolder(source, content);
        const QString root = home->filePath(QStringLiteral("Games/TessarineVandryLive"));
        writeFile(root + QStringLiteral("/gamedata/content/readme.txt"), "already here");
        const FolderImportRequest request{source, root, root + QStringLiteral("/gamedata"), true};
        const ImportResult result =
            runOnWorker([&](const ProgressFn& p) { return runFolderImport(request, gameProfile(), p); });
        QCOMPARE(result.error, QStringLiteral("Cannot copy %1/content/readme.txt to %2/gamedata/content/readme.txt: "
                                                 "Destination file exists")
                                   .arg(source, root));
        QVERIFY(result.adoptedRoot.isEmpty());
    }

    void stopping_data()
    {
        QTest::addColumn<QString>("job");
        QTest::newRow("package, during extraction") << QStringLiteral("package");
        QTest::newRow("folder, during the copy") << QStringLiteral("copy");
        QTest::newRow("folder, during preparation") << QStringLiteral("in place");
    }

    // Asked to stop at its first report, every job ends with the stop
    // message, adopts nothing and leaves every file whole.
    void stopping()
    {
        QFETCH(QString, job);
        const GameContent content = makeGameContent();
        const QString source = home->filePath(QStringLiteral("extracted"));
        const QString root = home->filePath(QStringLiteral("Games/Game"));
        Job run;
        QString written; // the folder the job writes to
        if (job == QLatin1String("package")) {
            const PackageImportRequest request{writePackage(content), root};
            run = [request](const ProgressFn& p) { return runPackageImport(request, p); };
            written = root + QStringLiteral("/gamedata");
        } else {
            writeContentFolder(source, content);
            const bool copy = job == QLatin1String("copy");
            const FolderImportRequest request{source, copy ? root : source,
                                              copy ? root + QStringLiteral("/gamedata") : source, copy};
            run = [request](const ProgressFn& p) { return runFolderImport(request, gameProfile(), p); };
            written = request.target;
        }
        QList<Report> reports;
        const ImportResult result = runOnWorker(run, &reports, true);
        QCOMPARE(result.error, kStopped);
        QVERIFY(result.adoptedRoot.isEmpty());
        QCOMPARE(reports.size(), 1); // nothing started after the stop
        QVERIFY(result.filesDecoded <= 1);
        if (job == QLatin1String("in place")) {
            int decoded = -1;
            verifyUntouchedOrDecoded(written, content, &decoded);
            QCOMPARE(decoded, result.filesDecoded);
        } else {
            // One entry or file was being written when the stop came.
            QDirIterator files(written, QDir::Files, QDirIterator::Subdirectories);
            int count = 0;
            for (; files.hasNext(); files.next())
                ++count;
            QVERIFY2(count <= 1, qPrintable(QString::number(count)));
        }
    }
};

ORVELLO_CORE_TEST_MAIN(TestImportJobs)
#include "import_jobs_test.moc"
