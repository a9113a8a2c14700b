// LauncherSession: settings, game root, data root, status and PLAY.
#include "core/launcher_session.h"

#include "core/game_data.h"
#include "core/play_journal.h"
#include "core/settings_table.h"
#include "core/shared_memory_cleanup.h"

#include <QFileInfo>
#include <QSettings>

namespace {

QString configuredDataRoot()
{
    return sharedSettings().value(dataRootSettingsKey()).toString();
}

} // namespace

QString LaunchOutcome::text() const
{
    switch (result) {
    case Result::Launched:
        return QStringLiteral("Launched: %1").arg(commandLine);
    case Result::Failed:
        return QStringLiteral("Launch failed: %1").arg(error);
    case Result::NotAttempted:
        break;
    }
    return {};
}

LauncherSession::LauncherSession(const GameProfile& profile, QObject* parent)
    : QObject(parent), profile_(profile),
      settings_(settings_table::withKnownChoices(loadLauncherSettings())), launchOptions_(loadLaunchOptions()),
      configuredDataRoot_(configuredDataRoot())
{
    connect(&lookup_, &StatusLookup::found, this, &LauncherSession::takeLookupResult);
}

void LauncherSession::changeSettings(const LauncherSettings& settings)
{
    settings_ = settings;
    QString whyNot;
    saveLauncherSettings(settings_, &whyNot);
    saved(whyNot);
}

void LauncherSession::changeLaunchOptions(const LaunchOptions& options)
{
    launchOptions_ = options;
    QString whyNot;
    saveLaunchOptions(launchOptions_, &whyNot);
    saved(whyNot);
}

void LauncherSession::resetSettings()
{
    changeSettings(LauncherSettings());
}

QString LauncherSession::settingsFileName() const
{
    return sharedSettings().fileName();
}

QString LauncherSession::saveProblem() const
{
    return saved_ ? lastSaveProblem_ : settingsSaveProblem();
}

// A failed save loses nothing: the session goes on with the values in
// memory, and PLAY uses them.
void LauncherSession::saved(const QString& problem)
{
    saved_ = true;
    lastSaveProblem_ = problem;
    emit settingsSaved(problem);
}

QString LauncherSession::dataRoot() const
{
    return configuredDataRoot_.isEmpty() ? gameRoot_ : configuredDataRoot_;
}

void LauncherSession::resolveGameRoot()
{
    if (gameRoot_.isEmpty())
        setGameRoot(::resolveGameRoot(profile_));
}

void LauncherSession::adoptGameRoot(const QString& root)
{
    if (root.isEmpty())
        return;
    rememberGameRoot(profile_, root);
    configuredDataRoot_ = configuredDataRoot();
    setGameRoot(root);
}

void LauncherSession::setGameRoot(const QString& root)
{
    if (root == gameRoot_)
        return;
    gameRoot_ = root;
    emit gameRootChanged(gameRoot_);
}

const ReadinessStatus& LauncherSession::refreshStatus()
{
    lookup_.cancel();
    status_ = readinessStatus(profile_, gameRoot_);
    emit statusChanged(status_);
    return status_;
}

void LauncherSession::lookUpGameData()
{
    searchPending_ = gameRoot_.isEmpty();
    startLookup();
}

void LauncherSession::lookUpStatus()
{
    startLookup();
}

// A refresh asked for while the start-up search still runs, before any game
// root is known, searches too: superseding it must not lose what it would find.
void LauncherSession::startLookup()
{
    GameDataQuery query;
    query.profile = profile_;
    query.gameRoot = gameRoot_;
    query.searchForRoot = gameRoot_.isEmpty() && searchPending_;
    if (query.searchForRoot)
        query.storedRoot = storedGameRoot(profile_);
    lookup_.start(query);
    emit lookupStarted();
}

void LauncherSession::takeLookupResult(const GameDataQuery& query, const GameDataFound& found)
{
    if (query.gameRoot != gameRoot_) {
        startLookup(); // an import chose a game root meanwhile: its status counts
        return;
    }
    if (query.searchForRoot) {
        searchPending_ = false;
        if (found.newlyFound)
            rememberGameRoot(profile_, found.gameRoot);
        setGameRoot(found.gameRoot);
    }
    status_ = found.status;
    emit statusChanged(status_);
}

LaunchPlan LauncherSession::launchPlan(const LauncherSettings& settings) const
{
    return buildLaunchPlan(profile_, settings, gameRoot_, dataRoot(), launchOptions_);
}

LaunchPlan LauncherSession::previewPlan(const LauncherSettings& settings, const LaunchOptions& options) const
{
    return buildLaunchPlan(profile_, settings, gameRoot_, dataRoot(), options, status_.programFiles);
}

LaunchOutcome LauncherSession::play(const LauncherSettings& settings, GameStart start)
{
    LaunchOutcome outcome;
    if (gameRoot_.isEmpty() || isLookingForGameData())
        return outcome;
    changeSettings(settings);
    // Every PLAY, whether or not the launch then succeeds.
    removeStaleSharedMemory(profile_);
    if (!QFileInfo(gameRoot_).isDir())
        return gameDataGone();
    const LaunchPlan plan = launchPlan(settings_);
    if (launchGame(plan, &outcome.error, start, runRecording())) {
        outcome.result = LaunchOutcome::Result::Launched;
        outcome.commandLine = plan.commandLine;
    } else {
        outcome.result = LaunchOutcome::Result::Failed;
    }
    emit launchAttempted(outcome);
    return outcome;
}

QString LauncherSession::playJournal() const
{
    return playJournalPath(profile_);
}

RunRecording LauncherSession::runRecording() const
{
    return RunRecording{findRunSupervisor(), playJournal(), gameRoot_};
}

// The game folder was deleted, or its drive is no longer mounted, since the
// last refresh: the launch would create its logs folder again, parents
// included, so nothing is done, and the status says what is now known.
LaunchOutcome LauncherSession::gameDataGone()
{
    LaunchOutcome outcome;
    outcome.result = LaunchOutcome::Result::Failed;
    outcome.error = QStringLiteral("Game data not found: %1").arg(gameRoot_);
    emit launchAttempted(outcome);
    refreshStatus();
    return outcome;
}
