// The launcher's command line: with any argument the launcher runs one
// command on a LauncherSession instead of opening its window. Every command
// works without a display.
//   --status               readiness, one "Key: value" line each
//   --play                 PLAY with the saved settings; the game takes the launcher's place
//   --import PATH          a package (file) or an extracted folder, as the window imports it
//     [--into FOLDER]
//   --verify               the game's files against their checksums; 0 when all match
//   --repair               --verify, then the files that do not match fetched again
//   --help, --version
// The commands are a table (commands.cpp): a new command is a new row.
#pragma once

#include <QString>
#include <QStringList>

// Exit statuses besides a command's own: 0 done, 1 failed, 2 a usage error.
inline constexpr int kExitSucceeded = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CommandLineOutcome {
    int exitStatus = kExitSucceeded;
    // A failure to show on the desktop too, for players without a terminal
    // (Steam's Game Mode); empty for none.
    QString desktopNotice;
};

// Whether the launcher was started with arguments (argc counts the
// program's name too), for the command line rather than the window.
bool wantsCommandLine(int argc);

// Parses the arguments (the program's name first) and runs the command.
// Needs a QCoreApplication named by configureApplication.
CommandLineOutcome runCommandLine(const QStringList& arguments);
