// bench_first_window: how soon the launcher's window shows, beside a bare Qt
// Widgets window, measured from outside the programs on the X server they
// show on (run it under Xvfb with bench/launcher/run-first-window).
//
// In a scratch home with 2,000 folders under ~/Games (the game in the last
// one) each round starts, one after the other:
//   - the launcher with nothing remembered (cold: its data search walks
//     every folder),
//   - the launcher with the game root remembered (warm),
//   - the bare window.
// Each program is started as a child; the clock starts just before the fork
// and reads, from this program's own X connection:
//   - mapped:  the MapNotify of the child's first top-level window
//              (SubstructureNotify on the root window);
//   - painted: the first Damage report on that window after it was mapped,
//              that is its first drawn frame (a Damage object is attached
//              to every new top-level window as it is created).
// The child is then ended. Reported: the median of each, and the launcher's
// painted time over the bare window's. Goal: at most 2x the bare window.
//   bench_first_window [--folders N] [--rounds N]
#include "bench_home.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 20000;

struct Options {
    int folders = 2000;
    int rounds = 9;
};

Options parseOptions(int argc, char* argv[])
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--folders") == 0)
            options.folders = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--rounds") == 0)
            options.rounds = std::max(1, std::atoi(argv[i + 1]));
    }
    return options;
}

struct Sample {
    double mappedMs = -1;
    double paintedMs = -1;
};

// Windows of ended children vanish under our Damage objects and requests;
// those errors are expected and harmless.
int ignoreXError(Display*, XErrorEvent*) { return 0; }

class XWatcher {
public:
    XWatcher()
        : display(XOpenDisplay(nullptr))
    {
        if (!display) {
            std::fprintf(stderr, "bench_first_window: no X display (DISPLAY=%s); run it under Xvfb "
                                 "(bench/launcher/run-first-window)\n", std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "");
            std::exit(2);
        }
        int errorBase = 0;
        if (!XDamageQueryExtension(display, &damageEventBase, &errorBase)) {
            std::fprintf(stderr, "bench_first_window: the X server has no DAMAGE extension\n");
            std::exit(2);
        }
        XSetErrorHandler(ignoreXError);
        root = DefaultRootWindow(display);
        XSelectInput(display, root, SubstructureNotifyMask);
        XSync(display, False);
    }
    ~XWatcher() { XCloseDisplay(display); }

    // Starts the program and waits for its first window to be mapped and
    // painted; ends the program then.
    Sample measure(const std::string& program)
    {
        drain();
        const Clock::time_point start = Clock::now();
        const pid_t child = fork();
        if (child == 0) {
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        Sample sample = waitForFirstFrame(start);
        kill(child, SIGTERM);
        waitpid(child, nullptr, 0);
        return sample;
    }

private:
    void drain()
    {
        XSync(display, False);
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
        }
    }

    Sample waitForFirstFrame(Clock::time_point start)
    {
        Sample sample;
        Window shown = 0;
        while (sample.paintedMs < 0) {
            const double elapsed = msSince(start);
            if (elapsed > kTimeoutMs)
                break;
            pollfd fd{ConnectionNumber(display), POLLIN, 0};
            if (!XPending(display))
                poll(&fd, 1, kTimeoutMs - int(elapsed));
            while (XPending(display) && sample.paintedMs < 0) {
                XEvent event;
                XNextEvent(display, &event);
                const double ms = msSince(start);
                if (event.type == CreateNotify && event.xcreatewindow.parent == root) {
                    XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty);
                    XFlush(display);
                } else if (event.type == MapNotify && !shown && !event.xmap.override_redirect) {
                    shown = event.xmap.window;
                    sample.mappedMs = ms;
                } else if (event.type == damageEventBase + XDamageNotify && shown &&
                           reinterpret_cast<XDamageNotifyEvent*>(&event)->drawable == shown) {
                    sample.paintedMs = ms;
                }
            }
        }
        return sample;
    }

    static double msSince(Clock::time_point start)
    {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    }

    Display* display = nullptr;
    Window root = 0;
    int damageEventBase = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

struct Series {
    const char* name;
    std::vector<double> mapped{}, painted{};
    int failures = 0;

    void add(const Sample& sample)
    {
        if (sample.mappedMs < 0 || sample.paintedMs < 0) {
            ++failures;
            return;
        }
        mapped.push_back(sample.mappedMs);
        painted.push_back(sample.paintedMs);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    const Options options = parseOptions(argc, argv);
    QTemporaryDir home(QStringLiteral(ORVELLO_BENCH_SCRATCH "/first-window-XXXXXX"));
    const QString config = QDir(home.path()).filePath(QStringLiteral(".config"));
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    populateBenchHome(home.path(), options.folders);
    const QString settingsFile = QDir(config).filePath(QStringLiteral("Velmarch/Orvello Launcher.ini"));

    XWatcher watcher;
    Series cold{"launcher, nothing remembered"}, warm{"launcher, root remembered"}, bare{"bare Qt window"};
    for (int round = 0; round < options.rounds; ++round) {
        QFile::remove(settingsFile);
        cold.add(watcher.measure(ORVELLO_LAUNCHER));
        warm.add(watcher.measure(ORVELLO_LAUNCHER));
        bare.add(watcher.measure(ORVELLO_BARE_WINDOW));
    }

    std::printf("first window under X (%s): %d folders under ~/Games, game in the last one, median of %d rounds\n",
                std::getenv("DISPLAY"), options.folders, options.rounds);
    std::printf("%-30s %10s %10s\n", "", "mapped", "painted");
    for (const Series* series : {&cold, &warm, &bare}) {
        std::printf("%-30s %7.1f ms %7.1f ms", series->name, median(series->mapped), median(series->painted));
        if (series->failures)
            std::printf("   (%d runs showed no window within %d s)", series->failures, kTimeoutMs / 1000);
        std::printf("\n");
    }
    const double bareMs = median(bare.painted);
    for (const Series* series : {&cold, &warm}) {
        const double ratio = median(series->painted) / bareMs;
        std::printf("%-30s %.2fx the bare window   goal <= 2.00x   %s\n", series->name, ratio,
                    ratio <= 2.0 ? "met" : "MISSED");
    }
    return 0;
}
