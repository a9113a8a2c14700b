// ImportProgressDialog: the counted bar, the label and Cancel of a running
// import.
#include "window/import_progress_dialog.h"

#include <QCloseEvent>
#include <QProgressBar>
#include <QPushButton>

ImportProgressDialog::ImportProgressDialog(const QString& title, const QString& label, QWidget* window)
    : QProgressDialog(label, QString(), 0, 0, window)
{
    auto* bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("importProgressBar"));
    bar->setFormat(QStringLiteral("%v of %m"));
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
    setMinimumDuration(0);
    show();
}

void ImportProgressDialog::showProgress(qint64 done, qint64 total, const QString& text)
{
    if (total > 0) {
        setMaximum(int(total));
        setValue(int(done));
    } else {
        setMaximum(0);
    }
    if (!text.isEmpty())
        setLabelText(text);
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
