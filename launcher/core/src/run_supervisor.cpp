// Finding orvello-run and starting the game under it.
#include "core/run_supervisor.h"

#include "core/game_launch.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace {

// orvello-run's own exit statuses, as env(1) uses them (see
// supervisor/supervised_run.h): the supervisor failed before it could start
// the game (125), the game's program could not be run (126) or was not
// found (127).
constexpr int kSupervisorFailed = 125;
constexpr int kProgramCannotRun = 126;
constexpr int kProgramNotFound = 127;

// The supervisor's start takes a fork and an exec; one that has not told
// after this long is taken as not working.
constexpr int kStartTimeoutMs = 30000;

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

} // namespace

QString findRunSupervisor(const QString& launcherFolder)
{
    const QDir folder(launcherFolder);
    for (const QString& candidate :
         {folder.filePath(QLatin1String(kRunSupervisorName)),
          folder.filePath(QStringLiteral("../libexec/orvello-launcher/") + QLatin1String(kRunSupervisorName))}) {
        if (isExecutableFile(candidate))
            return QDir::cleanPath(candidate);
    }
    return {};
}

QStringList supervisorArguments(const RunRecording& recording, const QString& program, const QStringList& arguments,
                                bool detach)
{
    QStringList words;
    if (detach)
        words << QStringLiteral("--detach");
    words << QStringLiteral("--journal") << recording.journal << QStringLiteral("--game-root") << recording.gameRoot
          << QStringLiteral("--") << program << arguments;
    return words;
}

SupervisedStart startSupervisedGame(const RunRecording& recording, const QString& program, const GameProcess& process)
{
    QProcess supervisor;
    supervisor.setProgram(recording.supervisor);
    supervisor.setArguments(supervisorArguments(recording, program, process.arguments, true));
    supervisor.setWorkingDirectory(process.workingDir);
    supervisor.setProcessEnvironment(process.environment);
    // The game gets the launcher's standard files, as a detached game does:
    // no pipe to the launcher that would outlive it.
    supervisor.setInputChannelMode(QProcess::ForwardedInputChannel);
    supervisor.setProcessChannelMode(QProcess::ForwardedChannels);
    supervisor.start();
    if (!supervisor.waitForFinished(kStartTimeoutMs)) {
        supervisor.kill();
        supervisor.waitForFinished();
        return {};
    }
    if (supervisor.exitStatus() != QProcess::NormalExit)
        return {};
    switch (supervisor.exitCode()) {
    case 0:
        return {SupervisedStart::Result::Started, {}};
    case kProgramCannotRun:
        return {SupervisedStart::Result::Failed, QStringLiteral("%1 is not a program this system can run.").arg(program)};
    case kProgramNotFound:
        return {SupervisedStart::Result::Failed,
                QStringLiteral("%1, or the interpreter it names, was not found.").arg(program)};
    case kSupervisorFailed:
    default:
        break;
    }
    return {};
}
