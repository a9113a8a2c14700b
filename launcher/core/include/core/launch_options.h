// The player's launch options, kept in the INI group "launch" of the
// settings file beside the group "settings": a command wrapper and extra
// environment entries for the game, as Steam, Heroic, Lutris and Bottles
// offer them.
//
// The wrapper is a command template such as "gamemoderun %command%", split
// into words as QProcess::splitCommand does (double quotes group words;
// three double quotes stand for one). The word %command% stands for the
// game's executable and arguments; a wrapper without it is added after the
// game's arguments, as Steam does with launch options.
#pragma once

#include <QString>
#include <QStringList>

struct LaunchOptions {
    QString wrapper;         // empty: the game is run as it is
    QStringList environment; // "NAME=value" entries, over the profile's

    bool operator==(const LaunchOptions&) const = default;
};

// Reads the group "launch"; missing keys give empty options.
LaunchOptions loadLaunchOptions();

// Writes the group "launch" and syncs the file at once; false, with the
// system's reason in *whyNot, when the file could not be written.
bool saveLaunchOptions(const LaunchOptions& options, QString* whyNot = nullptr);

// The text PLAY refuses a wrapper with, or "" when it can be used.
QString wrapperProblem(const QString& wrapper);

// The whole command: the wrapper's words with the game's command in place
// of %command%, or the game's command followed by the wrapper's words. An
// empty or blank wrapper gives the game's command alone.
QStringList wrappedCommand(const QString& wrapper, const QStringList& gameCommand);
