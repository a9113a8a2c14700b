// Game launch.
#include "core/game_launch.h"

#include "core/failure.h"
#include "core/launch_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <csignal>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

void writeCommandRecord(const QString& logDir, const QString& commandLine)
{
    QFile record(QDir(logDir).filePath(QLatin1String(kLastCommandFileName)));
    if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return; // the record is a convenience; the launch goes on without it
    record.write(commandLine.toUtf8());
    record.write("\n");
}

QString programFilesMissingText(const LaunchPlan& plan)
{
    const auto member = [&plan](int i) { return i < plan.programSet.size() ? plan.programSet.at(i) : QString(); };
    QStringList lines{QStringLiteral("Game program files not found - %1, %2 and %3 must be together in one folder.")
                          .arg(QFileInfo(plan.exePath).fileName(), member(1), member(2)),
                      QStringLiteral("Searched:")};
    for (const QString& folder : plan.searched)
        lines << QStringLiteral("  ") + folder;
    if (!plan.partial.isEmpty()) {
        lines << QStringLiteral("Had the exe but not the full set:");
        for (const QString& entry : plan.partial)
            lines << QStringLiteral("  ") + entry;
    }
    return lines.join(QLatin1Char('\n'));
}

// The program as a path: one that names no folder is looked for in the
// PATH the game gets. Empty when that is not an executable file, so that a
// game that cannot run is told before anything else is started (and before
// the launcher's process is given to a supervisor that would then fail).
QString resolvedProgram(const GameProcess& process)
{
    if (!process.program.contains(QLatin1Char('/'))) {
        const QStringList path =
            process.environment.value(QStringLiteral("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
        return QStandardPaths::findExecutable(process.program, path);
    }
    const QFileInfo program(process.program);
    return program.isFile() && program.isExecutable() ? process.program : QString();
}

std::vector<std::string> encoded(const QStringList& strings)
{
    std::vector<std::string> bytes;
    for (const QString& string : strings)
        bytes.push_back(QFile::encodeName(string).toStdString());
    return bytes;
}

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> list;
    for (std::string& string : strings)
        list.push_back(string.data());
    list.push_back(nullptr);
    return list;
}

bool startDetached(const QString& program, const GameProcess& process)
{
    QProcess game;
    game.setProgram(program);
    game.setArguments(process.arguments);
    game.setWorkingDirectory(process.workingDir);
    game.setProcessEnvironment(process.environment);
    return game.startDetached();
}

// exec: the program gets the launcher's process id, its terminal and its
// parent. A failed exec leaves the launcher as it was.
bool replaceLauncher(const QString& program, const QStringList& programArguments, const GameProcess& process)
{
    std::vector<std::string> arguments = encoded(QStringList{program} + programArguments);
    std::vector<std::string> environment = encoded(process.environment.toStringList());
    std::vector<char*> argv = pointers(arguments);
    std::vector<char*> envp = pointers(environment);
    const QString launcherFolder = QDir::currentPath();
    if (!process.workingDir.isEmpty() && !QDir::setCurrent(process.workingDir))
        return false;
    std::fflush(nullptr);
    // The game starts with no signal blocked, whatever the launcher blocked.
    sigset_t none;
    sigemptyset(&none);
    sigset_t previous;
    sigprocmask(SIG_SETMASK, &none, &previous);
    execve(argv[0], argv.data(), envp.data());
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    QDir::setCurrent(launcherFolder);
    return false;
}

} // namespace

QProcessEnvironment gameEnvironment(const QStringList& entries)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : entries) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        environment.insert(entry.left(equals), entry.mid(equals + 1));
    }
    return environment;
}

GameProcess gameProcess(const LaunchPlan& plan)
{
    const QStringList command = plan.command.isEmpty() ? QStringList{plan.exePath} + plan.arguments : plan.command;
    return {command.first(), command.mid(1), plan.workingDir, gameEnvironment(plan.environment)};
}

bool startGameProcess(const GameProcess& process, GameStart start, const RunRecording& recording, QString* reason)
{
    if (reason)
        reason->clear();
    const QString program = resolvedProgram(process);
    if (program.isEmpty())
        return false;
    switch (start) {
    case GameStart::Detached:
        if (recording.recorded()) {
            const SupervisedStart supervised = startSupervisedGame(recording, program, process);
            if (supervised.result == SupervisedStart::Result::Started)
                return true;
            if (supervised.result == SupervisedStart::Result::Failed) {
                if (reason)
                    *reason = supervised.reason;
                return false;
            }
            // The supervisor did not do its part: the game is played unrecorded.
        }
        return startDetached(program, process);
    case GameStart::ReplacingLauncher:
        // Each returns only when its exec failed: a supervisor that cannot
        // be run leaves the game to run unrecorded.
        if (recording.recorded())
            replaceLauncher(recording.supervisor, supervisorArguments(recording, program, process.arguments, false),
                            process);
        return replaceLauncher(program, process.arguments, process);
    }
    return false;
}

bool launchGame(const LaunchPlan& plan, QString* error, GameStart start, const RunRecording& recording)
{
    if (!plan.commandProblem.isEmpty())
        return fail(error, plan.commandProblem);
    const QString logDir = !plan.logDir.isEmpty() ? plan.logDir : QDir(plan.dataRoot).filePath(QStringLiteral("logs"));
    if (!QDir().mkpath(logDir))
        return fail(error, QStringLiteral("Could not create log folder: %1").arg(logDir));
    writeCommandRecord(logDir, plan.commandLine);

    if (!plan.programFilesFound)
        return fail(error, programFilesMissingText(plan));
    if (!QFileInfo(plan.exePath).isFile())
        return fail(error, QStringLiteral("Game executable not found: %1").arg(plan.exePath));
    QString reason;
    if (!startGameProcess(gameProcess(plan), start, recording, &reason)) {
        const QString failed = QStringLiteral("Failed to start: %1").arg(plan.commandLine);
        return fail(error, reason.isEmpty() ? failed : failed + QLatin1Char('\n') + reason);
    }
    return true;
}
