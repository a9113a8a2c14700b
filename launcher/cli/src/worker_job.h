// A long command-line job (an import, a verify, a repair) on a worker
// thread, so that Ctrl+C can ask it to stop as the window's Cancel does,
// with its progress on standard error (see TerminalProgress).
#pragma once

#include "import/import_progress.h"

#include <QString>
#include <QTextStream>

#include <functional>

namespace cli {

using WorkerJob = std::function<void(const ProgressFn&)>;

// Runs job to its end. On the first Ctrl+C, stoppingNotice goes to err and
// the worker is asked to stop; a second one ends the launcher at once.
void runWorkerJob(const WorkerJob& job, QTextStream& err, const QString& stoppingNotice);

} // namespace cli
