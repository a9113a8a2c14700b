// The settings file: defaults, the full write, round trips, and files that
// are corrupt or hold values no widget offers.
#include "core/launch_options.h"
#include "core/launcher_settings.h"
#include "core/settings_table.h"
#include "test_support.h"

#include <QApplication>
#include <QFile>
#include <QSettings>

using namespace testing_support;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void init() { clearSettings(); }

    void fileIsNamedAfterOrganisationAndTitle()
    {
        const QString expected = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).filePath(QStringLiteral("Velmarch/Orvello Launcher.ini"));
        QCOMPARE(sharedSettings().fileName(), expected);
    }

    void freshProfileLoadsDefaults()
    {
        QVERIFY(!QFile::exists(sharedSettings().fileName()));
        QCOMPARE(loadLauncherSettings(), LauncherSettings());
        QVERIFY2(!QFile::exists(sharedSettings().fileName()), "loading must not create the file");
    }

    void defaultsAreThoseOfTheTable()
    {
        const LauncherSettings s;
        QCOMPARE(s.resolution_scale, 1);
        QCOMPARE(s.upscaling, QStringLiteral("FSR"));
        QCOMPARE(s.swap_post_effect, QStringLiteral("fxaa"));
        QCOMPARE(s.anisotropic_override, 16);
        QVERIFY(!s.native_2x_msaa && s.async_shader_compilation && s.vsync && !s.windowed);
        QCOMPARE(s.audio_gain, 1.0);
        QVERIFY(s.xma_worker && !s.audio_front_only && !s.audio_force_stereo);
        QCOMPARE(s.log_level, QStringLiteral("info"));
        QVERIFY(s.user_data_root.isEmpty() && s.log_dir.isEmpty());
        QCOMPARE(s.vulkan_pipeline_creation_threads, 0);
        QCOMPARE(s.frame_limit, 0);
        QCOMPARE(s.audio_highpass_hz, 0);
        QCOMPARE(s.audio_maxqframes, 0);
        QVERIFY(!s.vulkan_sparse_shared_memory && !s.vulkan_async_skip_incomplete_frames);
        QCOMPARE(s.user_language, 0);
        QCOMPARE(s.user_country, 0);
    }

    void tableListsTheKeysInFileOrder()
    {
        const QStringList expected{
            "resolution_scale", "upscaling", "swap_post_effect", "anisotropic_override", "native_2x_msaa",
            "async_shader_compilation", "vulkan_pipeline_creation_threads", "vsync", "frame_limit", "windowed",
            "audio_gain", "audio_highpass_hz", "audio_force_stereo", "audio_front_only", "audio_maxqframes",
            "xma_worker", "user_data_root", "log_dir", "log_level", "vulkan_sparse_shared_memory",
            "vulkan_async_skip_incomplete_frames", "user_language", "user_country"};
        QStringList keys;
        for (const settings_table::Setting& setting : settings_table::settings())
            keys << setting.key;
        QCOMPARE(keys, expected);
    }

    // Two entries reaching one field would make load and save lose a key.
    void eachSettingReachesItsOwnField()
    {
        const LauncherSettings defaults;
        for (const settings_table::Setting& changed : settings_table::settings()) {
            LauncherSettings s;
            const QVariant before = changed.valueIn(s);
            const QVariant different = before.typeId() == QMetaType::Bool      ? QVariant(!before.toBool())
                                       : before.typeId() == QMetaType::QString ? QVariant(before.toString() + "x")
                                                                               : QVariant(before.toDouble() + 3);
            changed.assign(s, different);
            QVERIFY2(!(s == defaults), qPrintable(changed.key));
            for (const settings_table::Setting& other : settings_table::settings()) {
                if (&other != &changed)
                    QCOMPARE(other.valueIn(s), other.valueIn(defaults));
            }
        }
    }

    void saveWritesAllKeysInTheSettingsSection()
    {
        saveLauncherSettings(LauncherSettings());
        QFile file(sharedSettings().fileName());
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.first(), QStringLiteral("[settings]"));
        QCOMPARE(lines.size(), 1 + 23);
        QStringList writtenKeys;
        for (const QString& line : lines.mid(1))
            writtenKeys << line.section(QLatin1Char('='), 0, 0);
        QStringList tableKeys;
        for (const settings_table::Setting& setting : settings_table::settings())
            tableKeys << setting.key;
        writtenKeys.sort();
        tableKeys.sort();
        QCOMPARE(writtenKeys, tableKeys);
        QVERIFY(lines.contains(QStringLiteral("upscaling=FSR")));
        QVERIFY(lines.contains(QStringLiteral("audio_gain=1")));
        QVERIFY(lines.contains(QStringLiteral("xma_worker=true")));
    }

    void roundTripKeepsEveryField()
    {
        LauncherSettings s;
        s.resolution_scale = 3;
        s.upscaling = QStringLiteral("Bilinear");
        s.swap_post_effect = QStringLiteral("none");
        s.anisotropic_override = 0;
        s.native_2x_msaa = true;
        s.async_shader_compilation = false;
        s.vulkan_pipeline_creation_threads = 7;
        s.vsync = false;
        s.frame_limit = 144;
        s.windowed = true;
        s.audio_gain = 0.35;
        s.audio_highpass_hz = 120;
        s.audio_force_stereo = true;
        s.audio_front_only = true;
        s.audio_maxqframes = 64;
        s.xma_worker = false;
        s.user_data_root = QStringLiteral("/data/saves with space");
        s.log_dir = QStringLiteral("/var/log/tessarine");
        s.log_level = QStringLiteral("debug");
        s.vulkan_sparse_shared_memory = true;
        s.vulkan_async_skip_incomplete_frames = true;
        s.user_language = 1033;
        s.user_country = 103;
        saveLauncherSettings(s);
        QCOMPARE(loadLauncherSettings(), s);
    }

    void loadTakesStoredValuesUnchecked()
    {
        QSettings& settings = sharedSettings();
        settings.setValue(QStringLiteral("settings/frame_limit"), 5000);
        settings.setValue(QStringLiteral("settings/upscaling"), QStringLiteral("fsr"));
        settings.setValue(QStringLiteral("settings/resolution_scale"), QStringLiteral("not a number"));
        settings.sync();
        const LauncherSettings s = loadLauncherSettings();
        QCOMPARE(s.frame_limit, 5000);
        QCOMPARE(s.upscaling, QStringLiteral("fsr"));
        QCOMPARE(s.resolution_scale, 0); // the conversion's fallback
    }

    void corruptFilesYieldDefaultsOrFallbacks_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[settings\x00]\x01=\x02\n\x80\x81", 14);
        QTest::newRow("unterminated section") << QByteArray("[settings\nvsync=false\n");
        QTest::newRow("garbage lines") << QByteArray("=\n==\n[]\n[settings]\n=1\nnoequals\n");
        QTest::newRow("huge line") << QByteArray(200000, 'x');
    }

    void corruptFilesYieldDefaultsOrFallbacks()
    {
        QFETCH(QByteArray, content);
        writeFile(sharedSettings().fileName(), content);
        sharedSettings().sync(); // picks up the file written behind its back
        const LauncherSettings s = loadLauncherSettings();
        QCOMPARE(s.log_level, QStringLiteral("info"));
        QCOMPARE(s.anisotropic_override, 16);
        saveLauncherSettings(s); // and the launcher can still write its settings
        QCOMPARE(loadLauncherSettings(), s);
    }

    // The launch options live in a group of their own: "settings" keeps its
    // 23 keys.
    void launchOptionsRoundTripInTheirOwnGroup()
    {
        QCOMPARE(loadLaunchOptions(), LaunchOptions());
        LaunchOptions options;
        options.wrapper = QStringLiteral("gamescope -w 1280 -h 800 -- %command%");
        options.environment = {"MANGOHUD=1", "DXVK_HUD=fps,memory", "A=b=c"};
        QVERIFY(saveLaunchOptions(options));
        saveLauncherSettings(LauncherSettings());
        QCOMPARE(loadLaunchOptions(), options);
        QSettings file(sharedSettings().fileName(), QSettings::IniFormat);
        QCOMPARE(file.childGroups(), (QStringList{"launch", "settings"}));
        file.beginGroup(QStringLiteral("settings"));
        QCOMPARE(file.childKeys().size(), 23);
        file.endGroup();
        QCOMPARE(file.value(QStringLiteral("launch/wrapper")).toString(), options.wrapper);

        QVERIFY(saveLaunchOptions(LaunchOptions()));
        QCOMPARE(loadLaunchOptions(), LaunchOptions());
    }

    void saveKeepsOtherKeysUntouched()
    {
        QSettings& settings = sharedSettings();
        settings.setValue(dataRootSettingsKey(), QStringLiteral("/srv/games"));
        settings.setValue(QStringLiteral("detection/4E3D2C71/root"), QStringLiteral("/srv/games/tvl"));
        saveLauncherSettings(LauncherSettings());
        QCOMPARE(settings.value(dataRootSettingsKey()).toString(), QStringLiteral("/srv/games"));
        QCOMPARE(settings.value(QStringLiteral("detection/4E3D2C71/root")).toString(), QStringLiteral("/srv/games/tvl"));
    }
};

ORVELLO_TEST_MAIN(TestSettings)
#include "settings_test.moc"
