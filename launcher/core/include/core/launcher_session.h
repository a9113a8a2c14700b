// LauncherSession: what the launcher knows and does between its start and
// its exit, with or without a window. It owns the profile copy, the settings
// and launch options in force (loaded at construction, saved on every
// change), the game root in
// use (resolved at start-up, adopted after an import, remembered) and the
// data root, the readiness status, and PLAY. Views (the window, the command
// line) call it and listen to its signals; it holds no widget. It lives on
// the GUI thread, like the shared settings object it reads and writes; the
// window's searches run beside it (StatusLookup), the command line's on it.
#pragma once

#include "core/game_launch.h"
#include "core/game_profile.h"
#include "core/launch_options.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/readiness_status.h"
#include "core/status_lookup.h"

#include <QObject>
#include <QString>

// The result of one press of PLAY.
struct LaunchOutcome {
    enum class Result {
        NotAttempted, // no game data known: nothing was done
        Launched,
        Failed,
    };

    Result result = Result::NotAttempted;
    QString commandLine; // the command started, as shown to the user
    QString error;       // why the launch failed, possibly over several lines

    // "Launched: <command>" or "Launch failed: <reason>"; empty when not attempted.
    QString text() const;
};

class LauncherSession : public QObject {
    Q_OBJECT

public:
    // Loads the settings and reads the configured data root; finds nothing
    // yet (see resolveGameRoot).
    explicit LauncherSession(const GameProfile& profile = gameProfile(), QObject* parent = nullptr);

    const GameProfile& profile() const { return profile_; }

    // The settings in force. Choice settings hold one of their items (a
    // stored value no item carries is replaced in memory, not in the file);
    // other values are as stored.
    const LauncherSettings& settings() const { return settings_; }
    // Makes these the settings in force and saves them.
    void changeSettings(const LauncherSettings& settings);
    // Makes the defaults the settings in force and saves them. Only the
    // group "settings" is touched: the game root and the data root stay.
    void resetSettings();
    QString settingsFileName() const;

    // The wrapper and the extra environment entries (group "launch"). The
    // reset leaves them as they are.
    const LaunchOptions& launchOptions() const { return launchOptions_; }
    // Makes these the launch options in force and saves them.
    void changeLaunchOptions(const LaunchOptions& options);
    // Why the last save failed ("" when it worked); before the first save,
    // why a save would fail.
    QString saveProblem() const;

    // The game root in use ("" when none is known).
    const QString& gameRoot() const { return gameRoot_; }
    // The base of the default logs folder: the settings file's
    // "paths/data_root" when set, otherwise the game root.
    QString dataRoot() const;
    // The start-up search: the remembered root, else the first one found
    // (then remembered). Does nothing once a game root is known, for
    // example when an import finished first.
    void resolveGameRoot();
    // Makes an imported folder the game root in use and remembers it. An
    // empty root (an import that produced no game data) changes nothing.
    void adoptGameRoot(const QString& root);

    // Works out the status for the game root in use, keeps it and reports it.
    // A lookup still running is superseded.
    const ReadinessStatus& refreshStatus();
    // The status of the last refresh.
    const ReadinessStatus& status() const { return status_; }

    // The same two off the GUI thread, for a window that must keep
    // answering: the start-up search (unless a game root is known) followed
    // by the status, or the status alone. lookupStarted is emitted at once;
    // the game root and the status are taken, remembered and reported as by
    // resolveGameRoot and refreshStatus when the result comes back. A lookup
    // started later, or a refreshStatus, supersedes the one running.
    void lookUpGameData();
    void lookUpStatus();
    // A lookup runs: the status is not known yet, and PLAY does nothing.
    bool isLookingForGameData() const { return lookup_.isRunning(); }
    // Replaces the lookups' search, for example by one slowed down in a test.
    void setGameDataSearch(StatusLookup::Search search) { lookup_.setSearch(std::move(search)); }

    // The plan PLAY would carry out with these settings now.
    LaunchPlan launchPlan(const LauncherSettings& settings) const;
    // The same for showing, with these launch options, without a search:
    // the program files are those of the last status refresh.
    LaunchPlan previewPlan(const LauncherSettings& settings, const LaunchOptions& options) const;

    // PLAY, with the settings as the user sees them: they become the
    // settings in force and are saved; then the plan is built, stale shared
    // memory is removed and the game is started. Without a game root, or
    // while a lookup runs, nothing is done; a game root that is no longer a
    // folder fails the launch with nothing created, and the status is
    // refreshed. A game that replaces the launcher returns only when its
    // start failed.
    LaunchOutcome play(const LauncherSettings& settings, GameStart start = GameStart::Detached);

    // The play journal that PLAY's runs are recorded in (core/play_journal.h).
    QString playJournal() const;
    // How PLAY records a run: under orvello-run when the launcher finds it
    // (core/run_supervisor.h), otherwise not at all.
    RunRecording runRecording() const;

signals:
    // After every save of the settings or the launch options; problem is ""
    // when the file was written.
    void settingsSaved(const QString& problem);
    void gameRootChanged(const QString& gameRoot);
    void statusChanged(const ReadinessStatus& status);
    void lookupStarted();
    void launchAttempted(const LaunchOutcome& outcome);

private:
    void saved(const QString& problem);
    void setGameRoot(const QString& root);
    LaunchOutcome gameDataGone();
    void startLookup();
    void takeLookupResult(const GameDataQuery& query, const GameDataFound& found);

    GameProfile profile_;
    LauncherSettings settings_;
    LaunchOptions launchOptions_;
    bool saved_ = false;
    QString lastSaveProblem_;
    QString gameRoot_;
    QString configuredDataRoot_; // "paths/data_root" as last read
    ReadinessStatus status_;
    bool searchPending_ = false; // lookUpGameData's search has not reported yet
    StatusLookup lookup_;
};
