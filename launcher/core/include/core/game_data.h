// Finding, checking and remembering the game data folder (the game root).
//
// A game root holds the executable image "default.xex" directly or in its
// subfolder "gamedata". A folder belongs to the served title unless the
// image's XEX2 header carries a readable title ID that differs from the
// profile's. Searches look in ~/Games, /mnt/*/Games, /media/<user>/*/Games
// (one level deep) and near the launcher itself.
#pragma once

#include <QString>
#include <QStringList>

class QIODevice;
struct GameProfile;

// Reads the title ID from an XEX2 image as eight upper-case hexadecimal
// digits, or an empty string when the header does not yield one.
QString readXexTitleId(QIODevice& image);

// Whether the folder is a game root of the served title.
bool checkGameTitle(const GameProfile& profile, const QString& folder);

// The check used by the searches: the path exists, lies outside the system
// temporary folder and passes checkGameTitle.
bool isGameRootCandidate(const GameProfile& profile, const QString& path);

// The folders below which game data is looked for, in search order.
QStringList searchBaseFolders();

// The first game root the search finds, as a canonical path, or "".
QString findGameRoot(const GameProfile& profile);

// Every game root found: the remembered one first, then the search's hits.
QStringList findAllGameRoots(const GameProfile& profile);

// The same with the remembered root given by the caller (as
// rememberedGameRoot gives it, or "" for none): it reads no settings, so it
// may run on any thread.
QStringList findAllGameRoots(const GameProfile& profile, const QString& rememberedRoot);

// The remembered root as stored, whether or not it still holds the game.
QString storedGameRoot(const GameProfile& profile);

// The remembered root when it still passes the title check, else "".
QString rememberedGameRoot(const GameProfile& profile);

// Stores the folder as the remembered root and syncs the settings file.
void rememberGameRoot(const GameProfile& profile, const QString& folder);

// The game root to use at start-up: the remembered one, else the first one
// found (which is then remembered), else "".
QString resolveGameRoot(const GameProfile& profile);
