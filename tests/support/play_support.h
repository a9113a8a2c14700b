// Following the game's runs from a test: the play journal's runs as the
// launcher reads them, waiting for a run to start or end, and what /proc
// tells of a running process (its command, environment, folder, parent).
#pragma once

#include "core/play_journal.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace testing_support {

// Waits (up to 20 s) until the journal holds count runs and the last one is
// no longer running (ended is true) or has started (false); returns the
// history then, or fails the calling test.
PlayHistory waitForRuns(const QString& journal, qint64 count, bool ended);

// The NUL-separated strings of /proc/<pid>/cmdline or environ.
QList<QByteArray> procStrings(qint64 pid, const char* file);

// The folder the process works in.
QString procWorkingFolder(qint64 pid);

// True while the process exists and is not a zombie.
bool processExists(qint64 pid);

// The parent's process id.
qint64 parentProcess(qint64 pid);

// Writes an executable script at path that stands in for orvello-run and
// only exits with the given status.
void installFakeSupervisor(const QString& path, int exitStatus);

} // namespace testing_support
