// Game launch.
#include "core/game_launch.h"

#include "core/failure.h"
#include "core/launch_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

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

// Sets the plan's variables in the launcher's own environment, which the
// game inherits. Entries without a name or without "=" are skipped.
void applyEnvironment(const QStringList& environment)
{
    for (const QString& entry : environment) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals <= 0)
            continue;
        qputenv(entry.left(equals).toLatin1().constData(), entry.mid(equals + 1).toLatin1());
    }
}

} // namespace

bool launchGame(const LaunchPlan& plan, QString* error)
{
    const QString logDir = !plan.logDir.isEmpty() ? plan.logDir : QDir(plan.dataRoot).filePath(QStringLiteral("logs"));
    if (!QDir().mkpath(logDir))
        return fail(error, QStringLiteral("Could not create log folder: %1").arg(logDir));
    writeCommandRecord(logDir, plan.commandLine);

    if (!plan.programFilesFound)
        return fail(error, programFilesMissingText(plan));
    if (!QFileInfo(plan.exePath).isFile())
        return fail(error, QStringLiteral("Game executable not found: %1").arg(plan.exePath));
    applyEnvironment(plan.environment);
    if (!QProcess::startDetached(plan.exePath, plan.arguments, plan.workingDir))
        return fail(error, QStringLiteral("Failed to start: %1").arg(plan.commandLine));
    return true;
}
