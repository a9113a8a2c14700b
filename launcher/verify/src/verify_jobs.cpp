// The verify jobs: the folder checked, the lock taken, the engine's work and
// its progress put in the imports' form.
#include "verify/verify_jobs.h"

#include "core/failure.h"
#include "import/game_folder_lock.h"
#include "verify/game_verification.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

// Why the job cannot run on root, or "" once the lock is held. Nothing is
// created for a folder that is gone: the lock would make it again.
QString takeLock(const QString& root, GameFolderLock* lock)
{
    if (!QFileInfo(root).isDir())
        return QStringLiteral("Game data not found: %1").arg(root);
    if (lock->acquire() == GameFolderLock::Outcome::Busy)
        return lock->busyMessage();
    return QString();
}

// The hashing's reports as the Checking step of one bar.
HashProgressFn checkingProgress(const QString& root, const ProgressFn& progress)
{
    if (!progress)
        return {};
    auto steps = std::make_shared<StepWeights>(QList<qint64>{1});
    return [root, progress, steps](const HashProgress& hashed) {
        ImportProgress report{ImportStep::Checking, hashed.filesDone, hashed.filesTotal, hashed.bytesDone,
                              hashed.bytesTotal,
                              hashed.currentFile.isEmpty()
                                  ? QString()
                                  : QStringLiteral("Checking %1").arg(QDir(root).relativeFilePath(hashed.currentFile))};
        report.jobShare = steps->jobShare(0, report);
        progress(report);
    };
}

// The repair's steps (fetching, decoding, checking) as parts of one bar.
ProgressFn repairProgress(const ProgressFn& progress)
{
    if (!progress)
        return {};
    auto steps = std::make_shared<StepWeights>(QList<qint64>{1, 1, 1});
    return [progress, steps](const ImportProgress& report) {
        const int step = report.step == ImportStep::Decompressing ? 1 : report.step == ImportStep::Checking ? 2 : 0;
        ImportProgress withShare = report;
        withShare.jobShare = steps->jobShare(step, report);
        progress(withShare);
    };
}

VerifyRun verifyHeld(const QString& root, const GameProfile& profile, const ProgressFn& progress)
{
    VerifyRun run;
    run.report = verifyGameFolder(root, profile, checkingProgress(root, progress));
    if (!run.report.stopped && run.report.needsRepair())
        run.repairSource = checkRepairSource(root);
    return run;
}

} // namespace

QString VerifyRun::text() const
{
    if (!refusal.isEmpty())
        return refusal;
    if (report.needsRepair() && !report.stopped && !repairSource.usable && !repairSource.reason.isEmpty())
        return report.text() + QStringLiteral("\n\n") + repairSource.reason;
    return report.text();
}

VerifyRun runVerification(const QString& root, const GameProfile& profile, const ProgressFn& progress)
{
    GameFolderLock lock(root);
    if (QString refusal = takeLock(root, &lock); !refusal.isEmpty())
        return VerifyRun{refusal, {}, {}};
    return verifyHeld(root, profile, progress);
}

RepairResult runRepair(const QString& root, const GameProfile& profile, const VerifyReport& before,
                       const ProgressFn& progress)
{
    GameFolderLock lock(root);
    if (QString refusal = takeLock(root, &lock); !refusal.isEmpty()) {
        RepairResult result;
        result.after = before;
        result.refusal = refusal;
        return result;
    }
    return repairGameFolder(root, profile, before, repairProgress(progress));
}

bool VerifyAndRepairRun::allGood() const
{
    if (!verify.refusal.isEmpty())
        return false;
    return repairTried ? repair.allGood() : verify.report.allGood();
}

QString VerifyAndRepairRun::text() const
{
    if (!repairTried)
        return verify.text();
    return verify.text() + QStringLiteral("\n\n") + repair.text();
}

VerifyAndRepairRun runVerifyAndRepair(const QString& root, const GameProfile& profile, const ProgressFn& progress)
{
    VerifyAndRepairRun run;
    GameFolderLock lock(root);
    if (QString refusal = takeLock(root, &lock); !refusal.isEmpty()) {
        run.verify.refusal = refusal;
        return run;
    }
    run.verify = verifyHeld(root, profile, progress);
    if (!run.verify.canRepair())
        return run;
    run.repairTried = true;
    run.repair = repairGameFolder(root, profile, run.verify.report, repairProgress(progress));
    return run;
}

bool runRecordChecksums(const QString& root, QString* error)
{
    GameFolderLock lock(root);
    if (QString refusal = takeLock(root, &lock); !refusal.isEmpty())
        return fail(error, refusal);
    return recordChecksums(root, error);
}
