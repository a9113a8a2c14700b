// The words for the play journal's history (core/play_journal.h): the Game
// tab's line about the game and its last run's outcome, and the lines of
// --status. Pure functions of the history (and the time now), so that every
// text is tested as a table.
#pragma once

#include "core/play_journal.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// A run's duration: "<s> s" under a minute, "<h>:<mm>:<ss>" from a minute
// (rounded to the second).
QString runDurationText(qint64 ms);

// The C library's English name of a signal ("Segmentation fault" for 11),
// or "unknown signal".
QString signalDescription(int signal);

// The Game tab's line under the status: "Running since 14:02" while a run
// is going, otherwise "Played 12 h 40 min · last played today", or "Not
// played yet".
QString playSummaryText(const PlayHistory& history, const QDateTime& now);

// How the last run ended, when that is worth telling: "The last run ended
// after 4 s: exit code 3.", "The last run ended after 2 s: signal 11
// (Segmentation fault).", or that it ended unexpectedly; empty for a run
// still going, one that ended with exit code 0, or none.
QString lastRunOutcomeText(const PlayHistory& history);

// The lines --status prints about play: "Play time: <h>:<mm>:<ss>",
// "Runs: <n>", "Last played: <ISO 8601 local time>" (or "never") and
// "Last run: " with how it ended.
QStringList playStatusLines(const PlayHistory& history);
