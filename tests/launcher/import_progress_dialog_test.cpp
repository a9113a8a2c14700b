// The import's progress dialog on its own: it shows itself only after a
// second of work; its bar shows the job's share with the step's "N of M";
// its label names the item and, under it, the step's bytes, then the speed
// and the time left once a second of them is known.
#include "test_support.h"
#include "window/import_progress_dialog.h"

#include <QElapsedTimer>
#include <QProgressBar>
#include <QRegularExpression>

#include <memory>

using namespace testing_support;

namespace {

constexpr qint64 kMiB = 1024 * 1024;

ImportProgress report(ImportStep step, qint64 done, qint64 total, qint64 mibDone, qint64 mibTotal,
                      const QString& text, double share)
{
    return {step, done, total, mibDone * kMiB, mibTotal * kMiB, text, share};
}

} // namespace

class TestImportProgressDialog : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;

private slots:
    void init()
    {
        window = std::make_unique<QWidget>();
        window->show();
    }
    void cleanup() { window.reset(); }

    void showsItselfAfterASecondOfWork()
    {
        QElapsedTimer clock;
        clock.start();
        ImportProgressDialog dialog(QStringLiteral("Import XBLA package"), QStringLiteral("Extracting..."), window.get());
        QVERIFY(!dialog.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(dialog.isVisible(), 5000);
        QVERIFY2(clock.elapsed() >= ImportProgressDialog::kShowAfterMs, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(dialog.labelText(), QStringLiteral("Extracting..."));
    }

    void aQuickImportNeverShowsIt()
    {
        ImportProgressDialog dialog(QStringLiteral("Import game data"), QStringLiteral("Preparing..."), window.get());
        dialog.showProgress(report(ImportStep::Decompressing, 1, 1, 1, 1, QString(), 1.0));
        dialog.finish();
        QTest::qWait(ImportProgressDialog::kShowAfterMs + 300);
        QVERIFY(!dialog.isVisible());
    }

    void showsTheShareTheItemsAndTheBytes()
    {
        ImportProgressDialog dialog(QStringLiteral("Import XBLA package"), QStringLiteral("Extracting..."), window.get());
        auto* bar = dialog.findChild<QProgressBar*>();
        QVERIFY(bar);
        QCOMPARE(dialog.maximum(), 0); // busy until a share is known

        dialog.showProgress(report(ImportStep::Extracting, 3, 10, 30, 100, QStringLiteral("Extracting ui/a.xnb"), 0.25));
        QCOMPARE(bar->text(), QStringLiteral("3 of 10"));
        QCOMPARE(double(dialog.value()) / dialog.maximum(), 0.25);
        QCOMPARE(dialog.labelText(), QStringLiteral("Extracting ui/a.xnb\n30.0 MB of 100.0 MB"));

        // A second later the speed is known; a report without a text keeps
        // the item's line.
        QTest::qWait(1100);
        dialog.showProgress(report(ImportStep::Extracting, 4, 10, 40, 100, QString(), 0.3));
        const QRegularExpression withSpeed(
            QStringLiteral("^Extracting ui/a.xnb\\n40.0 MB of 100.0 MB, [0-9.]+ MB/s, about [0-9]+ s left$"));
        QVERIFY2(withSpeed.match(dialog.labelText()).hasMatch(), qPrintable(dialog.labelText()));
        QCOMPARE(bar->text(), QStringLiteral("4 of 10"));

        // The next step's bytes go at their own speed: none is known yet.
        dialog.showProgress(report(ImportStep::Decompressing, 0, 5, 0, 20, QStringLiteral("Decompressing ui/a.xnb"), 0.6));
        QCOMPARE(dialog.labelText(), QStringLiteral("Decompressing ui/a.xnb\n0 bytes of 20.0 MB"));
        QCOMPARE(bar->text(), QStringLiteral("0 of 5"));
        QCOMPARE(double(dialog.value()) / dialog.maximum(), 0.6);

        // A step's last report shows its bytes without speed or time left.
        dialog.showProgress(report(ImportStep::Decompressing, 5, 5, 20, 20, QString(), 1.0));
        QCOMPARE(dialog.labelText(), QStringLiteral("Decompressing ui/a.xnb\n20.0 MB of 20.0 MB"));
        QCOMPARE(dialog.value(), dialog.maximum());
    }
};

ORVELLO_TEST_MAIN(TestImportProgressDialog)
#include "import_progress_dialog_test.moc"
