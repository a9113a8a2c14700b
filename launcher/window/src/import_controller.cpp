// ImportController: the worker thread, the progress dialog, the completion
// and the question asked when the window closes during an import.
#include "window/import_controller.h"

#include "window/import_progress_dialog.h"

#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <memory>

ImportController::ImportController(QWidget* window, const QString& appTitle)
    : QObject(window), window(window), appTitle(appTitle)
{
}

ImportController::~ImportController()
{
    if (!worker)
        return;
    worker->requestInterruption();
    worker->wait();
    delete worker;
}

void ImportController::start(const QString& title, const QString& firstLabel, Job job, Completion completion)
{
    auto result = std::make_shared<ImportResult>();
    run(title, firstLabel,
        QStringLiteral("An import is still running. Stop it and quit? What has been written so far stays on disk."),
        [job = std::move(job), result](const ProgressFn& progress) { *result = job(progress); },
        [result, completion = std::move(completion)] { completion(*result); });
}

void ImportController::run(const QString& title, const QString& firstLabel, const QString& stillRunning, Work work,
                           std::function<void()> completion)
{
    Q_ASSERT(!worker);
    this->stillRunning = stillRunning;
    dialog = new ImportProgressDialog(title, firstLabel, window);
    // Reports reach the dialog as queued calls, so the worker never waits
    // for the GUI thread; those still queued when the dialog is gone are
    // dropped.
    const ProgressFn progress = [target = dialog.data()](const ImportProgress& report) {
        QMetaObject::invokeMethod(
            target, [target, report] { target->showProgress(report); }, Qt::QueuedConnection);
    };
    worker = QThread::create([work = std::move(work), progress] { work(progress); });
    connect(dialog, &QProgressDialog::canceled, worker, [worker = worker] { worker->requestInterruption(); });
    connect(worker, &QThread::finished, this, [this, completion = std::move(completion)] { finish(completion); });
    emit runningChanged(true);
    worker->start(QThread::InheritPriority);
}

void ImportController::finish(const std::function<void()>& completion)
{
    worker->deleteLater();
    worker = nullptr;
    if (dialog) {
        dialog->finish();
        dialog->deleteLater();
    }
    emit runningChanged(false);
    if (closeWhenStopped) {
        window->close();
        return;
    }
    completion();
}

bool ImportController::mayCloseWindow()
{
    if (!worker)
        return true;
    if (closeWhenStopped)
        return false;
    QMessageBox question(QMessageBox::Question, appTitle, stillRunning, QMessageBox::NoButton, window);
    QPushButton* stop = question.addButton(QStringLiteral("Stop and quit"), QMessageBox::AcceptRole);
    question.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    question.exec();
    if (question.clickedButton() != stop)
        return false;
    if (!worker) { // it ended while the question was open
        QMetaObject::invokeMethod(window, &QWidget::close, Qt::QueuedConnection);
        return false;
    }
    closeWhenStopped = true;
    worker->requestInterruption();
    return false;
}
