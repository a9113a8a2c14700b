// The verify, the repair and the recording of checksums as jobs for the
// window and the command line: each runs on the calling thread (a worker),
// holds the root's GameFolderLock while it reads or writes (a root another
// import or verification is using is refused), reports progress in the
// imports' form for their dialog and progress line, and stops when the
// calling thread is asked to.
#pragma once

#include "core/game_profile.h"
#include "import/import_progress.h"
#include "verify/game_repair.h"
#include "verify/verify_report.h"

#include <QString>

struct VerifyRun {
    QString refusal;              // the job did not run: why, as a sentence
    VerifyReport report;
    RepairSourceCheck repairSource; // checked only when files do not match

    // Whether a repair can be offered: files do not match and the recorded
    // source is still there, unchanged.
    bool canRepair() const { return refusal.isEmpty() && report.needsRepair() && repairSource.usable; }
    // The report's text; when files do not match but the source cannot
    // repair them, the reason follows it.
    QString text() const;
};

// Checks root against its manifest ("Checking <file>", "N of M" files, their
// bytes).
VerifyRun runVerification(const QString& root, const GameProfile& profile, const ProgressFn& progress = {});

// Repairs what before (a verify of root) found, with the repair's own
// progress steps.
RepairResult runRepair(const QString& root, const GameProfile& profile, const VerifyReport& before,
                       const ProgressFn& progress = {});

// A verify, then, when it can, a repair, under one hold of the lock.
struct VerifyAndRepairRun {
    VerifyRun verify;
    bool repairTried = false;
    RepairResult repair;

    bool allGood() const;
    QString text() const;
};
VerifyAndRepairRun runVerifyAndRepair(const QString& root, const GameProfile& profile, const ProgressFn& progress = {});

// "Record them now": the checksums of the folder as it is, under the lock.
bool runRecordChecksums(const QString& root, QString* error = nullptr);
