// Loading and saving the launch settings.
#include "core/launcher_settings.h"

#include "core/game_profile.h"

#include <QCoreApplication>
#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("settings");

// Calls visit(key, field) for every setting, in file order. Load and save
// both walk this one list, so they can never disagree on keys or order.
template <typename Settings, typename Visitor>
void forEachSetting(Settings& s, Visitor&& visit)
{
    visit("resolution_scale", s.resolution_scale);
    visit("upscaling", s.upscaling);
    visit("swap_post_effect", s.swap_post_effect);
    visit("anisotropic_override", s.anisotropic_override);
    visit("native_2x_msaa", s.native_2x_msaa);
    visit("async_shader_compilation", s.async_shader_compilation);
    visit("vulkan_pipeline_creation_threads", s.vulkan_pipeline_creation_threads);
    visit("vsync", s.vsync);
    visit("frame_limit", s.frame_limit);
    visit("windowed", s.windowed);
    visit("audio_gain", s.audio_gain);
    visit("audio_highpass_hz", s.audio_highpass_hz);
    visit("audio_force_stereo", s.audio_force_stereo);
    visit("audio_front_only", s.audio_front_only);
    visit("audio_maxqframes", s.audio_maxqframes);
    visit("xma_worker", s.xma_worker);
    visit("user_data_root", s.user_data_root);
    visit("log_dir", s.log_dir);
    visit("log_level", s.log_level);
    visit("vulkan_sparse_shared_memory", s.vulkan_sparse_shared_memory);
    visit("vulkan_async_skip_incomplete_frames", s.vulkan_async_skip_incomplete_frames);
    visit("user_language", s.user_language);
    visit("user_country", s.user_country);
}

void convert(const QVariant& value, int& field) { field = value.toInt(); }
void convert(const QVariant& value, bool& field) { field = value.toBool(); }
void convert(const QVariant& value, double& field) { field = value.toDouble(); }
void convert(const QVariant& value, QString& field) { field = value.toString(); }

} // namespace

QSettings& sharedSettings()
{
    static QSettings settings(QSettings::IniFormat, QSettings::UserScope, gameProfile().organizationName,
                              QCoreApplication::applicationName());
    return settings;
}

const QString& dataRootSettingsKey()
{
    static const QString key = QStringLiteral("paths/data_root");
    return key;
}

LauncherSettings loadLauncherSettings()
{
    LauncherSettings result;
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    forEachSetting(result, [&settings](const char* key, auto& field) {
        convert(settings.value(QLatin1String(key), field), field);
    });
    settings.endGroup();
    return result;
}

void saveLauncherSettings(const LauncherSettings& values)
{
    QSettings& settings = sharedSettings();
    settings.beginGroup(kGroup);
    forEachSetting(values, [&settings](const char* key, const auto& field) {
        settings.setValue(QLatin1String(key), field);
    });
    settings.endGroup();
    settings.sync();
}
