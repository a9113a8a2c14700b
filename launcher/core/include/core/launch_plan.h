// Turning the profile, the user's settings and the window's folders into a
// complete launch: executable, arguments, environment, working folder, log
// folder and a printable command line. Building a plan touches no file.
#pragma once

#include <QString>
#include <QStringList>

struct GameProfile;
struct LauncherSettings;

struct LaunchPlan {
    QString exePath;
    QStringList arguments;
    QStringList environment; // "NAME=value" entries
    QString workingDir;
    QString dataRoot;        // base of the default logs folder
    QString logDir;
    QString commandLine;     // exePath and arguments, for people to read
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

LaunchPlan buildLaunchPlan(const GameProfile& profile, const LauncherSettings& settings,
                           const QString& gameRoot, const QString& dataRoot);
