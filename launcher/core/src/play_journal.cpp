// Reading and compacting the play journal.
#include "core/play_journal.h"

#include "core/failure.h"
#include "core/game_profile.h"
#include "supervisor/journal_file.h"
#include "supervisor/process_identity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtNumeric>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

namespace {

using supervisor::JournalRecord;
using supervisor::RunEnd;
using supervisor::RunStart;
using supervisor::RunTotals;

// A run as its lines gave it: the start and, once it ended, the end.
struct JournalRun {
    RunStart start;
    std::optional<RunEnd> end;
};

struct JournalContents {
    std::vector<JournalRun> runs; // in the order of their start lines
    RunTotals totals;             // of the totals lines, plus the time of end lines without a start
};

qint64 addSaturated(qint64 a, qint64 b)
{
    qint64 sum = 0;
    return qAddOverflow(a, b, &sum) ? std::numeric_limits<qint64>::max() : sum;
}

void addTotals(RunTotals& into, const RunTotals& more)
{
    into.runs = addSaturated(into.runs, more.runs);
    into.playMs = addSaturated(into.playMs, more.playMs);
    into.lastWallMs = std::max(into.lastWallMs, more.lastWallMs);
}

// Calls take(line) for every line that ends with "\n" and is no longer than
// the format's longest line. Longer lines are skipped whole, and so is a last
// line without "\n": a run being written or cut short by a crash.
template <typename Take>
void forEachCompleteLine(QIODevice& device, Take take)
{
    QByteArray buffer(qsizetype(supervisor::kMaximumLineLength) + 2, Qt::Uninitialized);
    bool insideLongLine = false;
    for (;;) {
        const qint64 got = device.readLine(buffer.data(), buffer.size());
        if (got <= 0)
            return;
        const bool complete = buffer.at(got - 1) == '\n';
        if (complete && !insideLongLine)
            take(std::string_view(buffer.constData(), size_t(got - 1)));
        insideLongLine = !complete;
    }
}

JournalContents parseJournal(QIODevice& device)
{
    // A run is known by its supervisor, during one boot.
    using RunKey = std::tuple<std::string, long, unsigned long long>;
    const auto keyOf = [](const supervisor::RunIdentity& run) {
        return RunKey{run.bootId, run.supervisor.pid, run.supervisor.startTicks};
    };
    JournalContents contents;
    std::map<RunKey, std::size_t> runByKey;
    std::map<RunKey, RunEnd> endByKey;
    forEachCompleteLine(device, [&](std::string_view line) {
        const std::optional<JournalRecord> record = supervisor::parseLine(line);
        if (!record)
            return;
        if (const auto* start = std::get_if<RunStart>(&*record)) {
            if (runByKey.emplace(keyOf(start->run), contents.runs.size()).second)
                contents.runs.push_back(JournalRun{*start, std::nullopt});
        } else if (const auto* end = std::get_if<RunEnd>(&*record)) {
            endByKey.emplace(keyOf(end->run), *end);
        } else {
            addTotals(contents.totals, std::get<RunTotals>(*record));
        }
    });
    for (const auto& [key, end] : endByKey) {
        const auto run = runByKey.find(key);
        // An end without its start (the start could not be written) adds
        // its time; without a start time it does not count as a run.
        if (run != runByKey.end())
            contents.runs[run->second].end = end;
        else
            contents.totals.playMs = addSaturated(contents.totals.playMs, end.durationMs);
    }
    return contents;
}

PlayRun playRunOf(const JournalRun& run, const RunCheck& stillRuns)
{
    PlayRun play;
    play.identity = run.start.run;
    play.started = QDateTime::fromMSecsSinceEpoch(run.start.wallMs);
    play.gameRoot = QFile::decodeName(QByteArray::fromStdString(run.start.gameRoot));
    if (run.end) {
        play.end = run.end->kind == supervisor::RunEndKind::Signalled ? PlayRun::End::Signalled
                                                                      : PlayRun::End::Exited;
        play.code = run.end->code;
        play.durationMs = run.end->durationMs;
    } else {
        play.end = stillRuns(run.start.run) ? PlayRun::End::Running : PlayRun::End::Unexpected;
    }
    return play;
}

PlayHistory historyOf(const JournalContents& contents, const RunCheck& stillRuns)
{
    PlayHistory history;
    history.playTimeMs = contents.totals.playMs;
    history.runs = contents.totals.runs;
    qint64 lastWallMs = contents.totals.lastWallMs;
    for (const JournalRun& run : contents.runs) {
        const PlayRun play = playRunOf(run, stillRuns);
        history.playTimeMs = addSaturated(history.playTimeMs, play.durationMs);
        history.runs = addSaturated(history.runs, 1);
        lastWallMs = std::max(lastWallMs, run.start.wallMs);
        if (play.end == PlayRun::End::Running)
            history.running << play;
        history.lastRun = play;
    }
    if (history.runs > 0)
        history.lastPlayed = QDateTime::fromMSecsSinceEpoch(lastWallMs);
    return history;
}

// The compacted journal: the totals of every run that ended, except the
// last one, then the lines of the last run and of the runs still going.
QByteArray compactedJournal(const JournalContents& contents, const RunCheck& stillRuns)
{
    RunTotals folded = contents.totals;
    std::string kept;
    for (std::size_t i = 0; i < contents.runs.size(); ++i) {
        const JournalRun& run = contents.runs[i];
        const bool last = i + 1 == contents.runs.size();
        if (last || (!run.end && stillRuns(run.start.run))) {
            kept += supervisor::formatLine(run.start);
            if (run.end)
                kept += supervisor::formatLine(*run.end);
            continue;
        }
        addTotals(folded, RunTotals{1, run.end ? run.end->durationMs : 0, run.start.wallMs});
    }
    return QByteArray::fromStdString(supervisor::formatLine(folded) + kept);
}

QString compactionFailure(const QString& journalPath, const QString& reason)
{
    return QStringLiteral("Cannot compact the play journal %1: %2").arg(journalPath, reason);
}

} // namespace

