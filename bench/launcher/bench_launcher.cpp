// bench_launcher: how long the launcher's searches take to give the window
// its status. In a scratch home with 2,000 folders under ~/Games (a few
// files each, none the game) and the game in the last one, it times
//   - start-up up to the window shown and its status filled in (cold:
//     nothing remembered yet, so the data search walks every folder; warm:
//     the root is remembered); the search runs off the GUI thread, and the
//     time runs until its result is shown,
//   - one refreshStatus up to its status shown (the program-files search,
//     which lists every game root again, off the GUI thread too),
//   - one PLAY up to the detached start of the stand-in game.
// Goals on the reference machine: start-up <= 300 ms, refresh and PLAY
// <= 50 ms each.
//   bench_launcher [--folders N] [--runs N]
#include "bench_home.h"
#include "core/app_setup.h"
#include "core/game_data.h"
#include "core/game_launch.h"
#include "core/game_profile.h"
#include "core/launch_plan.h"
#include "core/launcher_settings.h"
#include "core/shared_memory_cleanup.h"
#include "window/main_window.h"
#include "window/theme.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

struct Options {
    int folders = 2000;
    int runs = 15;
};

Options parseOptions(const QStringList& args)
{
    Options options;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--folders"))
            options.folders = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--runs"))
            options.runs = std::max(1, args[i + 1].toInt());
    }
    return options;
}

double medianMs(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

template <typename Run>
double timeMs(int runs, Run&& run)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        samples.push_back(timer.nsecsElapsed() / 1e6);
        QCoreApplication::processEvents();
    }
    return medianMs(samples);
}

// Runs the event loop until the window's status lookup has come back.
void waitForTheStatus(const MainWindow& window)
{
    while (window.isLookingForGameData())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// What main() does between the application object and the event loop, and
// then the loop until the status is shown.
std::unique_ptr<MainWindow> startLauncher()
{
    QString styleSheet;
    if (loadThemedStyleSheet(gameProfile(), &styleSheet))
        qApp->setStyleSheet(styleSheet);
    auto window = std::make_unique<MainWindow>();
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qFatal("the window was never shown");
    window->finishStartup(); // the search and the status, if the first frame came without them
    waitForTheStatus(*window);
    return window;
}

void report(const char* what, double ms, double goal)
{
    std::printf("%-34s %8.2f ms   goal <= %3.0f ms   %s\n", what, ms, goal, ms <= goal ? "met" : "MISSED");
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir home(QStringLiteral(ORVELLO_BENCH_SCRATCH "/home-XXXXXX"));
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral(".config")).toLocal8Bit());
    qputenv("TESSARINE_STANDIN_SECONDS", "0.2");
    QApplication app(argc, argv);
    configureApplication(gameProfile());
    const Options options = parseOptions(app.arguments());
    populateBenchHome(home.path(), options.folders);
    std::printf("launcher benchmark: %d folders under ~/Games, game in the last one, median of %d runs (%s)\n",
                options.folders, options.runs, qPrintable(QGuiApplication::platformName()));

    const double cold = timeMs(options.runs, [] {
        sharedSettings().remove(QStringLiteral("detection"));
        startLauncher();
    });
    const double warm = timeMs(options.runs, [] { startLauncher(); });

    std::unique_ptr<MainWindow> window = startLauncher();
    auto* play = window->findChild<QPushButton*>(QStringLiteral("playButton"));
    const double refresh = timeMs(options.runs, [&] {
        window->refreshStatus();
        waitForTheStatus(*window);
    });
    const double launch = timeMs(options.runs, [&] { play->click(); });

    // Where PLAY's time goes.
    const QString root = resolveGameRoot(gameProfile());
    const LauncherSettings settings = loadLauncherSettings();
    const double save = timeMs(options.runs, [&] { saveLauncherSettings(settings); });
    const double plan = timeMs(options.runs, [&] { buildLaunchPlan(gameProfile(), settings, root, root); });
    const double cleanup = timeMs(options.runs, [] { removeStaleSharedMemory(gameProfile()); });
    const LaunchPlan launchPlan = buildLaunchPlan(gameProfile(), settings, root, root);
    const double start = timeMs(options.runs, [&] { launchGame(launchPlan); });

    report("start-up, nothing remembered", cold, 300);
    report("start-up, root remembered", warm, 300);
    report("refreshStatus", refresh, 50);
    report("PLAY up to the detached start", launch, 50);
    std::printf("  of which: save %.2f ms, plan %.2f ms, shared-memory cleanup %.2f ms, start %.2f ms\n", save, plan,
                cleanup, start);
    return 0;
}
