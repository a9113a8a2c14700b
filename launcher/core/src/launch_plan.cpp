// Building the launch plan and the game's argument list.
#include "core/launch_plan.h"

#include "core/game_profile.h"
#include "core/game_root.h"
#include "core/launcher_settings.h"
#include "core/program_files.h"
#include "core/settings_table.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

#include <bit>

namespace {

// The text after a setting's prefix for the value the record holds.
QString flagValue(const settings_table::Setting& setting, const LauncherSettings& settings)
{
    using settings_table::FlagValue;
    const QVariant value = setting.valueIn(settings);
    switch (setting.flag.value) {
    case FlagValue::Inverted:
        return value.toBool() ? QStringLiteral("false") : QStringLiteral("true");
    case FlagValue::AnisotropicLevel:
        return QString::number(anisotropicLevel(value.toInt()));
    case FlagValue::PresentEffect:
        return value.toString().compare(QStringLiteral("FSR"), Qt::CaseInsensitive) == 0 ? QStringLiteral("fsr")
                                                                                           : QStringLiteral("bilinear");
    case FlagValue::TwoDecimals:
        return QString::number(value.toDouble(), 'f', 2);
    case FlagValue::AsStored:
        break;
    }
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    return value.toString(); // decimal integers, strings unchanged
}

bool isUnset(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? value.toString().isEmpty() : value.toInt() == 0;
}

// The settings' flags and the two that are not settings (the game data
// folder and the log file), each at its place in the table's order.
QStringList generatedFlags(const LauncherSettings& settings, const QString& gameData, const QString& logDir)
{
    QMap<int, QString> byPosition;
    byPosition.insert(settings_table::kGameDataRootFlagPosition, QStringLiteral("--game_data_root=") + gameData);
    byPosition.insert(settings_table::kLogFileFlagPosition,
                      QStringLiteral("--log_file=") + QDir(logDir).filePath(QStringLiteral("game.log")));
    for (const settings_table::Setting& setting : settings_table::settings()) {
        const settings_table::CommandLineFlag& flag = setting.flag;
        if (flag.prefix.isEmpty() || (flag.omittedWhenUnset && isUnset(setting.valueIn(settings))))
            continue;
        byPosition.insert(flag.position, flag.prefix + flagValue(setting, settings));
    }
    return byPosition.values();
}

} // namespace

int anisotropicLevel(int factor)
{
    if (factor <= 0)
        return -1;
    const int log2 = std::bit_width(unsigned(factor)) - 1;
    return std::min(log2, 4) + 1;
}

QString printableCommandLine(const QString& exePath, const QStringList& arguments)
{
    QStringList parts{exePath};
    for (const QString& argument : arguments)
        parts << (argument.contains(QLatin1Char(' ')) ? QStringLiteral("\"%1\"").arg(argument) : argument);
    return parts.join(QLatin1Char(' '));
}

LaunchPlan buildLaunchPlan(const GameProfile& profile, const LauncherSettings& settings,
                           const QString& gameRoot, const QString& dataRoot, const LaunchOptions& options)
{
    return buildLaunchPlan(profile, settings, gameRoot, dataRoot, options, findProgramFiles(profile, gameRoot));
}

LaunchPlan buildLaunchPlan(const GameProfile& profile, const LauncherSettings& settings,
                           const QString& gameRoot, const QString& dataRoot, const LaunchOptions& options,
                           const ProgramFilesResult& programFiles)
{
    LaunchPlan plan;
    plan.dataRoot = dataRoot;
    plan.programSet = programSet(profile);
    // The player's entries come last, so that theirs win.
    plan.environment = profile.environment + options.environment;

    plan.programFilesFound = programFiles.found;
    plan.programDir = programFiles.programDir;
    plan.searched = programFiles.searched;
    plan.partial = programFiles.partial;

    plan.exePath = programFiles.found ? programFiles.exePath : QDir(gameRoot).filePath(plan.programSet.first());
    plan.workingDir = programFiles.found ? programFiles.programDir : gameRoot;
    plan.logDir = !settings.log_dir.isEmpty() ? settings.log_dir : QDir(dataRoot).filePath(QStringLiteral("logs"));
    // The launcher creates a relative log folder below its own working
    // folder, while the game runs in its program folder: pin the folder down
    // so that both mean the same place.
    if (QDir::isRelativePath(plan.logDir))
        plan.logDir = QDir::current().absoluteFilePath(plan.logDir);
    plan.arguments = profile.extraArgs + generatedFlags(settings, game_root::dataFolder(gameRoot), plan.logDir);
    plan.command = wrappedCommand(options.wrapper, QStringList{plan.exePath} + plan.arguments);
    plan.commandProblem = wrapperProblem(options.wrapper);
    plan.commandLine = printableCommandLine(plan.command.first(), plan.command.mid(1));
    return plan;
}
