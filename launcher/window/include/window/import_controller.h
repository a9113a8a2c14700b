// ImportController: runs one import job (or a verify, a repair) at a time on
// its own worker thread, behind an ImportProgressDialog, and hands the job's
// result to the flow's completion on the GUI thread. Cancel, and closing the
// window, stop the job between items; a window closed during one is first
// asked about, and closes once the worker has ended.
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

    // The same for other work on a game folder (a verify, a repair) that
    // leaves its result where completion finds it; stillRunning is the
    // question asked when the window closes meanwhile.
    using Work = std::function<void(const ProgressFn&)>;
    void run(const QString& title, const QString& firstLabel, const QString& stillRunning, Work work,
             std::function<void()> completion);

    // For the window's close event: true when the window may close now.
    // During an import it asks whether to stop and quit; on yes the job is
    // stopped and the window closed once the worker has ended.
    bool mayCloseWindow();

signals:
    void runningChanged(bool running);

private:
    void finish(const std::function<void()>& completion);

    QWidget* window;
    QString appTitle;
    QThread* worker = nullptr;
    QPointer<ImportProgressDialog> dialog;
    bool closeWhenStopped = false;
    QString stillRunning; // the question of the work that runs
};
