// orvello-run: the launcher's supervisor. Starts the game as its child,
// records the run in the play journal, passes termination signals on and
// exits with the game's status (see command_line.h and supervised_run.h).
#include "supervisor/command_line.h"
#include "supervisor/detached_run.h"
#include "supervisor/supervised_run.h"

#include <cstdio>
#include <cstring>

namespace {

void complain(const std::string& message)
{
    std::fprintf(stderr, "orvello-run: %s\n", message.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    using namespace supervisor;
    std::string error;
    const auto commandLine = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc), &error);
    if (!commandLine) {
        complain(error);
        std::fputs(usageText().c_str(), stderr);
        return kExitSupervisorFailed;
    }
    const RunRequest& request = commandLine->request;
    const SystemClock clock;
    const Supervision supervise = [&](const std::function<void(int)>& started) {
        return superviseRun(request, clock, started, complain);
    };
    if (commandLine->detach)
        return runDetached(supervise, request.command.front(), complain);
    return supervise([&request](int startError) {
        if (startError != 0)
            complain("cannot start " + request.command.front() + ": " + std::strerror(startError));
    });
}
