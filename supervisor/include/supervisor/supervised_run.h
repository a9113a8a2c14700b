// One run of the game under orvello-run: start the game as a child with the
// supervisor's own environment and working folder, write the start to the
// journal, pass SIGTERM, SIGINT and SIGHUP on to the game, wait for it and
// write its end.
//
// The run's duration is measured on CLOCK_MONOTONIC, which does not advance
// while the machine is suspended: a game left running overnight on a laptop
// that went to sleep counts only the time the machine was awake. Both clocks
// come through RunClock, so that tests can play hours in milliseconds.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace supervisor {

class RunClock {
public:
    virtual ~RunClock() = default;
    // Milliseconds on a clock that stops during suspend (CLOCK_MONOTONIC).
    virtual long long monotonicMs() const = 0;
    // Milliseconds since 1970-01-01 UTC (CLOCK_REALTIME).
    virtual long long wallMs() const = 0;
};

class SystemClock final : public RunClock {
public:
    long long monotonicMs() const override;
    long long wallMs() const override;
};

struct RunRequest {
    std::string journalPath;
    std::string gameRoot;
    // The game's command: the program (searched on PATH when it holds no
    // "/", like a wrapper such as "gamemoderun") and its arguments.
    std::vector<std::string> command;
};

// The exit statuses of the supervisor itself, as env(1) and the shells use
// them: the game could not be started because the program was not found
// (127) or could not be run (126); the supervisor failed before (125).
inline constexpr int kExitSupervisorFailed = 125;
inline constexpr int kExitCannotRun = 126;
inline constexpr int kExitNotFound = 127;

// What the supervisor exits with for a game's wait status: its exit code,
// or 128 + the signal that killed it.
int exitStatusOf(int waitStatus);

// The supervisor's exit status when the game could not be started (errno).
int exitStatusForStartError(int errorNumber);

// Runs the game and returns the supervisor's exit status: the game's (see
// exitStatusOf), or exitStatusForStartError when it could not be started.
// started is called once, with 0 as soon as the game runs or with the
// errno of the failed start. Journal failures go to complain and never stop
// the game: that run is then not recorded.
//
// Blocks SIGTERM, SIGINT, SIGHUP and SIGCHLD in the calling thread while it
// runs (the game gets the mask the caller had) and must be the only thread
// of the process that waits for children.
int superviseRun(const RunRequest& request, const RunClock& clock, const std::function<void(int)>& started,
                 const std::function<void(const std::string&)>& complain);

} // namespace supervisor
