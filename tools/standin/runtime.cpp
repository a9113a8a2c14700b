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
#include <sys/resource.h>
#include <unistd.h>

namespace kyn::runtime {

namespace {

constexpr std::string_view logFilePrefix = "--log_file=";
constexpr const char* runSecondsVariable = "TESSARINE_STANDIN_SECONDS";
constexpr const char* exitCodeVariable = "TESSARINE_STANDIN_EXIT_CODE";
constexpr const char* endSignalVariable = "TESSARINE_STANDIN_SIGNAL";
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

// The value of an optional number in the environment; a value the parser
// refuses is reported and counts as unset.
std::optional<int> numberFromEnvironment(const char* variable, std::optional<int> (*parse)(std::string_view),
                                         const char* expected)
{
    const char* text = std::getenv(variable);
    if (!text) return std::nullopt;
    if (const auto number = parse(text)) return number;
    std::cerr << "tessarine: ignoring " << variable << "=\"" << text << "\" (not " << expected << ")\n";
    return std::nullopt;
}

std::optional<int> parseDecimal(std::string_view text, int lowest, int highest)
{
    int number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    if (number < lowest || number > highest) return std::nullopt;
    return number;
}

// Dies of the signal, the way a crashing game does. The signal is blocked
// or may have a handler, so its default action is restored and it is
// unblocked before it is raised; with no core file limit the kernel writes
// no core file, which a simulated crash has no use for.
[[noreturn]] void dieOfSignal(int signal)
{
    const rlimit noCoreFile{0, 0};
    setrlimit(RLIMIT_CORE, &noCoreFile);
    std::signal(signal, SIG_DFL);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
    raise(signal);
    std::_Exit(128 + signal); // not reached: every accepted signal ends the process
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

std::optional<int> parseExitCode(std::string_view text)
{
    return parseDecimal(text, 0, 255);
}

std::optional<int> parseEndSignal(std::string_view text)
{
    const auto signal = parseDecimal(text, 1, 64);
    if (!signal) return std::nullopt;
    // Signals whose default action is to ignore the signal or to stop the
    // process would not end it.
    for (const int lasting : {SIGCHLD, SIGCONT, SIGURG, SIGWINCH, SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU})
        if (*signal == lasting) return std::nullopt;
    return signal;
}

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
    const int exitCode = numberFromEnvironment(exitCodeVariable, parseExitCode, "an exit code from 0 to 255").value_or(0);
    const auto endSignal = numberFromEnvironment(endSignalVariable, parseEndSignal,
                                                 "the number of a signal that ends a process");

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
    if (endSignal) dieOfSignal(*endSignal);
    return exitCode;
}

} // namespace kyn::runtime
