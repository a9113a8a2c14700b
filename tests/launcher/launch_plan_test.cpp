// The game's argument list and printable command line.
#include "core/game_profile.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/settings_table.h"
#include "test_support.h"

#include <QApplication>

using namespace testing_support;

class TestLaunchPlan : public QObject {
    Q_OBJECT

private slots:
    void defaultArgumentList()
    {
        ScratchHome home;
        const QString r = home.filePath(QStringLiteral("R"));
        makeGameRoot(r);
        makeProgramFiles(r);
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), r, r);
        const QStringList expected{
            "--gpu_plugin=xenos", "--game_data_root=" + r + "/gamedata", "--present_effect=fsr",
            "--log_file=" + r + "/logs/game.log", "--log_level=info", "--resolution_scale=1",
            "--swap_post_effect=fxaa", "--anisotropic_override=5", "--native_2x_msaa=false",
            "--async_shader_compilation=true", "--vsync=true", "--fullscreen=true", "--frame_limit=0",
            "--audio_output_gain=1.00", "--audio_force_stereo=false", "--vulkan_sparse_shared_memory=false",
            "--vulkan_async_skip_incomplete_frames=false"};
        QCOMPARE(plan.arguments, expected);
        QCOMPARE(plan.arguments.size(), 17);
        QCOMPARE(plan.exePath, r + "/tessarine");
        QCOMPARE(plan.workingDir, r);
        QCOMPARE(plan.logDir, r + "/logs");
        QCOMPARE(plan.environment, QStringList{"SDL_AUDIO_DRIVER=pulseaudio"});
        QCOMPARE(plan.commandLine, (QStringList{plan.exePath} + expected).join(' '));
        QVERIFY(plan.programFilesFound);
    }

    void settingsBecomeFlags_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QStringList>("flags"); // every argument with that prefix
        QTest::addColumn<int>("argumentCount");
        QTest::newRow("bilinear") << "upscaling" << QVariant("Bilinear") << "--present_effect=" << QStringList{"--present_effect=bilinear"} << 17;
        QTest::newRow("fsr any case") << "upscaling" << QVariant("fSr") << "--present_effect=" << QStringList{"--present_effect=fsr"} << 17;
        QTest::newRow("unknown upscaler") << "upscaling" << QVariant("nearest") << "--present_effect=" << QStringList{"--present_effect=bilinear"} << 17;
        QTest::newRow("gain 0.05") << "audio_gain" << QVariant(0.05) << "--audio_output_gain=" << QStringList{"--audio_output_gain=0.05"} << 17;
        QTest::newRow("gain 2") << "audio_gain" << QVariant(2.0) << "--audio_output_gain=" << QStringList{"--audio_output_gain=2.00"} << 17;
        QTest::newRow("windowed") << "windowed" << QVariant(true) << "--fullscreen=" << QStringList{"--fullscreen=false"} << 17;
        QTest::newRow("negative frame limit") << "frame_limit" << QVariant(-3) << "--frame_limit=" << QStringList{"--frame_limit=-3"} << 17;
        QTest::newRow("pipeline threads") << "vulkan_pipeline_creation_threads" << QVariant(4) << "--vulkan_pipeline" << QStringList{"--vulkan_pipeline_creation_threads=4"} << 18;
        QTest::newRow("queue frames") << "audio_maxqframes" << QVariant(256) << "--audio_maxq" << QStringList{"--audio_maxqframes=256"} << 18;
        QTest::newRow("user_language") << "user_language" << QVariant(1033) << "--user_language=" << QStringList{"--user_language=1033"} << 18;
        QTest::newRow("user_country") << "user_country" << QVariant(103) << "--user_country=" << QStringList{"--user_country=103"} << 18;
        QTest::newRow("user data root") << "user_data_root" << QVariant("/saves") << "--user_data_root=" << QStringList{"--user_data_root=/saves"} << 18;
        QTest::newRow("highpass not passed") << "audio_highpass_hz" << QVariant(200) << "highpass" << QStringList{} << 17;
        QTest::newRow("front only not passed") << "audio_front_only" << QVariant(true) << "front" << QStringList{} << 17;
        QTest::newRow("xma worker not passed") << "xma_worker" << QVariant(false) << "xma" << QStringList{} << 17;
    }

    void settingsBecomeFlags()
    {
        QFETCH(QString, key);
        QFETCH(QVariant, value);
        QFETCH(QString, prefix);
        QFETCH(QStringList, flags);
        QFETCH(int, argumentCount);
        const settings_table::Setting* setting = settings_table::find(key);
        QVERIFY(setting);
        LauncherSettings s;
        setting->assign(s, value);
        QCOMPARE(setting->valueIn(s), value);
        const QStringList args = buildLaunchPlan(gameProfile(), s, "/g", "/g").arguments;
        QCOMPARE(args.filter(prefix), flags);
        QCOMPARE(args.size(), argumentCount);
    }

    void optionalFlagsKeepTheirPlaces()
    {
        LauncherSettings s;
        s.user_data_root = "/saves";
        s.vulkan_pipeline_creation_threads = 2;
        s.audio_maxqframes = 8;
        s.user_language = 7;
        s.user_country = 9;
        const QStringList args = buildLaunchPlan(gameProfile(), s, "/g", "/g").arguments;
        QCOMPARE(args.size(), 22);
        QCOMPARE(args.indexOf("--user_data_root=/saves"), 5);
        QCOMPARE(args.indexOf("--vulkan_pipeline_creation_threads=2"), 11);
        QCOMPARE(args.indexOf("--audio_maxqframes=8"), 17);
        QCOMPARE(args.mid(20), (QStringList{"--user_language=7", "--user_country=9"}));
    }

    void anisotropicLevels_data()
    {
        QTest::addColumn<int>("factor");
        QTest::addColumn<int>("level");
        const QList<std::pair<int, int>> table{{-4, -1}, {0, -1}, {1, 1}, {2, 2}, {3, 2}, {4, 3}, {7, 3},
                                               {8, 4}, {15, 4}, {16, 5}, {17, 5}, {1 << 30, 5}};
        for (const auto& [factor, level] : table)
            QTest::addRow("%d", factor) << factor << level;
    }

    void anisotropicLevels()
    {
        QFETCH(int, factor);
        QFETCH(int, level);
        QCOMPARE(anisotropicLevel(factor), level);
    }

    void foldersDecideDataRootAndLogFile()
    {
        ScratchHome home;
        const QString flat = home.filePath(QStringLiteral("flat"));
        makeGameRoot(flat, QStringLiteral("4E3D2C71"), false);
        LauncherSettings s;
        s.log_dir = QStringLiteral("/var/log/tvl");
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), s, flat, QStringLiteral("/elsewhere"));
        QVERIFY(plan.arguments.contains("--game_data_root=" + flat));
        QVERIFY(plan.arguments.contains(QStringLiteral("--log_file=/var/log/tvl/game.log")));
        QCOMPARE(plan.dataRoot, QStringLiteral("/elsewhere"));

        // A relative log folder means the same place to the launcher, which
        // creates it, and to the game, which runs in another folder.
        s.log_dir = QStringLiteral("relative/logs");
        const LaunchPlan relative = buildLaunchPlan(gameProfile(), s, flat, flat);
        QCOMPARE(relative.logDir, QDir::current().absoluteFilePath(QStringLiteral("relative/logs")));
        QVERIFY(relative.arguments.contains("--log_file=" + relative.logDir + "/game.log"));
    }

    void spacesAreQuotedOnlyInTheCommandLine()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("My Games/TVL"));
        makeGameRoot(root);
        makeProgramFiles(root);
        LauncherSettings s;
        s.user_data_root = QStringLiteral("/saves/\"quoted\" dir");
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), s, root, root);
        QVERIFY(plan.commandLine.startsWith(root + "/tessarine --gpu_plugin=xenos \"--game_data_root=" + root + "/gamedata\" "));
        QVERIFY(plan.commandLine.contains(QStringLiteral(" \"--user_data_root=/saves/\"quoted\" dir\" ")));
        QVERIFY(plan.arguments.contains("--game_data_root=" + root + "/gamedata"));
        QCOMPARE(printableCommandLine("/a b/exe", {"x", "y z"}), QStringLiteral("/a b/exe x \"y z\""));
    }

    // The wrapper's words around the game's command (@game: the executable
    // and its 17 arguments), or after it without %command%.
    void wrapperMakesTheWholeCommand_data()
    {
        QTest::addColumn<QString>("wrapper");
        QTest::addColumn<QStringList>("command");
        QTest::newRow("none") << "" << QStringList{"@game"};
        QTest::newRow("blank") << "   " << QStringList{"@game"};
        QTest::newRow("before the game") << "gamemoderun %command%" << QStringList{"gamemoderun", "@game"};
        QTest::newRow("with arguments of its own") << "gamescope -w 1280 -h 800 -- %command%"
                                                   << QStringList{"gamescope", "-w", "1280", "-h", "800", "--", "@game"};
        QTest::newRow("two wrappers") << "gamemoderun mangohud %command% --fps" << QStringList{"gamemoderun", "mangohud", "@game", "--fps"};
        QTest::newRow("without %command%: after the game's arguments") << "-novid  +fps 60"
                                                                       << QStringList{"@game", "-novid", "+fps", "60"};
        QTest::newRow("%command% inside a word is no command") << "run=%command%" << QStringList{"@game", "run=%command%"};
        QTest::newRow("quoted words") << "\"/opt/my tools/run\" %command% \"a b\""
                                      << QStringList{"/opt/my tools/run", "@game", "a b"};
        QTest::newRow("three quotes are one") << "echo \"\"\"hi %command%" << QStringList{"echo", "\"hi", "@game"};
    }

    void wrapperMakesTheWholeCommand()
    {
        QFETCH(QString, wrapper);
        QFETCH(QStringList, command);
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("R"));
        makeGameRoot(root);
        makeProgramFiles(root);
        LaunchOptions options;
        options.wrapper = wrapper;
        const LaunchPlan plain = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root);
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root, options);
        QStringList expected;
        for (const QString& word : command)
            expected << (word == "@game" ? QStringList{plan.exePath} + plan.arguments : QStringList{word});
        QCOMPARE(plan.command, expected);
        QCOMPARE(plan.arguments, plain.arguments); // the game's own 17 stay as they are
        QCOMPARE(plan.commandProblem, QString());
        QCOMPARE(plan.commandLine, printableCommandLine(expected.first(), expected.mid(1)));
        if (wrapper.trimmed().isEmpty())
            QCOMPARE(plan.commandLine, plain.commandLine);
    }

    void wrapperWithAnUnclosedQuoteIsRefused_data()
    {
        QTest::addColumn<QString>("wrapper");
        QTest::addColumn<bool>("unclosed");
        QTest::newRow("open quote") << "\"gamemoderun %command%" << true;
        QTest::newRow("quote left open at the end") << "gamemoderun %command% \"" << true;
        QTest::newRow("closed at the end") << "env \"A=b c\"" << false;
        QTest::newRow("empty quotes") << "run \"\" %command%" << false;
        QTest::newRow("a literal quote") << "echo \"\"\" %command%" << false;
    }

    void wrapperWithAnUnclosedQuoteIsRefused()
    {
        QFETCH(QString, wrapper);
        QFETCH(bool, unclosed);
        LaunchOptions options;
        options.wrapper = wrapper;
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), "/g", "/g", options);
        QCOMPARE(plan.commandProblem,
                 unclosed ? QStringLiteral("The command wrapper has an unclosed quote.") : QString());
    }

    void playersEnvironmentComesAfterTheProfiles()
    {
        LaunchOptions options;
        options.environment = {"MANGOHUD=1", "SDL_AUDIO_DRIVER=alsa"};
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), "/g", "/g", options);
        QCOMPARE(plan.environment, (QStringList{"SDL_AUDIO_DRIVER=pulseaudio", "MANGOHUD=1", "SDL_AUDIO_DRIVER=alsa"}));
    }

    void missingProgramFilesStillGiveACompletePlan()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("R"));
        makeGameRoot(root);
        const LaunchPlan plan = buildLaunchPlan(gameProfile(), LauncherSettings(), root, root);
        QVERIFY(!plan.programFilesFound);
        QCOMPARE(plan.exePath, root + "/tessarine");
        QCOMPARE(plan.workingDir, root);
        QCOMPARE(plan.arguments.size(), 17);
        QVERIFY(plan.commandLine.startsWith(root + "/tessarine --gpu_plugin=xenos"));
        QVERIFY(!plan.searched.isEmpty());
    }
};

ORVELLO_TEST_MAIN(TestLaunchPlan)
#include "launch_plan_test.moc"
