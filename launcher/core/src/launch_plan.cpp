// Building the launch plan and the game's argument list.
#include "core/launch_plan.h"

#include "core/game_profile.h"
#include "core/game_root.h"
#include "core/launcher_settings.h"
#include "core/program_files.h"

#include <QDir>
#include <QFileInfo>

#include <bit>

namespace {

QString flag(const QString& value) { return value; }
QString flag(bool value) { return value ? QStringLiteral("true") : QStringLiteral("false"); }
QString flag(int value) { return QString::number(value); }

QStringList generatedFlags(const LauncherSettings& s, const QString& gameData, const QString& logDir)
{
    QStringList args;
    const auto add = [&args](const char* prefix, const auto& value) {
        args << QLatin1String(prefix) + flag(value);
    };
    const bool fsr = s.upscaling.compare(QStringLiteral("FSR"), Qt::CaseInsensitive) == 0;

    add("--game_data_root=", gameData);
    add("--present_effect=", fsr ? QStringLiteral("fsr") : QStringLiteral("bilinear"));
    add("--log_file=", QDir(logDir).filePath(QStringLiteral("game.log")));
    add("--log_level=", s.log_level);
    if (!s.user_data_root.isEmpty())
        add("--user_data_root=", s.user_data_root);
    add("--resolution_scale=", s.resolution_scale);
    add("--swap_post_effect=", s.swap_post_effect);
    add("--anisotropic_override=", anisotropicLevel(s.anisotropic_override));
    add("--native_2x_msaa=", s.native_2x_msaa);
    add("--async_shader_compilation=", s.async_shader_compilation);
    if (s.vulkan_pipeline_creation_threads != 0)
        add("--vulkan_pipeline_creation_threads=", s.vulkan_pipeline_creation_threads);
    add("--vsync=", s.vsync);
    add("--fullscreen=", !s.windowed);
    add("--frame_limit=", s.frame_limit);
    add("--audio_output_gain=", QString::number(s.audio_gain, 'f', 2));
    add("--audio_force_stereo=", s.audio_force_stereo);
    if (s.audio_maxqframes != 0)
        add("--audio_maxqframes=", s.audio_maxqframes);
    add("--vulkan_sparse_shared_memory=", s.vulkan_sparse_shared_memory);
    add("--vulkan_async_skip_incomplete_frames=", s.vulkan_async_skip_incomplete_frames);
    if (s.user_language != 0)
        add("--user_language=", s.user_language);
    if (s.user_country != 0)
        add("--user_country=", s.user_country);
    return args;
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
                           const QString& gameRoot, const QString& dataRoot)
{
    LaunchPlan plan;
    plan.dataRoot = dataRoot;
    plan.programSet = programSet(profile);
    plan.environment = profile.environment;

    const ProgramFilesResult programFiles = findProgramFiles(profile, gameRoot);
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
    plan.commandLine = printableCommandLine(plan.exePath, plan.arguments);
    return plan;
}
