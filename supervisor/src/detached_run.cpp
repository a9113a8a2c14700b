// The supervisor in the background (see detached_run.h).
#include "supervisor/detached_run.h"

#include "supervisor/supervised_run.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

namespace supervisor {

namespace {

// Reads the start report: the errno of the start, or nothing when the child
// ended before it could tell.
std::optional<int> readStartReport(int fd)
{
    int report = 0;
    std::size_t done = 0;
    while (done < sizeof report) {
        const ssize_t got = ::read(fd, reinterpret_cast<char*>(&report) + done, sizeof report - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt;
        done += std::size_t(got);
    }
    return report;
}

} // namespace

int runDetached(const Supervision& supervise, const std::string& program,
                const std::function<void(const std::string&)>& complain)
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        complain(std::string("cannot start the supervisor: ") + std::strerror(errno));
        return kExitSupervisorFailed;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        complain(std::string("cannot start the supervisor: ") + std::strerror(errno));
        ::close(report[0]);
        ::close(report[1]);
        return kExitSupervisorFailed;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        const int status = supervise([&report](int error) {
            // The parent is waiting for exactly this; a failed write shows
            // there as a child that ended before it told.
            [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
            ::close(report[1]);
        });
        ::_exit(status);
    }
    ::close(report[1]);
    const std::optional<int> error = readStartReport(report[0]);
    ::close(report[0]);
    if (!error) {
        int status = 0;
        ::waitpid(child, &status, 0);
        complain("the supervisor ended before the game started");
        return kExitSupervisorFailed;
    }
    if (*error != 0) {
        complain("cannot start " + program + ": " + std::strerror(*error));
        return exitStatusForStartError(*error);
    }
    return 0;
}

} // namespace supervisor
