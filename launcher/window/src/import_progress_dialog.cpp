// ImportProgressDialog: the bar, the two-line label and Cancel of a running
// import.
#include "window/import_progress_dialog.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <climits>

namespace {

constexpr int kBarSteps = 1000;
// The speed and the time left change at most this often, so they can be read.
constexpr qint64 kTransferLineEveryMs = 500;

} // namespace

ImportProgressDialog::ImportProgressDialog(const QString& title, const QString& label, QWidget* window)
    : QProgressDialog(label, QString(), 0, 0, window), itemText(label)
{
    bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("importProgressBar"));
    bar->setRange(0, 0);
    setBar(bar);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    setCancelButton(cancelButton);
    // QProgressDialog hides itself on cancel; an import keeps it up until it
    // has really stopped, so the cancel request goes to requestStop instead.
    disconnect(this, SIGNAL(canceled()), this, SLOT(cancel()));
    connect(this, &QProgressDialog::canceled, this, &ImportProgressDialog::requestStop);

    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    // An extraction that reaches its last entry must not close the dialog
    // while the content is still being prepared.
    setAutoReset(false);
    setAutoClose(false);
    // QProgressDialog would show itself sooner when it guesses a long run;
    // this dialog shows after a second of work, whatever the guess.
    setMinimumDuration(INT_MAX);
    clock.start();
    QTimer::singleShot(kShowAfterMs, Qt::PreciseTimer, this, [this] {
        if (!finished)
            show();
    });
}

void ImportProgressDialog::showProgress(const ImportProgress& report)
{
    if (!report.text.isEmpty())
        itemText = report.text;
    if (!reported || report.step != step) {
        rate.restart(); // another step's bytes go at another speed
        transferShownAt = -1;
        step = report.step;
        reported = true;
    }
    showShare(report);
    showTransfer(report);
    setLabelText(transferLine.isEmpty() ? itemText : itemText + QLatin1Char('\n') + transferLine);
}

void ImportProgressDialog::showShare(const ImportProgress& report)
{
    bar->setFormat(report.total > 0 ? QStringLiteral("%1 of %2").arg(report.done).arg(report.total) : QString());
    if (report.jobShare < 0) {
        setMaximum(0); // busy until a share is known
        return;
    }
    setMaximum(kBarSteps);
    setValue(qRound(report.jobShare * kBarSteps));
}

void ImportProgressDialog::showTransfer(const ImportProgress& report)
{
    const qint64 now = clock.elapsed();
    rate.add(now, report.bytesDone);
    if (report.bytesTotal <= 0) {
        transferLine.clear();
        return;
    }
    const bool stepEnded = report.bytesDone >= report.bytesTotal;
    if (transferShownAt >= 0 && now - transferShownAt < kTransferLineEveryMs && !stepEnded)
        return;
    transferShownAt = now;
    const qint64 left = report.bytesTotal - report.bytesDone;
    transferLine = transferText(report.bytesDone, report.bytesTotal, stepEnded ? -1 : rate.bytesPerSecond(),
                                stepEnded ? -1 : rate.secondsLeft(left));
}

void ImportProgressDialog::finish()
{
    finished = true;
    close();
}

void ImportProgressDialog::reject()
{
    emit canceled();
}

void ImportProgressDialog::closeEvent(QCloseEvent* event)
{
    if (finished) {
        QDialog::closeEvent(event); // not a cancel request
        return;
    }
    event->ignore();
    emit canceled();
}

void ImportProgressDialog::requestStop()
{
    cancelButton->setEnabled(false);
}
