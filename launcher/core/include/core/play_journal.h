// The play journal, read and compacted: orvello-run appends a line when a
// run of the game starts and one when it ends (the format is in
// supervisor/journal_format.h); from those the launcher learns whether the
// game runs now, the play time, the number of runs, when the game was last
// played and how its last run ended.
//
// The journal is untrusted input: lines cut short (a run being written, or a
// crash), damaged or unknown are skipped, and numbers add up without
// overflowing.
#pragma once

#include "supervisor/journal_format.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

struct GameProfile;

// The journal file: "<XDG_STATE_HOME>/<organisation>/<application>/play-journal",
// with XDG_STATE_HOME "~/.local/state" when it is unset or not absolute.
QString playJournalPath(const GameProfile& profile);

struct PlayRun {
    enum class End {
        Running,    // no end line yet, and its supervisor still runs
        Exited,     // code is the exit code
        Signalled,  // code is the signal number
        Unexpected, // no end line, and its supervisor is gone: it was killed or the machine stopped
    };
    supervisor::RunIdentity identity;
    QDateTime started; // local time
    QString gameRoot;
    End end = End::Running;
    int code = 0;
    qint64 durationMs = 0; // CLOCK_MONOTONIC time; 0 unless ended with an end line
};

struct PlayHistory {
    qint64 playTimeMs = 0; // the durations of all runs that ended with an end line
    qint64 runs = 0;       // every run that started, however it ended
    QDateTime lastPlayed;  // start of the latest run (local time); invalid when never played
    std::optional<PlayRun> lastRun; // the run that started last, when its lines are still in the journal
    QList<PlayRun> running;         // in the order they started

    bool everPlayed() const { return runs > 0; }
};

// Tells whether the supervisor of a run without an end line still runs.
using RunCheck = std::function<bool(const supervisor::RunIdentity&)>;

// Looks at /proc: the run's supervisor is alive, during the same boot, with
// the start time it recorded.
bool supervisorStillRuns(const supervisor::RunIdentity& run);

// Reads the journal; a missing or unreadable one reads as never played.
PlayHistory readPlayHistory(const QString& journalPath, const RunCheck& stillRuns = supervisorStillRuns);

// Size above which compactPlayJournal rewrites the journal: some 200 runs.
inline constexpr qint64 kPlayJournalCompactionBytes = 64 * 1024;

// When the journal is larger than sizeLimit, rewrites it as one totals line
// that holds every ended run except the last one, followed by the lines of
// the last run and of the runs still going, unchanged. The new journal
// replaces the old one in one rename, under the journal's exclusive lock
// (supervisor/journal_file.h), so a line that a supervisor appends meanwhile
// is never lost. Returns true when the journal is small enough or was
// compacted; otherwise false with *error saying why (the journal is then
// left as it was).
bool compactPlayJournal(const QString& journalPath, qint64 sizeLimit = kPlayJournalCompactionBytes,
                        QString* error = nullptr, const RunCheck& stillRuns = supervisorStillRuns);
