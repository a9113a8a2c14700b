// Finding the game's program files: the executable and its two runtime
// libraries, which only work when all three lie in one folder.
#pragma once

#include <QString>
#include <QStringList>

struct GameProfile;

struct ProgramFilesResult {
    bool found = false;
    QString programDir;   // the folder holding the whole set, as in `searched`
    QString exePath;      // the executable in that folder
    QStringList searched; // every folder examined, in order
    QStringList partial;  // "%1 (missing %2)" for folders with the exe but not the set
};

// The executable's name, then the profile's runtime libraries.
QStringList programSet(const GameProfile& profile);

// Looks in the game root, the launcher's folder and every game root the
// data search finds, and stops at the first folder holding the whole set.
ProgramFilesResult findProgramFiles(const GameProfile& profile, const QString& gameRoot);

// The same with the remembered game root given by the caller: it reads no
// settings, so it may run on any thread.
ProgramFilesResult findProgramFiles(const GameProfile& profile, const QString& gameRoot,
                                    const QString& rememberedRoot);
