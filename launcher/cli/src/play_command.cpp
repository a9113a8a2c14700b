// --play: PLAY without a window. The game replaces the launcher's process,
// so only a failed start comes back here.
#include "commands.h"

#include "cli/command_line.h"
#include "core/game_data.h"
#include "core/launcher_session.h"
#include "core/play_journal.h"
#include "core/settings_table.h"

#include <QFileInfo>

namespace {

// Why there is nothing to play: the remembered folder gone (deleted, or on a
// drive not mounted now), or no game data found at all.
QString noGameDataText(const GameProfile& profile)
{
    const QString remembered = storedGameRoot(profile);
    if (!remembered.isEmpty() && !QFileInfo(remembered).isDir())
        return QStringLiteral("Launch failed: Game data not found: %1").arg(remembered);
    return QStringLiteral("Launch failed: No game data found. Import the game first: orvello-launcher --import PATH");
}

} // namespace

namespace cli {

int runPlay(CommandContext& context)
{
    LauncherSession& session = context.session;
    session.resolveGameRoot();
    QString failure;
    if (session.gameRoot().isEmpty()) {
        failure = noGameDataText(session.profile());
    } else {
        // The window compacts the play journal when it opens, but a player
        // who starts the game only from Steam or the menu never opens it.
        // Below its size limit this only looks at the file's size; a journal
        // that cannot be compacted stays as it is and the game still starts.
        compactPlayJournal(session.playJournal());
        // What the game gets must reach the terminal before the game does.
        context.out.flush();
        context.err.flush();
        // The settings as the Settings page would show them, so that the
        // command is the one the button would run.
        failure = session.play(settings_table::asEdited(session.settings()), GameStart::ReplacingLauncher).text();
    }
    context.err << failure << '\n';
    context.desktopNotice = failure;
    return kExitFailed;
}

} // namespace cli
