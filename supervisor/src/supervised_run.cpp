// One supervised run of the game (see supervised_run.h).
#include "supervisor/supervised_run.h"

#include "supervisor/journal_file.h"
#include "supervisor/journal_format.h"
#include "supervisor/process_identity.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace supervisor {

namespace {

long long clockMs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

sigset_t signalSet(std::initializer_list<int> signals)
{
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : signals)
        sigaddset(&set, signal);
    return set;
}

// The signals the supervisor takes with sigwaitinfo: the ones it passes on,
// and SIGCHLD for the game's end.
const sigset_t kWaitedSignals = signalSet({SIGTERM, SIGINT, SIGHUP, SIGCHLD});

// Blocks the waited signals for the supervisor's lifetime, so that none is
// lost between the start and the wait, and gives SIGCHLD its default
// action: a parent that ignored it would have the kernel reap the game
// before the supervisor learns how it ended. Restores both at the end.
class BlockedSignals {
public:
    BlockedSignals()
    {
        pthread_sigmask(SIG_BLOCK, &kWaitedSignals, &previousMask_);
        struct sigaction defaultAction {};
        defaultAction.sa_handler = SIG_DFL;
        sigaction(SIGCHLD, &defaultAction, &previousChildAction_);
    }
    ~BlockedSignals()
    {
        sigaction(SIGCHLD, &previousChildAction_, nullptr);
        pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    }
    BlockedSignals(const BlockedSignals&) = delete;
    BlockedSignals& operator=(const BlockedSignals&) = delete;

    const sigset_t& previousMask() const { return previousMask_; }

private:
    sigset_t previousMask_;
    struct sigaction previousChildAction_ {};
};

// Starts the command with the supervisor's environment, working folder and
// open files, and the signal mask the supervisor was started with. Returns 0
// or the errno of the failed start (posix_spawnp reports a failed exec too).
int spawnGame(const std::vector<std::string>& command, const sigset_t& gameMask, pid_t* game)
{
    std::vector<std::string> strings = command;
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setsigmask(&attributes, &gameMask);
    const int error = posix_spawnp(game, argv[0], nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return error;
}

// Ctrl+C in a terminal sends SIGINT to the terminal's whole foreground
// process group (closing it, SIGHUP): when the game shares the supervisor's
// group it got that signal itself, and a second one could make it quit
// without saving.
bool alreadyReachedGame(const siginfo_t& info, pid_t game)
{
    return info.si_code == SI_KERNEL && getpgid(game) == getpgrp();
}

// Waits for the game's end, passing the termination signals on; returns its
// wait status.
int waitForGame(pid_t game)
{
    int status = 0;
    for (;;) {
        siginfo_t info{};
        const int signal = sigwaitinfo(&kWaitedSignals, &info);
        if (signal < 0 && errno == EINTR)
            continue;
        if (signal < 0)
            break; // cannot happen with a valid set; wait without passing signals on
        if (signal != SIGCHLD) {
            if (!alreadyReachedGame(info, game))
                kill(game, signal);
            continue;
        }
        if (waitpid(game, &status, WNOHANG) == game)
            return status;
    }
    while (waitpid(game, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

RunIdentity identityOf(pid_t game)
{
    const long self = static_cast<long>(getpid());
    return RunIdentity{readBootId(), readProcessIdentity(self).value_or(ProcessIdentity{self, 0}),
                       readProcessIdentity(game).value_or(ProcessIdentity{game, 0})};
}

RunEnd endOf(const RunIdentity& run, int waitStatus, long long durationMs)
{
    if (WIFSIGNALED(waitStatus))
        return RunEnd{run, RunEndKind::Signalled, WTERMSIG(waitStatus), durationMs};
    return RunEnd{run, RunEndKind::Exited, WEXITSTATUS(waitStatus), durationMs};
}

} // namespace

long long SystemClock::monotonicMs() const
{
    return clockMs(CLOCK_MONOTONIC);
}

long long SystemClock::wallMs() const
{
    return clockMs(CLOCK_REALTIME);
}

int exitStatusOf(int waitStatus)
{
    return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

int exitStatusForStartError(int errorNumber)
{
    return errorNumber == ENOENT ? kExitNotFound : kExitCannotRun;
}

int superviseRun(const RunRequest& request, const RunClock& clock, const std::function<void(int)>& started,
                 const std::function<void(const std::string&)>& complain)
{
    const auto record = [&](const JournalRecord& entry, const char* what) {
        std::string error;
        if (!appendJournalLine(request.journalPath, formatLine(entry), &error))
            complain(std::string("cannot record the run's ") + what + " in " + request.journalPath + ": " + error);
    };

    const BlockedSignals blocked;
    const long long startMs = clock.monotonicMs();
    const long long wallMs = clock.wallMs();
    pid_t game = 0;
    if (const int error = spawnGame(request.command, blocked.previousMask(), &game)) {
        started(error);
        return exitStatusForStartError(error);
    }
    const RunIdentity run = identityOf(game);
    record(RunStart{run, wallMs, request.gameRoot}, "start");
    started(0);

    const int status = waitForGame(game);
    record(endOf(run, status, std::max(0LL, clock.monotonicMs() - startMs)), "end");
    return exitStatusOf(status);
}

} // namespace supervisor
