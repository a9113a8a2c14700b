// The pure parts of import progress: the steps of a job joined into one
// share that never moves back, the speed over the last seconds and the time
// left, and their texts.
#include "import/import_progress.h"
#include "import/transfer_rate.h"
#include "test_support.h"

namespace {

ImportProgress bytesReport(qint64 done, qint64 total)
{
    ImportProgress report;
    report.bytesDone = done;
    report.bytesTotal = total;
    return report;
}

} // namespace

class TestImportProgress : public QObject {
    Q_OBJECT

private slots:
    // Two steps weighted by their bytes: 300 then 100.
    void stepsAreWeightedByTheirBytes()
    {
        StepWeights steps({300, 100});
        QCOMPARE(steps.jobShare(0, bytesReport(0, 300)), 0.0);
        QCOMPARE(steps.jobShare(0, bytesReport(150, 300)), 0.375);
        QCOMPARE(steps.jobShare(0, bytesReport(300, 300)), 0.75);
        QCOMPARE(steps.jobShare(1, bytesReport(0, 100)), 0.75); // no jump between the steps
        QCOMPARE(steps.jobShare(1, bytesReport(50, 100)), 0.875);
        QCOMPARE(steps.jobShare(1, bytesReport(100, 100)), 1.0);
    }

    // A later step's estimate may change while an earlier one runs, and the
    // later step's own bytes replace it: the share never moves back.
    void theShareNeverMovesBack()
    {
        StepWeights steps({100, 100});
        QCOMPARE(steps.jobShare(0, bytesReport(50, 100)), 0.25);
        steps.setWeight(1, 900); // the second step turns out much larger
        QCOMPARE(steps.jobShare(0, bytesReport(60, 100)), 0.25); // 0.06 by weight: held
        QCOMPARE(steps.jobShare(0, bytesReport(100, 100)), 0.25);
        QCOMPARE(steps.jobShare(1, bytesReport(450, 900)), 0.55);
        // Its own report says 100 bytes after all: 0.75 by weight.
        QCOMPARE(steps.jobShare(1, bytesReport(50, 100)), 0.75);
    }

    // A step without bytes counts its items; steps without any byte share
    // the bar equally.
    void itemsStandInForMissingBytes()
    {
        StepWeights steps({0, 0});
        ImportProgress items;
        items.done = 1;
        items.total = 4;
        QCOMPARE(steps.jobShare(0, items), 0.125);
        items.done = 4;
        QCOMPARE(steps.jobShare(1, items), 1.0);
    }

    void aReporterFillsInTheShare()
    {
        StepWeights steps({100, 300});
        QList<ImportProgress> seen;
        const ProgressFn sink = [&seen](const ImportProgress& report) { seen << report; };
        ImportProgress report = bytesReport(100, 300);
        report.done = 2;
        report.total = 3;
        report.text = QStringLiteral("Decompressing a");
        steps.reporter(1, sink)(report);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].jobShare, 0.5);
        QCOMPARE(seen[0].done, 2);
        QCOMPARE(seen[0].text, QStringLiteral("Decompressing a"));
        QVERIFY(!steps.reporter(0, {}));
    }

    // No figure before a second of samples, then the speed over the last
    // ten seconds.
    void speedOverTheLastSeconds()
    {
        TransferRate rate;
        QCOMPARE(rate.bytesPerSecond(), -1.0);
        rate.add(0, 0);
        rate.add(900, 9000);
        QCOMPARE(rate.bytesPerSecond(), -1.0); // under a second
        QCOMPARE(rate.secondsLeft(1000), qint64(-1));
        rate.add(1000, 10000);
        QCOMPARE(rate.bytesPerSecond(), 10000.0);
        QCOMPARE(rate.secondsLeft(25000), qint64(3)); // 2.5 s, rounded up
        // Slower from 10 s on: the window forgets the fast start.
        for (qint64 t = 2000; t <= 30000; t += 1000)
            rate.add(t, 10000 + (t - 1000) / 1000 * 1000);
        QCOMPARE(rate.bytesPerSecond(), 1000.0);
        QCOMPARE(rate.secondsLeft(60000), qint64(60));

        rate.add(31000, 39000); // no progress for a while
        rate.restart();
        QCOMPARE(rate.bytesPerSecond(), -1.0);
        rate.add(0, 5);
        rate.add(2000, 5);
        QCOMPARE(rate.bytesPerSecond(), -1.0); // nothing moved: no speed to tell
    }

    void texts_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("0 s") << qint64(0) << "about 1 s left";
        QTest::newRow("1 s") << qint64(1) << "about 1 s left";
        QTest::newRow("59 s") << qint64(59) << "about 59 s left";
        QTest::newRow("60 s") << qint64(60) << "about 1 min left";
        QTest::newRow("89 s") << qint64(89) << "about 1 min left";
        QTest::newRow("90 s") << qint64(90) << "about 2 min left";
        QTest::newRow("1 h") << qint64(3600) << "about 60 min left";
    }

    void texts()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(timeLeftText(seconds), text);
    }

    void transferLine()
    {
        constexpr qint64 kMB = 1024 * 1024;
        QCOMPARE(transferText(126353408, 420 * kMB, 85.2 * kMB, 4),
                 QStringLiteral("120.5 MB of 420.0 MB, 85.2 MB/s, about 4 s left"));
        QCOMPARE(transferText(0, 420 * kMB, -1, -1), QStringLiteral("0 bytes of 420.0 MB"));
        QCOMPARE(transferText(1536, 3 * kMB, 512, 6143), QStringLiteral("1.5 kB of 3.0 MB, 512 bytes/s, about 102 min left"));
    }
};

ORVELLO_CORE_TEST_MAIN(TestImportProgress)
#include "import_progress_test.moc"
