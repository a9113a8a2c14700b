// Whether the game can be started: the game data in use and where the
// game's program files lie. A plain value computed from the profile and the
// game root alone, so that it can be worked out on any thread; the window's
// status rows and the command line's --status lines are views of it.
#pragma once

#include "core/program_files.h"

#include <QString>

struct GameProfile;

struct ReadinessStatus {
    enum class Readiness {
        NotFound,             // no game data known, or its folder is gone
        ProgramFilesNotFound, // game data, but no folder holds the whole program set
        Ready,
    };

    Readiness readiness = Readiness::NotFound;
    QString gameRoot;                // as the session holds it (not cleaned)
    ProgramFilesResult programFiles; // the search's result; empty while NotFound

    bool isReady() const { return readiness == Readiness::Ready; }
    // Ready with the program files in the game root itself (paths compared
    // cleaned, so a trailing separator does not matter).
    bool programFilesInGameRoot() const;
};

// The status for a game root ("" for none). A game root that is no longer a
// folder (deleted, or on a drive no longer mounted) is not found. The program
// files are looked for only when there is a game root; the game root stands
// for the remembered one, which it is wherever a session holds it, so no
// settings are read.
ReadinessStatus readinessStatus(const GameProfile& profile, const QString& gameRoot);
