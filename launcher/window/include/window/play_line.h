// PlayLine: the Game tab's line about the game under the status line —
// "Running since 14:02" while a run is going, otherwise the play time and
// when the game was last played, or "Not played yet" — and, when the last
// run ended with an error code or a signal, that outcome in words with
// "Open log" and "Show log". It follows the session's play journal as the
// supervisors write to it (core/play_journal_watch.h), compacts the journal
// once when it opens, and lets a PLAY clear the last outcome.
#pragma once

#include "core/play_journal.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

class LauncherSession;
class PlayJournalWatch;
class QLabel;
class QPushButton;
struct LaunchOutcome;

class PlayLine : public QWidget {
    Q_OBJECT

public:
    PlayLine(LauncherSession& session, QWidget* parent = nullptr);

    // The game's log file for the settings in force.
    QString gameLogPath() const;

    using Clock = std::function<QDateTime()>;
    // Replaces the wall clock (a test's turn of the day); shows the line
    // again by it.
    void setClock(Clock clock);

private:
    void showHistory(const PlayHistory& history);
    void scheduleDayChange();
    void launchAttempted(const LaunchOutcome& outcome);
    void openLog();
    void showLog();

    LauncherSession& session;
    PlayJournalWatch* watch = nullptr;
    QLabel* summaryLabel = nullptr;
    QWidget* outcomeRow = nullptr;
    QLabel* outcomeLabel = nullptr;
    // The last run when PLAY was last pressed: its outcome is no longer shown.
    std::optional<supervisor::RunIdentity> dismissedRun;
    Clock clock = &QDateTime::currentDateTime;
    QTimer dayChange; // fires just after the next midnight
};
