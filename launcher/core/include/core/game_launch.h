// Starting the game from a launch plan: the log folder and the command
// record, the program-file checks, the game's environment, and the start,
// detached or in the launcher's place, under the supervisor that records the
// run when there is one (core/run_supervisor.h). The launcher never waits
// for the game: what becomes of it is read from the play journal.
#pragma once

#include "core/run_supervisor.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct LaunchPlan;

// Name of the record of the latest launch command, in the log folder.
inline constexpr char kLastCommandFileName[] = "last-command.txt";

enum class GameStart {
    // The launcher goes on; the game (and its supervisor) run on their own.
    Detached,
    // The game takes over the launcher's process (exec), so that whoever
    // started the launcher (a terminal, Steam) sees the game until it ends,
    // and its exit status. With a supervisor, the supervisor takes the
    // process and runs the game as its child, and ends with the game's
    // status (128 + the signal that killed it). Returns only when the start
    // failed.
    ReplacingLauncher,
};

// The process PLAY starts: the plan's command with the game's environment,
// which only the game gets: the launcher's own environment never changes.
struct GameProcess {
    QString program;
    QStringList arguments;
    QString workingDir;
    QProcessEnvironment environment;
};

// The launcher's environment with the plan's entries set over it ("NAME=value";
// an entry without a name or without "=" is skipped; a later entry wins).
QProcessEnvironment gameEnvironment(const QStringList& entries);

// The process for a plan: its whole command (or, for a plan without one,
// the executable and its arguments) with the game's environment.
GameProcess gameProcess(const LaunchPlan& plan);

// The one place where the game's process is started: under the recording's
// supervisor when it has one, directly (unrecorded) when it has none or its
// supervisor cannot do its part. The program is looked for in the PATH of
// the process's environment when it names no folder, and must be an
// executable file. Returns false when the game could not be started; *reason
// (when given) then receives what the supervisor learnt of why, or "".
bool startGameProcess(const GameProcess& process, GameStart start, const RunRecording& recording = {},
                      QString* reason = nullptr);

// Returns true when the game process was started; otherwise *error (when
// given) receives the reason, possibly over several lines.
bool launchGame(const LaunchPlan& plan, QString* error = nullptr, GameStart start = GameStart::Detached,
                const RunRecording& recording = {});
