// The command-line import's progress line.
#include "terminal_progress.h"

#include <QStringList>

#include <algorithm>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

// Estimates need a moment of work to go on.
constexpr qint64 kFirstEstimateMs = 2000;

} // namespace

TerminalProgress::TerminalProgress(QTextStream& stream, bool live, int columns)
    : stream(stream), live(live), columns(std::max(columns, 20))
{
}

TerminalProgress::~TerminalProgress()
{
    finish();
}

QString TerminalProgress::timeLeft(qint64 done, qint64 total, qint64 elapsedMs)
{
    if (done <= 0 || total <= done || elapsedMs < kFirstEstimateMs)
        return {};
    const qint64 seconds = (elapsedMs * (total - done) / done + 999) / 1000;
    if (seconds < 90)
        return QStringLiteral("about %1 s left").arg(seconds);
    return QStringLiteral("about %1 min left").arg((seconds + 30) / 60);
}

void TerminalProgress::report(qint64 done, qint64 total, const QString& itemText)
{
    // Each step (extraction, copy, preparation) counts on its own.
    if (total != phaseTotal) {
        phaseTotal = total;
        phaseClock.start();
    }
    const bool newItem = !itemText.isEmpty() && itemText != text;
    if (!itemText.isEmpty())
        text = itemText;
    QStringList parts;
    if (total > 0)
        parts << QStringLiteral("%1 of %2").arg(done).arg(total);
    if (!text.isEmpty())
        parts << text;
    if (!live) {
        if (newItem)
            stream << parts.join(QStringLiteral(": ")) << '\n' << Qt::flush;
        return;
    }
    const QString left = total > 0 ? timeLeft(done, total, phaseClock.elapsed()) : QString();
    if (!left.isEmpty())
        parts << left;
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
