// Starting the game from a launch plan: the log folder and the command
// record, the program-file checks, the game's environment, and the start,
// detached or in the launcher's place. A detached game is never watched.
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

struct LaunchPlan;

// Name of the record of the latest launch command, in the log folder.
inline constexpr char kLastCommandFileName[] = "last-command.txt";

enum class GameStart {
    // The launcher goes on; the game runs on its own.
    Detached,
    // The game takes over the launcher's process (exec), so that whoever
    // started the launcher (a terminal, Steam) sees the game until it ends,
    // and its exit status. Returns only when the start failed.
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

// The one place where the game's process is started. The program is looked
// for in the PATH of the process's environment when it names no folder.
bool startGameProcess(const GameProcess& process, GameStart start);

// Returns true when the game process was started; otherwise *error (when
// given) receives the reason, possibly over several lines.
bool launchGame(const LaunchPlan& plan, QString* error = nullptr, GameStart start = GameStart::Detached);
