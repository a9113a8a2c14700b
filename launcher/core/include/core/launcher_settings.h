// The user's launch settings, kept in the INI group "settings" of the one
// per-user settings file, and the shared settings object through which the
// whole launcher reads and writes that file.
#pragma once

#include <QString>

class QSettings;

// One field per key of the group "settings", named like the key, in file
// order. The settings table (core/settings_table.h) describes each field;
// a default-constructed record holds the table's defaults.
struct LauncherSettings {
    LauncherSettings();

    int resolution_scale = 0;
    QString upscaling;
    QString swap_post_effect;
    int anisotropic_override = 0;
    bool native_2x_msaa = false;
    bool async_shader_compilation = false;
    int vulkan_pipeline_creation_threads = 0;
    bool vsync = false;
    int frame_limit = 0;
    bool windowed = false;
    double audio_gain = 0;
    int audio_highpass_hz = 0;
    bool audio_force_stereo = false;
    bool audio_front_only = false;
    int audio_maxqframes = 0;
    bool xma_worker = false;
    QString user_data_root;
    QString log_dir;
    QString log_level;
    bool vulkan_sparse_shared_memory = false;
    bool vulkan_async_skip_incomplete_frames = false;
    int user_language = 0;
    int user_country = 0;

    bool operator==(const LauncherSettings&) const = default;
};

// The process-wide settings object (the profile's organisation, application
// name as set at start-up, INI format, user scope), created on first use.
QSettings& sharedSettings();

// The user-supplied base folder for the default logs folder. The launcher
// reads this key and never writes it.
const QString& dataRootSettingsKey();

// Reads the group "settings"; missing keys keep their defaults. Values are
// taken as stored, without range checks.
LauncherSettings loadLauncherSettings();

// Writes all keys of the group "settings" and syncs the file at once.
// Returns false when the file could not be written; the settings object
// keeps the values in memory either way. When given, *whyNot then receives
// the system's reason (for example "Permission denied").
bool saveLauncherSettings(const LauncherSettings& settings, QString* whyNot = nullptr);

// Writes the shared settings object's changes to the file now, as every save
// does: false, with the reason in *whyNot, when the file could not be written.
bool syncSettingsFile(QString* whyNot = nullptr);

// Why the settings file cannot be written, without writing anything: empty
// when it looks writable. A file or folder not yet made is judged by the
// nearest folder that exists.
QString settingsSaveProblem();
