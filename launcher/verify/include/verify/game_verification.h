// Verifying a game folder: every file its manifest lists (see
// import/game_manifest.h) against its SHA-256, hashed on every core; that
// none of them is still compressed; its default.xex and title; and the
// program set PLAY would use. Also recording the checksums of a folder that
// has none ("Record them now").
#pragma once

#include "core/game_profile.h"
#include "import/file_hashing.h"
#include "verify/verify_report.h"

#include <QString>
#include <QStringList>

// Stops, with report.stopped set, when the calling thread is asked to
// (QThread::requestInterruption). Progress counts the manifest's files and
// bytes.
VerifyReport verifyGameFolder(const QString& root, const GameProfile& profile, const HashProgressFn& progress = {});

// What keeps the game from starting apart from its files' checksums: a
// missing or foreign default.xex, program files that are missing, not
// regular files or not executable, and (when the folder has no manifest)
// content files still compressed. One sentence or listed line each.
QStringList gameFolderProblems(const QString& root, const GameProfile& profile, bool withoutManifest);

// Hashes every file of the game data as it is now into a new manifest; no
// source is recorded. Refuses a folder without default.xex or with content
// still compressed, whose checksums would be wrong from the start.
bool recordChecksums(const QString& root, QString* error = nullptr);
