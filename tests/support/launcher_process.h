// Running the built launcher as its own process, the way a user or Steam
// starts it: on a scratch home (HOME, its .config as XDG_CONFIG_HOME and its
// .runtime as XDG_RUNTIME_DIR),
// with no display, from a chosen working folder.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testing_support {

class ScratchHome;

struct LauncherRun {
    int exitStatus = -1; // -1 when it did not end normally
    QString out;
    QString err;
    qint64 pid = 0;
};

struct LauncherStart {
    QString workingFolder;          // default: the home
    QProcessEnvironment environment; // default: launcherEnvironment(home)
    QString program;                // default: the build's launcher
};

// The test's environment without a display, with the home's HOME,
// XDG_CONFIG_HOME and XDG_RUNTIME_DIR, and without XDG_STATE_HOME (so that
// the play journal is the home's), so that a launcher started by a test
// never meets the one of the user running the tests.
QProcessEnvironment launcherEnvironment(const ScratchHome& home);

// The home's runtime folder (made, for the user alone).
QString launcherRuntimeFolder(const ScratchHome& home);

// The settings file the launcher uses on that home.
QString launcherSettingsFile(const ScratchHome& home);

// Starts the launcher with these arguments in its own process group (so
// that a test can send a signal to it and its children, as a terminal does).
void startLauncher(QProcess& process, const ScratchHome& home, const QStringList& arguments,
                   LauncherStart start = {});

// Runs the launcher to its end (within a minute) and collects its output.
LauncherRun runLauncher(const ScratchHome& home, const QStringList& arguments, LauncherStart start = {});

} // namespace testing_support
