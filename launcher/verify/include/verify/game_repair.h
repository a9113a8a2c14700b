// Repairing a game folder whose files do not match their checksums: when the
// source its import recorded is still there, unchanged in size and time, and
// (a package) still opens, only the files that do not match are extracted
// from the package again or copied from the source folder, decoded where
// they need it, checked against the manifest and put in place with one
// atomic rename each, then verified again.
#pragma once

#include "core/game_profile.h"
#include "import/game_manifest.h"
#include "import/import_progress.h"
#include "verify/verify_report.h"

#include <QString>

struct RepairSourceCheck {
    bool usable = false;
    QString reason;  // why not, as a sentence that says what to do
    game_manifest::Source source;
};

// Whether the folder's recorded source can repair it.
RepairSourceCheck checkRepairSource(const QString& root);

struct RepairResult {
    bool stopped = false;  // asked to stop before it ended
    QString refusal;       // why the source cannot be used, or "Repair failed:\n<why>"
    int repaired = 0;      // files put back
    VerifyReport after;    // the verify's findings once the repaired files were checked again

    bool allGood() const { return !stopped && refusal.isEmpty() && after.allGood(); }
    // "Repaired N files.", or what is still wrong (or why nothing was done).
    QString text() const;
};

// Repairs the mismatches of before (a verify of root). Reports progress as
// the imports do ("Extracting …", "Copying …", "Decompressing …",
// "Checking …"); stops between files when the calling thread is asked to.
// Works in root/.orvello/repair, which it removes again.
RepairResult repairGameFolder(const QString& root, const GameProfile& profile, const VerifyReport& before,
                              const ProgressFn& progress = {});
