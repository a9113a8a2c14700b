// The constant description of the one game this launcher serves: its names,
// title ID, fixed runtime switches, theme and environment, the runtime
// libraries and shared-memory files of its program, and the folder names the
// launcher makes for it. Serving another
// game means changing this record and the theme resource, not the code.
#pragma once

#include <QString>
#include <QStringList>

struct GameProfile {
    QString displayName;     // shown in the readiness texts
    QString gameKey;         // file name of the game executable
    QString titleId;         // eight upper-case hexadecimal digits
    QStringList extraArgs;   // placed first on the game's command line
    QString accentColor;     // substituted into the style sheet
    QString windowTitle;     // application name and window title
    QString styleSheetPath;  // themed style sheet resource
    QStringList environment; // "NAME=value" entries set for the game
    QString organizationName;      // with windowTitle, names the settings file
    QStringList runtimeLibraries;  // must lie beside the executable
    QString sharedMemoryPrefix;    // of the runtime's files in /dev/shm
    QString preparedCopyFolderName; // folder a prepared copy of the game data is made in
};

// The single process-wide profile, built on first use.
const GameProfile& gameProfile();
