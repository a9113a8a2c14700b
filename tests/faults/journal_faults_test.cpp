// The play journal when its folder takes no writes or its disk is full:
// orvello-run still runs the game and passes its status on, saying why the
// run is not recorded; a compaction fails with the reason and changes
// nothing.
#include "core/play_journal.h"
#include "fault_support.h"
#include "supervisor/journal_format.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>

using namespace fault_support;
using namespace testing_support;

namespace {

// A journal large enough to be compacted.
QByteArray largeJournal()
{
    QByteArray text;
    for (long i = 1; i <= 2000; ++i) {
        const supervisor::RunIdentity run{"-", {i, 1}, {i + 1, 1}};
        text += QByteArray::fromStdString(supervisor::formatLine(supervisor::RunStart{run, i, "/g"}) +
                                          supervisor::formatLine(supervisor::RunEnd{run, supervisor::RunEndKind::Exited, 0, i}));
    }
    return text;
}

// Runs orvello-run on a game that exits with 5; returns its standard error.
QString superviseExitFive(const QString& journal, int* exitCode)
{
    QProcess process;
    process.start(QStringLiteral(ORVELLO_RUN_PROGRAM),
                  {QStringLiteral("--journal"), journal, QStringLiteral("--game-root"), QStringLiteral("/g"),
                   QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("exit 5")});
    if (!process.waitForFinished(30000))
        return QStringLiteral("orvello-run did not finish");
    *exitCode = process.exitCode();
    return QString::fromUtf8(process.readAllStandardError());
}

QString notRecorded(const QString& journal, const QString& reason)
{
    return QStringLiteral("orvello-run: cannot record the run's start in %1: %2\n"
                          "orvello-run: cannot record the run's end in %1: %2\n")
        .arg(journal, reason);
}

} // namespace

class TestJournalFaults : public QObject {
    Q_OBJECT

private slots:
    void aJournalFolderThatTakesNoWrites()
    {
        QTemporaryDir scratch(scratchTemplate(QStringLiteral("journal-faults")));
        const QString folder = QDir(scratch.path()).filePath(QStringLiteral("state"));
        const QString journal = QDir(folder).filePath(QStringLiteral("play-journal"));
        writeFile(journal, largeJournal());
        UnwritableTree unwritable(folder);
        if (!unwritable.ok())
            QSKIP("cannot make the journal's folder unwritable here");
        const TreeChecksums before({folder});

        int exitCode = -1;
        QCOMPARE(superviseExitFive(journal, &exitCode), notRecorded(journal, unwritable.reason()));
        QCOMPARE(exitCode, 5);

        QString error;
        QVERIFY(!compactPlayJournal(journal, 4096, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Cannot compact the play journal %1: ").arg(journal)), qPrintable(error));
        QCOMPARE(before.changedSince(), QStringList());
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("play-journal")});
    }

    void aFullDisk()
    {
        QTemporaryDir scratch(scratchTemplate(QStringLiteral("journal-faults")));
        const QString folder = QDir(scratch.path()).filePath(QStringLiteral("state"));
        const QString journal = QDir(folder).filePath(QStringLiteral("play-journal"));
        // Whole lines, then empty ones (which readers skip) up to a full
        // page: a file system allocates whole pages, and a page with room
        // left would take the next line.
        const QByteArray earlier = largeJournal().left(1000);
        QByteArray wholeLines = earlier.left(earlier.lastIndexOf('\n') + 1);
        wholeLines.append(4096 - wholeLines.size(), '\n');
        QVERIFY(QDir().mkpath(folder));
        // As root a small file system filled to the brim; otherwise a file
        // size limit that the journal has reached.
        std::optional<ScratchMount> disk;
        std::optional<FileSizeLimit> limit;
        QString reason;
        if (runningAsRoot()) {
            disk.emplace(ScratchMount::tmpfs(folder, 64));
            if (!disk->ok())
                QSKIP("cannot mount a small file system here");
            writeFile(journal, wholeLines);
            QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(4096, 'f')) == 4096 && filler.flush()) {
            }
            reason = systemReason(ENOSPC);
        } else {
            writeFile(journal, wholeLines);
            limit.emplace(rlim_t(wholeLines.size()));
            reason = systemReason(EFBIG);
        }
        const QByteArray journalBefore = readBytes(journal);

        int exitCode = -1;
        QCOMPARE(superviseExitFive(journal, &exitCode), notRecorded(journal, reason));
        QCOMPARE(exitCode, 5);
        QCOMPARE(readBytes(journal), journalBefore); // nothing half-written
    }
};

ORVELLO_CORE_TEST_MAIN(TestJournalFaults)
#include "journal_faults_test.moc"
