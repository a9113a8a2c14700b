// The progress of a command-line import. On a terminal: one line, rewritten
// in place, with "N of M", the item at hand and the time left. Otherwise (a
// log, a pipe): one plain line per item.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTextStream>

namespace cli {

class TerminalProgress {
public:
    // live: rewrite one line (the stream is a terminal of that many columns).
    TerminalProgress(QTextStream& stream, bool live, int columns = 80);
    ~TerminalProgress();

    // A report of the import (see ProgressFn): done out of total items (a
    // total of 0: not counted), and the text naming the item, if any.
    void report(qint64 done, qint64 total, const QString& text);
    // Ends the live line, so that what follows starts on a line of its own.
    void finish();

    // "about N s left", "about N min left", or "" while too early to tell.
    static QString timeLeft(qint64 done, qint64 total, qint64 elapsedMs);

private:
    QTextStream& stream;
    const bool live;
    const int columns;
    QElapsedTimer phaseClock; // since the count of the current step started
    qint64 phaseTotal = -1;
    QString text;
    bool lineOpen = false;
};

// Whether the stream's file descriptor is a terminal, and its width.
bool isTerminal(int fileDescriptor);
int terminalColumns(int fileDescriptor);

} // namespace cli
