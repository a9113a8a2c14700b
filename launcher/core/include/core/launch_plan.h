// Turning the profile, the user's settings and launch options and the
// session's folders into a complete launch: executable, arguments, the whole
// command (the wrapper included), environment, working folder, log folder
// and a printable command line. Building a plan touches no file.
#pragma once

#include "core/launch_options.h"

#include <QString>
#include <QStringList>

struct GameProfile;
struct LauncherSettings;
struct ProgramFilesResult;

struct LaunchPlan {
    QString exePath;
    QStringList arguments;   // the game's own
    QStringList command;     // what is run: the wrapper's words around exePath and arguments
    QString commandProblem;  // why the command cannot be run (the wrapper's), or ""
    QStringList environment; // "NAME=value" entries: the profile's, then the player's
    QString workingDir;
    QString dataRoot;        // base of the default logs folder
    QString logDir;
    QString commandLine;     // the whole command, for people to read
    QStringList programSet;
    bool programFilesFound = false;
    QString programDir;
    QStringList searched;
    QStringList partial;
};

// The runtime's anisotropic filtering level for a filtering factor:
// -1 for 0 or less, otherwise min(floor(log2 v), 4) + 1.
int anisotropicLevel(int factor);

// The printable command: the executable, then every argument, arguments
// holding a space wrapped in double quotes, joined with single spaces.
QString printableCommandLine(const QString& exePath, const QStringList& arguments);

// Looks for the program files (findProgramFiles) and builds the plan.
LaunchPlan buildLaunchPlan(const GameProfile& profile, const LauncherSettings& settings,
                           const QString& gameRoot, const QString& dataRoot, const LaunchOptions& options = {});

// The same with the result of a program-files search made already, for a
// plan that is only shown.
LaunchPlan buildLaunchPlan(const GameProfile& profile, const LauncherSettings& settings,
                           const QString& gameRoot, const QString& dataRoot, const LaunchOptions& options,
                           const ProgramFilesResult& programFiles);
