// --status: the readiness of the game, then its play time and last run,
// as "Key: value" lines.
#include "commands.h"
#include "status_lines.h"

#include "cli/command_line.h"
#include "core/launcher_session.h"
#include "core/play_journal.h"
#include "core/play_texts.h"

namespace cli {

namespace {

QString readinessWord(const ReadinessStatus& status)
{
    switch (status.readiness) {
    case ReadinessStatus::Readiness::NotFound:
        return QStringLiteral("not found");
    case ReadinessStatus::Readiness::ProgramFilesNotFound:
        return QStringLiteral("program files not found");
    case ReadinessStatus::Readiness::Ready:
        break;
    }
    return QStringLiteral("ready");
}

} // namespace

const QList<StatusLine>& statusLines()
{
    static const QList<StatusLine> table{
        {"Status", [](const LauncherSession&, const ReadinessStatus& status) { return readinessWord(status); }},
        {"Game data", [](const LauncherSession&, const ReadinessStatus& status) { return status.gameRoot; }},
        {"Program files",
         [](const LauncherSession&, const ReadinessStatus& status) { return status.programFiles.programDir; }},
    };
    return table;
}

int runStatus(CommandContext& context)
{
    context.session.resolveGameRoot();
    const ReadinessStatus& status = context.session.refreshStatus();
    for (const StatusLine& line : statusLines()) {
        const QString value = line.value(context.session, status);
        if (!value.isEmpty())
            context.out << line.key << ": " << value << '\n';
    }
    for (const QString& line : playStatusLines(readPlayHistory(context.session.playJournal())))
        context.out << line << '\n';
    return status.isReady() ? kExitSucceeded : kExitFailed;
}

} // namespace cli
