// The worker thread, its progress line and Ctrl+C.
#include "worker_job.h"

#include "interrupt_notifier.h"
#include "terminal_progress.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include <memory>
#include <unistd.h>

namespace cli {

void runWorkerJob(const WorkerJob& job, QTextStream& err, const QString& stoppingNotice)
{
    TerminalProgress progress(err, isTerminal(STDERR_FILENO), terminalColumns(STDERR_FILENO));
    QObject receiver; // reports reach this thread as queued calls
    const ProgressFn report = [&receiver, &progress](const ImportProgress& step) {
        QMetaObject::invokeMethod(
            &receiver, [&progress, step] { progress.report(step); }, Qt::QueuedConnection);
    };
    const std::unique_ptr<QThread> worker(QThread::create([&job, &report] { job(report); }));
    QEventLoop loop;
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);
    const InterruptNotifier interrupt([&] {
        progress.finish();
        err << stoppingNotice << '\n' << Qt::flush;
        worker->requestInterruption();
    });
    worker->start();
    loop.exec();
    worker->wait();
    QCoreApplication::sendPostedEvents(&receiver); // reports still queued
    progress.finish();
}

} // namespace cli
