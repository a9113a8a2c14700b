// ImportController: runs one import job at a time on its own worker thread,
// behind an ImportProgressDialog, and hands the job's result to the flow's
// completion on the GUI thread. Cancel, and closing the window, stop the job
// between items; a window closed during an import is first asked about, and
// closes once the worker has ended.
#pragma once

#include "import/import_jobs.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class ImportProgressDialog;
class QThread;
class QWidget;

class ImportController : public QObject {
    Q_OBJECT

public:
    using Job = std::function<ImportResult(const ProgressFn&)>;
    using Completion = std::function<void(const ImportResult&)>;

    // window: the parent of the dialogs, closed again after "Stop and quit";
    // appTitle: the title of the question asked when it closes mid-import.
    ImportController(QWidget* window, const QString& appTitle);
    // Stops a running job and waits for it: a running thread must not be
    // destroyed.
    ~ImportController() override;

    bool isRunning() const { return worker != nullptr; }

    // Starts job on a new thread behind the progress dialog (title, first
    // label), which shows itself after a second of work. When the job has
    // ended, completion runs on the GUI thread, unless the window is
    // closing.
    void start(const QString& title, const QString& firstLabel, Job job, Completion completion);

    // For the window's close event: true when the window may close now.
    // During an import it asks whether to stop and quit; on yes the job is
    // stopped and the window closed once the worker has ended.
    bool mayCloseWindow();

signals:
    void runningChanged(bool running);

private:
    void finish(const ImportResult& result, const Completion& completion);

    QWidget* window;
    QString appTitle;
    QThread* worker = nullptr;
    QPointer<ImportProgressDialog> dialog;
    bool closeWhenStopped = false;
};
