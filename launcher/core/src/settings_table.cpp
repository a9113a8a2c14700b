// The table of launch settings and the typed access to their fields.
#include "core/settings_table.h"

#include "core/launcher_settings.h"

#include <algorithm>

namespace settings_table {

namespace {

using S = LauncherSettings;

const QString kGraphics = QStringLiteral("Graphics");
const QString kAudio = QStringLiteral("Audio");
const QString kStorage = QStringLiteral("Storage & Logs");
const QString kAdvanced = QStringLiteral("Advanced");

CommandLineFlag flag(const char* prefix, int position, FlagValue value = FlagValue::AsStored)
{
    return {QLatin1String(prefix), position, value, false};
}

// A flag left off the command line while the setting is 0 or empty, so that
// the runtime keeps its own default.
CommandLineFlag flagWhenSet(const char* prefix, int position)
{
    return {QLatin1String(prefix), position, FlagValue::AsStored, true};
}

void convert(const QVariant& value, int& field) { field = value.toInt(); }
void convert(const QVariant& value, bool& field) { field = value.toBool(); }
void convert(const QVariant& value, double& field) { field = value.toDouble(); }
void convert(const QVariant& value, QString& field) { field = value.toString(); }

IntegerEditor defaultOrNumber(int maximum)
{
    return {0, maximum, QStringLiteral("Default"), {}};
}

QList<Setting> buildTable()
{
    return {
        {.key = "resolution_scale", .field = &S::resolution_scale, .defaultValue = 1, .group = kGraphics,
         .label = "Resolution scale",
         .description = "Internal render resolution: 1x = 720p, 2x = 1440p, 3x = 2160p. Higher is sharper and costs GPU.",
         .editor = ChoiceEditor{{{"720p (1x)", 1}, {"1440p (2x)", 2}, {"2160p (3x)", 3}}},
         .flag = flag("--resolution_scale=", 6)},
        {.key = "upscaling", .field = &S::upscaling, .defaultValue = "FSR", .group = kGraphics, .label = "Upscaling",
         .description = "How the image is upscaled to your display. AMD FSR sharpens while upscaling; Bilinear is softer and cheaper.",
         .editor = ChoiceEditor{{{"FSR", {}}, {"Bilinear", {}}}},
         .flag = flag("--present_effect=", 2, FlagValue::PresentEffect)},
        {.key = "swap_post_effect", .field = &S::swap_post_effect, .defaultValue = "fxaa", .group = kGraphics,
         .label = "FXAA",
         .description = "Post-process anti-aliasing that smooths jagged edges. FXAA Extreme is stronger and a touch softer.",
         .editor = ChoiceEditor{{{"None", "none"}, {"FXAA", "fxaa"}, {"FXAA Extreme", "fxaa_extreme"}}},
         .flag = flag("--swap_post_effect=", 7)},
        {.key = "anisotropic_override", .field = &S::anisotropic_override, .defaultValue = 16, .group = kGraphics,
         .label = "Anisotropic filtering",
         .description = "Texture filtering for surfaces at an angle (floors, roads). 16x is sharpest; Game's own leaves each texture's filtering as the game set it.",
         .editor = ChoiceEditor{{{"Game's own", 0}, {"2x", 2}, {"4x", 4}, {"8x", 8}, {"16x", 16}}},
         .flag = flag("--anisotropic_override=", 8, FlagValue::AnisotropicLevel)},
        {.key = "native_2x_msaa", .field = &S::native_2x_msaa, .defaultValue = false, .group = kGraphics,
         .label = "Native 2x MSAA",
         .description = "Renders with 2x multisample anti-aliasing. Cleaner edges than FXAA at a higher GPU cost.",
         .editor = CheckEditor{}, .flag = flag("--native_2x_msaa=", 9)},
        {.key = "async_shader_compilation", .field = &S::async_shader_compilation, .defaultValue = true,
         .group = kGraphics, .label = "Async shader compilation",
         .description = "Compile shaders in the background. On: fewer long hitches, brief pop-in possible while shaders finish. Off: everything compiles up front.",
         .editor = CheckEditor{}, .flag = flag("--async_shader_compilation=", 10)},
        {.key = "vulkan_pipeline_creation_threads", .field = &S::vulkan_pipeline_creation_threads, .defaultValue = 0,
         .group = kGraphics, .label = "Pipeline creation threads",
         .description = "CPU threads used to build graphics pipelines. 0 = runtime default. More can reduce load-time hitching on many-core CPUs.",
         .editor = defaultOrNumber(32), .flag = flagWhenSet("--vulkan_pipeline_creation_threads=", 11)},
        {.key = "vsync", .field = &S::vsync, .defaultValue = true, .group = kGraphics, .label = "VSync",
         .description = "Match frame output to your display's refresh. On: no tearing, slightly more input lag. Off: fastest, may tear.",
         .editor = CheckEditor{}, .flag = flag("--vsync=", 12)},
        {.key = "frame_limit", .field = &S::frame_limit, .defaultValue = 0, .group = kGraphics, .label = "Frame limit",
         .description = "Cap the frame rate. 0 = unlimited. Matching your monitor's refresh (e.g. 75) is a good middle ground.",
         .editor = IntegerEditor{0, 1000, "Unlimited", " fps"}, .flag = flag("--frame_limit=", 14)},
        {.key = "windowed", .field = &S::windowed, .defaultValue = false, .group = kGraphics, .label = "Windowed",
         .description = "Run fullscreen or in a window.", .editor = CheckEditor{},
         .flag = flag("--fullscreen=", 13, FlagValue::Inverted)},

        {.key = "audio_gain", .field = &S::audio_gain, .defaultValue = 1.0, .group = kAudio, .label = "Audio gain",
         .description = "Master volume. 1.00 is the game's original level.", .editor = DecimalEditor{0.0, 2.0, 0.05, 2},
         .flag = flag("--audio_output_gain=", 15, FlagValue::TwoDecimals)},
        {.key = "audio_highpass_hz", .field = &S::audio_highpass_hz, .defaultValue = 0, .group = kAudio,
         .label = "High-pass filter", .editor = IntegerEditor{0, 500, {}, " Hz"}, .visible = false},
        {.key = "audio_force_stereo", .field = &S::audio_force_stereo, .defaultValue = false, .group = kAudio,
         .label = "Force stereo",
         .description = "Downmix surround to stereo. Useful on stereo speakers/headphones with odd channel mapping.",
         .editor = CheckEditor{}, .flag = flag("--audio_force_stereo=", 16)},
        {.key = "audio_front_only", .field = &S::audio_front_only, .defaultValue = false, .group = kAudio,
         .label = "Front speakers only", .editor = CheckEditor{}, .visible = false},
        {.key = "audio_maxqframes", .field = &S::audio_maxqframes, .defaultValue = 0, .group = kAudio,
         .label = "Audio queue frames",
         .description = "Audio buffering depth. 0 = runtime default. Raise it if you hear crackling or dropouts.",
         .editor = defaultOrNumber(1024), .flag = flagWhenSet("--audio_maxqframes=", 17)},
        {.key = "xma_worker", .field = &S::xma_worker, .defaultValue = true, .group = kAudio, .label = "XMA worker",
         .editor = CheckEditor{}, .visible = false},

        {.key = "user_data_root", .field = &S::user_data_root, .defaultValue = QString(), .group = kStorage,
         .label = "Save data folder",
         .description = "Where saves and profile data live. Empty = the game's default (~/.local/share). Changing this starts with a fresh profile - your old saves stay in the previous folder, untouched.",
         .editor = FolderEditor{"(game default)", "Save data folder"},
         .flag = flagWhenSet("--user_data_root=", 5)},
        // The log folder reaches the command line inside "--log_file=",
        // which the command line builder forms itself.
        {.key = "log_dir", .field = &S::log_dir, .defaultValue = QString(), .group = kStorage, .label = "Log folder",
         .description = "Where the game's log file goes. Empty = a logs folder next to the game data.",
         .editor = FolderEditor{"(logs folder next to the game data)", "Log folder"}},
        {.key = "log_level", .field = &S::log_level, .defaultValue = "info", .group = kStorage, .label = "Log level",
         .description = "How much the game writes to its log. Debug is very verbose and can slow the game; use it when diagnosing.",
         .editor = ChoiceEditor{{{"Info", "info"}, {"Off", "off"}, {"Debug", "debug"}}},
         .flag = flag("--log_level=", 4)},

        {.key = "vulkan_sparse_shared_memory", .field = &S::vulkan_sparse_shared_memory, .defaultValue = false,
         .group = kAdvanced, .label = "Sparse shared memory",
         .description = "Vulkan sparse shared memory. Leave OFF: it can black-screen on AMD/RADV. Only for experimenting.",
         .editor = CheckEditor{}, .flag = flag("--vulkan_sparse_shared_memory=", 18)},
        {.key = "vulkan_async_skip_incomplete_frames", .field = &S::vulkan_async_skip_incomplete_frames,
         .defaultValue = false, .group = kAdvanced, .label = "Skip incomplete frames",
         .description = "Present frames before their shaders finish compiling. Can stall this engine family at the title screen - leave OFF unless testing.",
         .editor = CheckEditor{}, .flag = flag("--vulkan_async_skip_incomplete_frames=", 19)},
        {.key = "user_language", .field = &S::user_language, .defaultValue = 0, .group = kAdvanced,
         .label = "User language",
         .description = "Locale ID the game sees for its profile language. 0 = runtime default.",
         .editor = defaultOrNumber(99999), .flag = flagWhenSet("--user_language=", 20)},
        {.key = "user_country", .field = &S::user_country, .defaultValue = 0, .group = kAdvanced,
         .label = "User country", .description = "Country ID the game sees. 0 = runtime default.",
         .editor = defaultOrNumber(999), .flag = flagWhenSet("--user_country=", 21)},
    };
}

} // namespace

QVariant Setting::valueIn(const LauncherSettings& settings) const
{
    return std::visit([&settings](auto member) { return QVariant(settings.*member); }, field);
}

void Setting::assign(LauncherSettings& settings, const QVariant& value) const
{
    std::visit([&](auto member) { convert(value, settings.*member); }, field);
}

const QList<Setting>& settings()
{
    static const QList<Setting> table = buildTable();
    return table;
}

const Setting* find(const QString& key)
{
    for (const Setting& setting : settings()) {
        if (setting.key == key)
            return &setting;
    }
    return nullptr;
}

const QStringList& groups()
{
    static const QStringList titles{kGraphics, kAudio, kStorage, kAdvanced};
    return titles;
}

LauncherSettings withKnownChoices(LauncherSettings values)
{
    for (const Setting& setting : settings()) {
        const auto* choice = std::get_if<ChoiceEditor>(&setting.editor);
        if (!choice)
            continue;
        const QVariant value = setting.valueIn(values);
        const auto carries = [&](const ChoiceItem& item) {
            return choice->storesText() ? item.text == value.toString() : item.data == value;
        };
        if (std::none_of(choice->items.cbegin(), choice->items.cend(), carries)) {
            const ChoiceItem& first = choice->items.first();
            setting.assign(values, choice->storesText() ? QVariant(first.text) : first.data);
        }
    }
    return values;
}

LauncherSettings asEdited(LauncherSettings values)
{
    values = withKnownChoices(values);
    for (const Setting& setting : settings()) {
        const QVariant value = setting.valueIn(values);
        if (const auto* range = std::get_if<IntegerEditor>(&setting.editor)) {
            setting.assign(values, std::clamp(value.toInt(), range->minimum, range->maximum));
        } else if (const auto* range = std::get_if<DecimalEditor>(&setting.editor)) {
            const double rounded = QString::number(value.toDouble(), 'f', range->decimals).toDouble();
            setting.assign(values, std::clamp(rounded, range->minimum, range->maximum));
        } else if (std::holds_alternative<FolderEditor>(setting.editor)) {
            setting.assign(values, value.toString().trimmed());
        }
    }
    return values;
}

} // namespace settings_table
