// The constant description of the one game this launcher serves: its names,
// title ID, fixed runtime switches, theme and environment. Serving another
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
};

// The single process-wide profile, built on first use.
const GameProfile& gameProfile();
