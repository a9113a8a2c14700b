// The play history in words.
#include "core/play_texts.h"

#include <string.h>

#include <algorithm>

namespace {

qint64 roundedSeconds(qint64 ms)
{
    return (ms + 500) / 1000;
}

// "<h>:<mm>:<ss>", hours not padded.
QString clockText(qint64 seconds)
{
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600)
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// "12 h 40 min", "40 min" or "35 s".
QString playTimeWords(qint64 ms)
{
    const qint64 seconds = ms / 1000;
    const qint64 minutes = seconds / 60;
    if (minutes >= 60)
        return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
    if (minutes > 0)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 s").arg(seconds);
}

// "today", "yesterday" or "on 2024-06-12".
QString dayWords(const QDateTime& when, const QDateTime& now)
{
    const QDate day = when.toLocalTime().date(), today = now.toLocalTime().date();
    if (day == today)
        return QStringLiteral("today");
    if (day == today.addDays(-1))
        return QStringLiteral("yesterday");
    return QStringLiteral("on %1").arg(day.toString(Qt::ISODate));
}

// "14:02" today, "2024-06-12 14:02" on another day.
QString startWords(const QDateTime& started, const QDateTime& now)
{
    const QDateTime local = started.toLocalTime();
    const QString time = local.time().toString(QStringLiteral("HH:mm"));
    if (local.date() == now.toLocalTime().date())
        return time;
    return local.date().toString(Qt::ISODate) + QLatin1Char(' ') + time;
}

QString isoLocalTime(const QDateTime& when)
{
    return when.toLocalTime().toString(Qt::ISODate);
}

QString signalWords(int signal)
{
    return QStringLiteral("signal %1 (%2)").arg(signal).arg(signalDescription(signal));
}

QString lastRunStatus(const PlayRun& run)
{
    const QString after = runDurationText(run.durationMs);
    switch (run.end) {
    case PlayRun::End::Running:
        return QStringLiteral("running since %1").arg(isoLocalTime(run.started));
    case PlayRun::End::Exited:
        if (run.code == 0)
            return QStringLiteral("ended normally after %1").arg(after);
        return QStringLiteral("ended with exit code %1 after %2").arg(run.code).arg(after);
    case PlayRun::End::Signalled:
        return QStringLiteral("ended by %1 after %2").arg(signalWords(run.code), after);
    case PlayRun::End::Unexpected:
        break;
    }
    return QStringLiteral("ended unexpectedly");
}

} // namespace

QString runDurationText(qint64 ms)
{
    const qint64 seconds = roundedSeconds(std::max<qint64>(ms, 0));
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    return clockText(seconds);
}

QString signalDescription(int signal)
{
    // sigdescr_np, unlike strsignal, is never translated: the launcher's
    // texts are English whatever the locale.
    const char* description = sigdescr_np(signal);
    return description ? QString::fromUtf8(description) : QStringLiteral("unknown signal");
}

QString playSummaryText(const PlayHistory& history, const QDateTime& now)
{
    if (!history.running.isEmpty()) {
        const QString since = QStringLiteral("Running since %1").arg(startWords(history.running.first().started, now));
        if (history.running.size() == 1)
            return since;
        return since + QStringLiteral(" (%1 runs)").arg(history.running.size());
    }
    if (!history.everPlayed())
        return QStringLiteral("Not played yet");
    return QStringLiteral("Played %1 · last played %2")
        .arg(playTimeWords(history.playTimeMs), dayWords(history.lastPlayed, now));
}

QString lastRunOutcomeText(const PlayHistory& history)
{
    if (!history.lastRun)
        return {};
    const PlayRun& run = *history.lastRun;
    const QString after = runDurationText(run.durationMs);
    switch (run.end) {
    case PlayRun::End::Exited:
        if (run.code == 0)
            return {};
        return QStringLiteral("The last run ended after %1: exit code %2.").arg(after).arg(run.code);
    case PlayRun::End::Signalled:
        return QStringLiteral("The last run ended after %1: %2.").arg(after, signalWords(run.code));
    case PlayRun::End::Unexpected:
        return QStringLiteral("The last run ended unexpectedly: its end was never recorded.");
    case PlayRun::End::Running:
        break;
    }
    return {};
}

QStringList playStatusLines(const PlayHistory& history)
{
    QStringList lines{QStringLiteral("Play time: %1").arg(clockText(history.playTimeMs / 1000)),
                      QStringLiteral("Runs: %1").arg(history.runs),
                      QStringLiteral("Last played: %1")
                          .arg(history.everPlayed() ? isoLocalTime(history.lastPlayed) : QStringLiteral("never"))};
    if (history.lastRun)
        lines << QStringLiteral("Last run: %1").arg(lastRunStatus(*history.lastRun));
    else if (!history.everPlayed())
        lines << QStringLiteral("Last run: none");
    return lines;
}
