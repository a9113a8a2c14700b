// Supervising in the background: the caller (the launcher's PLAY) learns
// whether the game started, from the supervisor's exit status, without
// waiting for the game; the supervisor goes on in a process of its own.
#pragma once

#include <functional>
#include <string>

namespace supervisor {

// The supervising part: runs the game, calls started(0 or errno) once and
// returns the exit status the supervisor ends with.
using Supervision = std::function<int(const std::function<void(int)>& started)>;

// Forks; the child starts a new session (no terminal, so closing the
// caller's terminal sends it no SIGHUP) and runs supervise; the parent
// returns as soon as the child reported the start: 0 when the game runs,
// exitStatusForStartError when it could not start (complain gets why), or
// kExitSupervisorFailed when there was no child to run it.
int runDetached(const Supervision& supervise, const std::string& program,
                const std::function<void(const std::string&)>& complain);

} // namespace supervisor
