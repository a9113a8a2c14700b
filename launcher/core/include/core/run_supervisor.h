// orvello-run, the supervisor that PLAY starts in the game's place so that
// every run lands in the play journal (core/play_journal.h): where the
// launcher finds it, and how a game is started under it.
#pragma once

#include <QCoreApplication>
#include <QString>
#include <QStringList>

struct GameProcess;

// The supervisor's program name.
inline constexpr char kRunSupervisorName[] = "orvello-run";

// The supervisor beside the launcher's executable (the build tree), or in
// "../libexec/orvello-launcher" from its folder (where the package installs
// it); never on PATH, so that no other program of that name is run in the
// game's place. Empty when neither is an executable file.
QString findRunSupervisor(const QString& launcherFolder = QCoreApplication::applicationDirPath());

// What a run is recorded with. Without a supervisor, the game is started
// directly and the run goes unrecorded.
struct RunRecording {
    QString supervisor;
    QString journal;
    QString gameRoot;

    bool recorded() const { return !supervisor.isEmpty(); }
};

// orvello-run's arguments for the game's program and arguments; with
// detach, it returns as soon as the game runs.
QStringList supervisorArguments(const RunRecording& recording, const QString& program, const QStringList& arguments,
                                bool detach);

// The outcome of starting a game under the supervisor in the background.
struct SupervisedStart {
    enum class Result {
        Started,     // the game runs, and its run is being recorded
        Unavailable, // the supervisor could not do its part: the game was not started
        Failed,      // the game itself could not be started; reason says why
    };
    Result result = Result::Unavailable;
    QString reason;
};

// Starts orvello-run --detach for the game's process, with the game's
// environment and working folder, and waits until it tells whether the game
// started (a fork and an exec: moments). The supervisor and the game keep
// the launcher's standard input and output, and live on when the launcher
// ends. program is the game's program, resolved.
SupervisedStart startSupervisedGame(const RunRecording& recording, const QString& program,
                                    const GameProcess& process);
