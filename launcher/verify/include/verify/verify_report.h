// VerifyReport: what a verify of a game folder found, and the one message
// that tells the player: "All N files match.", the files that do not, or that
// no checksums were recorded; then whatever else keeps the game from
// starting (its image, its title, its program files).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct FileMismatch {
    enum class Kind { Damaged, Missing, StillCompressed };
    QString path;  // relative to the game root, as in the manifest
    Kind kind = Kind::Damaged;
    bool operator==(const FileMismatch&) const = default;
};

struct VerifyReport {
    bool stopped = false;         // the verify was asked to stop before it ended
    bool hasManifest = false;     // the folder has checksums to check against
    QString manifestError;        // they exist but cannot be read
    qint64 filesChecked = 0;      // files the manifest lists
    QList<FileMismatch> mismatches;  // in manifest order
    QStringList otherProblems;    // one sentence each, in the order found

    // Everything matches and nothing else is wrong.
    bool allGood() const;
    // The files do not match, and a repair could bring them back.
    bool needsRepair() const { return !mismatches.isEmpty(); }
    QString text() const;
};

// The lines listed before "…and N more.".
constexpr int kListedMismatches = 20;
