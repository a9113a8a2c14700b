// The progress of a command-line import. On a terminal: one line, rewritten
// in place, with "N of M", the item at hand, and the bytes done with the
// speed and the time left (the progress dialog's line). Otherwise (a log, a
// pipe): one plain line per item.
#pragma once

#include "import/import_progress.h"
#include "import/transfer_rate.h"

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

namespace cli {

class TerminalProgress {
public:
    // live: rewrite one line (the stream is a terminal of that many columns).
    TerminalProgress(QTextStream& stream, bool live, int columns = 80);
    ~TerminalProgress();

    // A report of the import (see ProgressFn).
    void report(const ImportProgress& progress);
    // Ends the live line, so that what follows starts on a line of its own.
    void finish();

private:
    QTextStream& stream;
    const bool live;
    const int columns;
    QElapsedTimer clock;
    ImportStep step = ImportStep::Extracting;
    bool started = false;
    TransferRate rate; // of the current step's bytes
    QString text;
    bool lineOpen = false;
};

// Whether the stream's file descriptor is a terminal, and its width.
bool isTerminal(int fileDescriptor);
int terminalColumns(int fileDescriptor);

} // namespace cli
