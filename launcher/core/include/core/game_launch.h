// Starting the game from a launch plan: the log folder and the command
// record, the program-file checks, the game's environment, and the detached
// start. The game is never watched afterwards.
#pragma once

#include <QString>

struct LaunchPlan;

// Name of the record of the latest launch command, in the log folder.
inline constexpr char kLastCommandFileName[] = "last-command.txt";

// Returns true when the game process was started; otherwise *error (when
// given) receives the reason, possibly over several lines.
bool launchGame(const LaunchPlan& plan, QString* error = nullptr);