QString playJournalPath(const GameProfile& profile)
{
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(stateHome))
        stateHome = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(stateHome).filePath(profile.organizationName + QLatin1Char('/') + profile.windowTitle +
                                    QStringLiteral("/play-journal"));
}

bool supervisorStillRuns(const supervisor::RunIdentity& run)
{
    static const std::string currentBootId = supervisor::readBootId();
    return supervisor::isStillRunning(run.supervisor, run.bootId, currentBootId);
}

PlayHistory readPlayHistory(const QString& journalPath, const RunCheck& stillRuns)
{
    QFile journal(journalPath);
    if (!journal.open(QIODevice::ReadOnly))
        return {};
    return historyOf(parseJournal(journal), stillRuns);
}

bool compactPlayJournal(const QString& journalPath, qint64 sizeLimit, QString* error, const RunCheck& stillRuns)
{
    const QFileInfo info(journalPath);
    if (!info.exists() || info.size() <= sizeLimit)
        return true;
    std::string reason;
    const int fd = supervisor::openLockedJournal(QFile::encodeName(journalPath).toStdString(), O_RDONLY,
                                                 supervisor::JournalLock::Exclusive, &reason);
    if (fd < 0)
        return fail(error, compactionFailure(journalPath, QString::fromStdString(reason)));
    // Closing it (when this function returns, after the rename) releases the lock.
    QFile locked;
    if (!locked.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(error, compactionFailure(journalPath, locked.errorString()));
    }
    if (locked.size() <= sizeLimit)
        return true; // another launcher compacted it while this one waited for the lock
    const QByteArray compacted = compactedJournal(parseJournal(locked), stillRuns);

    QSaveFile replacement(journalPath);
    if (!replacement.open(QIODevice::WriteOnly) || replacement.write(compacted) != compacted.size() ||
        !replacement.commit())
        return fail(error, compactionFailure(journalPath, replacement.errorString()));
    return true;
}
