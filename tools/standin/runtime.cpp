// The stand-in game runtime's main sequence: set up, record, wait, clean up.
#include "runtime.h"

#include "guest_memory.h"
#include "launch_record.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>

namespace kyn::runtime {

namespace {

constexpr std::string_view logFilePrefix = "--log_file=";
constexpr const char* runSecondsVariable = "TESSARINE_STANDIN_SECONDS";
constexpr std::size_t guestMemorySize = 1 << 20;

std::string environmentValue(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

double runSecondsFromEnvironment()
{
    const char* text = std::getenv(runSecondsVariable);
    if (!text) return defaultRunSeconds;
    if (const auto seconds = parseRunSeconds(text)) return *seconds;
    std::cerr << "tessarine: ignoring " << runSecondsVariable << "=\"" << text
              << "\" (not a number of seconds from 0 to " << maximumRunSeconds
              << "); running " << defaultRunSeconds << " s\n";
    return defaultRunSeconds;
}

std::optional<std::string> logFileArgument(int argc, char** argv)
{
    std::optional<std::string> path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.substr(0, logFilePrefix.size()) == logFilePrefix)
            path = std::string(argument.substr(logFilePrefix.size()));
    }
    return path;
}

std::string currentFolder()
{
    std::error_code error;
    const auto folder = std::filesystem::current_path(error);
    return error ? std::string() : folder.string();
}

sigset_t terminationSignals()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    return signals;
}

// Sleeps until the time is up or one of the blocked termination signals is
// pending, which it then consumes.
void waitForShutdown(double seconds, const sigset_t& signals)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(seconds));
    for (;;) {
        const auto remaining = deadline - Clock::now();
        if (remaining <= Clock::duration::zero()) return;
        const auto wholeSeconds = std::chrono::duration_cast<std::chrono::seconds>(remaining);
        const auto nanoseconds =
            std::chrono::duration_cast<std::chrono::nanoseconds>(remaining - wholeSeconds);
        const timespec timeout{static_cast<time_t>(wholeSeconds.count()),
                               static_cast<long>(nanoseconds.count())};
        if (sigtimedwait(&signals, nullptr, &timeout) >= 0) return; // asked to stop
        if (errno != EINTR) return;                                 // EAGAIN: time is up
    }
}

} // namespace

std::optional<double> parseRunSeconds(std::string_view text)
{
    double seconds = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds, std::chars_format::fixed);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    if (!std::isfinite(seconds) || seconds < 0 || seconds > maximumRunSeconds) return std::nullopt;
    return seconds;
}

int runGame(int argc, char** argv)
{
    const sigset_t signals = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    const double runSeconds = runSecondsFromEnvironment();

    kyn::gpu::GuestMemory memory;
    std::string error;
    if (!memory.create(guestMemorySize, &error)) {
        std::cerr << "tessarine: " << error << "\n";
        return 1;
    }

    if (const auto logPath = logFileArgument(argc, argv)) {
        LaunchRecord record;
        if (argc > 1) record.arguments.assign(argv + 1, argv + argc);
        record.workingFolder = currentFolder();
        record.audioDriver = environmentValue("SDL_AUDIO_DRIVER");
        record.pid = static_cast<long>(getpid());
        record.sharedMemoryFile = memory.filePath();
        if (!writeLaunchRecord(*logPath, record, &error)) {
            std::cerr << "tessarine: " << error << "\n";
            return 1; // memory's destructor removes the shared-memory file
        }
    }

    waitForShutdown(runSeconds, signals);
    memory.release();
    return 0;
}

} // namespace kyn::runtime
