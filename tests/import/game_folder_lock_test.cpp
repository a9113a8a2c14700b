// The game folder's writer lock: one holder at a time within a process and
// across processes, both import jobs refused while another process holds
// it, two imports run at once into one folder, the lock of a killed process
// taken over, and a folder that takes no writes.
#include "core/game_profile.h"
#include "import/game_folder_lock.h"
#include "import/import_jobs.h"
#include "import_fixture.h"
#include "test_support.h"

#include <QProcess>

#include <memory>

using namespace testing_support;

namespace {

constexpr int kProcessTimeoutMs = 60000;

// import_job_runner, started with arguments; fails the test when it does
// not start.
std::unique_ptr<QProcess> startRunner(const QStringList& arguments)
{
    auto runner = std::make_unique<QProcess>();
    runner->start(QStringLiteral(IMPORT_JOB_RUNNER), arguments);
    if (!runner->waitForStarted())
        qFatal("import_job_runner did not start: %s", qPrintable(runner->errorString()));
    return runner;
}

// Another process that holds root's lock until released.
class LockHolder {
public:
    explicit LockHolder(const QString& root)
        : process(startRunner({QStringLiteral("hold-lock"), root}))
    {
        process->waitForReadyRead(kProcessTimeoutMs);
        answer = process->readLine().trimmed();
    }
    ~LockHolder() { release(); }
    bool holds() const { return answer == "held"; }
    void release()
    {
        process->closeWriteChannel();
        process->waitForFinished(kProcessTimeoutMs);
    }
    void kill()
    {
        process->kill();
        process->waitForFinished(kProcessTimeoutMs);
    }

private:
    std::unique_ptr<QProcess> process;
    QByteArray answer;
};

QString busyMessage(const QString& root)
{
    return QStringLiteral("Another import or verification is using %1.").arg(root);
}

} // namespace

class TestGameFolderLock : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<ScopedEnv> path;

    QString root() const { return home->filePath(QStringLiteral("Games/Game")); }

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

    void oneHolderAtATimeInAProcess()
    {
        auto first = std::make_unique<GameFolderLock>(root());
        GameFolderLock second(root());
        QCOMPARE(first->acquire(), GameFolderLock::Outcome::Held);
        QCOMPARE(first->acquire(), GameFolderLock::Outcome::Held); // asking again changes nothing
        QVERIFY(QFileInfo(first->lockPath()).isFile());
        QCOMPARE(first->lockPath(), root() + QStringLiteral("/.orvello/writer.lock"));
        QCOMPARE(second.acquire(), GameFolderLock::Outcome::Busy);
        QCOMPARE(second.busyMessage(), busyMessage(root()));
        first.reset();
        QVERIFY(!QFileInfo::exists(second.lockPath()));
        QCOMPARE(second.acquire(), GameFolderLock::Outcome::Held);
    }

    void jobsAreRefusedWhileAnotherProcessHoldsTheLock_data()
    {
        QTest::addColumn<bool>("package"); // else an extracted folder prepared in place
        QTest::newRow("package import") << true;
        QTest::newRow("folder import") << false;
    }

    void jobsAreRefusedWhileAnotherProcessHoldsTheLock()
    {
        QFETCH(bool, package);
        const GameContent content = makeGameContent();
        const QString packagePath = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        if (package)
            writeContentPackage(packagePath, content);
        else
            writeContentFolder(root(), content);
        const auto runJob = [&] {
            return package ? runPackageImport({packagePath, root()}, {})
                           : runFolderImport({root(), root(), root(), false}, gameProfile(), {});
        };

        LockHolder holder(root());
        QVERIFY(holder.holds());
        const ImportResult refused = runJob();
        QCOMPARE(refused.error, busyMessage(root()));
        QVERIFY(refused.adoptedRoot.isEmpty());
        if (package) {
            QVERIFY2(!QFileInfo::exists(root() + QStringLiteral("/gamedata")), "a refused import wrote");
        } else {
            for (auto it = content.files.cbegin(); it != content.files.cend(); ++it)
                QCOMPARE(readBytes(QDir(root()).filePath(it.key())), it->stored);
        }

        holder.release();
        const ImportResult result = runJob();
        QVERIFY2(result.succeeded(), qPrintable(result.error));
        verifyDecoded(package ? root() + QStringLiteral("/gamedata") : root(), content);
    }

    // Two import processes into one folder: the second is refused at once
    // and the first completes undisturbed.
    void twoImportProcessesIntoOneFolder()
    {
        const GameContent content = makeGameContent();
        const QString package = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        writeContentPackage(package, content);
        // A decoder slow enough that the first import still runs when the
        // second starts.
        const FakeDecoder slow(home->filePath(QStringLiteral("slow-bin")),
                               "sleep 1\n'" ORVELLO_BIN_DIR "/zorv' \"$1\" \"$2\"\n");
        const auto first = startRunner({QStringLiteral("package"), package, root()});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(GameFolderLock(root()).lockPath()), kProcessTimeoutMs);
        const auto second = startRunner({QStringLiteral("package"), package, root()});
        QVERIFY(second->waitForFinished(kProcessTimeoutMs));
        QCOMPARE(second->exitCode(), 1);
        QCOMPARE(QString::fromUtf8(second->readAllStandardError()).trimmed(), busyMessage(root()));
        QVERIFY2(first->state() == QProcess::Running, "the first import ended before the second was refused");

        QVERIFY(first->waitForFinished(kProcessTimeoutMs));
        QCOMPARE(QString::fromUtf8(first->readAllStandardError()), QString());
        QCOMPARE(first->exitCode(), 0);
        verifyDecoded(root() + QStringLiteral("/gamedata"), content);
        QVERIFY(!QFileInfo::exists(GameFolderLock(root()).lockPath()));
    }

    // A process killed while it holds the lock leaves the lock file; the next
    // one takes it over.
    void theLockOfAKilledProcessIsTakenOver()
    {
        LockHolder holder(root());
        QVERIFY(holder.holds());
        holder.kill();
        GameFolderLock next(root());
        QVERIFY(QFileInfo::exists(next.lockPath()));
        QCOMPARE(next.acquire(), GameFolderLock::Outcome::Held);
    }

    // Where no lock can be made, nothing can be written either: the jobs go
    // on without one, and their own steps say why they cannot write.
    void aFolderThatTakesNoWritesHasNoLock()
    {
        writeFile(home->filePath(QStringLiteral("a-file")), "not a folder");
        const QString impossible = home->filePath(QStringLiteral("a-file/Game"));
        QCOMPARE(GameFolderLock(impossible).acquire(), GameFolderLock::Outcome::Unavailable);

        const QString package = home->filePath(QStringLiteral("Downloads/Game.pkg"));
        writeContentPackage(package, makeGameContent());
        const ImportResult result = runPackageImport({package, impossible}, {});
        QVERIFY2(result.error.startsWith(QStringLiteral("Cannot create %1/gamedata: ").arg(impossible)),
                 qPrintable(result.error));
    }
};

ORVELLO_CORE_TEST_MAIN(TestGameFolderLock)
#include "game_folder_lock_test.moc"
