// The command-line import's progress line.
#include "terminal_progress.h"

#include <QStringList>

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

TerminalProgress::TerminalProgress(QTextStream& stream, bool live, int columns)
    : stream(stream), live(live), columns(std::max(columns, 20))
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

void TerminalProgress::report(const ImportProgress& progress)
{
    // Each step (extraction, copy, preparation) has its own speed.
    if (!started || progress.step != step) {
        started = true;
        step = progress.step;
        rate.restart();
        clock.start();
    }
    const bool newItem = !progress.text.isEmpty() && progress.text != text;
    if (!progress.text.isEmpty())
        text = progress.text;
    QStringList parts;
    if (progress.total > 0)
        parts << QStringLiteral("%1 of %2").arg(progress.done).arg(progress.total);
    if (!text.isEmpty())
        parts << text;
    if (!live) {
        if (newItem)
            stream << parts.join(QStringLiteral(": ")) << '\n' << Qt::flush;
        return;
    }
    if (progress.bytesTotal > 0) {
        rate.add(clock.elapsed(), progress.bytesDone);
        parts << transferText(progress.bytesDone, progress.bytesTotal, rate.bytesPerSecond(),
                              rate.secondsLeft(progress.bytesTotal - progress.bytesDone));
    }
    QString line = parts.join(QStringLiteral(" \u00b7 "));
    if (line.size() >= columns)
        line = line.left(columns - 2) + QStringLiteral("\u2026");
    // Back to the line's start, the new text, the rest of the old one cleared.
    stream << '\r' << line << "\x1b[K" << Qt::flush;
    lineOpen = true;
}

void TerminalProgress::finish()
{
    if (lineOpen)
        stream << '\n' << Qt::flush;
    lineOpen = false;
}

bool isTerminal(int fileDescriptor)
{
    return ::isatty(fileDescriptor) == 1;
}

int terminalColumns(int fileDescriptor)
{
    winsize size{};
    if (::ioctl(fileDescriptor, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace cli
