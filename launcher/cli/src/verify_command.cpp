// --verify and --repair: the Game tab's "Verify game files" and its Repair
// without their dialogs. The same jobs and texts; the verdict is the exit
// status, and Ctrl+C stops the job as Cancel does. Both run in their own
// process, never in a launcher that is already running.
#include "commands.h"

#include "cli/command_line.h"
#include "core/launcher_session.h"
#include "verify/verify_jobs.h"
#include "worker_job.h"

namespace cli {

namespace {

const QString kStoppingNotice =
    QStringLiteral("Stopping the verification once the files in progress are done (Ctrl+C again quits at once).");

// The game root in use, or "" after saying that there is none.
QString gameRootToVerify(CommandContext& context)
{
    context.session.resolveGameRoot();
    const QString root = context.session.gameRoot();
    if (root.isEmpty())
        context.err << "No game data found. Import the game first: orvello-launcher --import PATH" << '\n';
    return root;
}

// A job that could not run goes to standard error, a verdict to standard
// output.
int report(CommandContext& context, const QString& refusal, const QString& text, bool allGood)
{
    if (!refusal.isEmpty()) {
        context.err << refusal << '\n';
        return kExitFailed;
    }
    context.out << text << '\n';
    return allGood ? kExitSucceeded : kExitFailed;
}

} // namespace

int runVerify(CommandContext& context)
{
    const QString root = gameRootToVerify(context);
    if (root.isEmpty())
        return kExitFailed;
    VerifyRun run;
    runWorkerJob([&](const ProgressFn& progress) { run = runVerification(root, context.session.profile(), progress); },
                 context.err, kStoppingNotice);
    return report(context, run.refusal, run.text(), run.report.allGood());
}

int runRepair(CommandContext& context)
{
    const QString root = gameRootToVerify(context);
    if (root.isEmpty())
        return kExitFailed;
    VerifyAndRepairRun run;
    runWorkerJob([&](const ProgressFn& progress) { run = runVerifyAndRepair(root, context.session.profile(), progress); },
                 context.err, kStoppingNotice);
    if (run.repairTried)
        context.session.refreshStatus(); // a repaired default.xex changes it
    return report(context, run.verify.refusal, run.text(), run.allGood());
}

} // namespace cli
