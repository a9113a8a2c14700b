// The child-process runner (see child_process.h).
#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <sstream>
#include <utility>

extern char** environ;

namespace child_process {
namespace {

// An owned descriptor, closed once.
class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    int get() const { return fd_; }
    void reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

Fd open_output(const std::string& path)
{
    return Fd(path.empty() ? ::open("/dev/null", O_WRONLY | O_CLOEXEC)
                           : ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
}

// The child's three standard descriptors, opened in the parent so that the
// child only has to move them into place.
struct StandardStreams {
    Fd in, out, err;
    Fd feed; // the parent's end of the input pipe, when there is one

    bool open(const ChildOptions& options)
    {
        if (options.stdin_data) {
            int pipe_ends[2];
            if (::pipe2(pipe_ends, O_CLOEXEC) != 0)
                return false;
            in = Fd(pipe_ends[0]);
            feed = Fd(pipe_ends[1]);
        } else {
            in = Fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        }
        out = open_output(options.stdout_path);
        err = open_output(options.stderr_path);
        return in.get() >= 0 && out.get() >= 0 && err.get() >= 0;
    }
};

std::vector<char*> raw_arguments(std::vector<std::string>& args)
{
    std::vector<char*> raw;
    for (std::string& arg : args)
        raw.push_back(arg.data());
    raw.push_back(nullptr);
    return raw;
}

// posix_spawn starts a child without copying the parent's page tables, so
// that a benchmark holding a large corpus in memory measures the program
// and not its own fork.
pid_t spawn(const char* program, std::vector<char*>& argv, const StandardStreams& streams, bool search_path)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, streams.in.get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, streams.out.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, streams.err.get(), STDERR_FILENO);
    pid_t pid = -1;
    const int failed = search_path ? posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ)
                                   : posix_spawn(&pid, program, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

// fork and exec, for what posix_spawn cannot set up: a resource limit.
// Between them the child makes only async-signal-safe calls.
pid_t fork_with_limit(const char* program, std::vector<char*>& argv, const StandardStreams& streams,
                      const ChildOptions& options)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    const struct rlimit limit = {options.address_space_limit, options.address_space_limit};
    if (::dup2(streams.in.get(), STDIN_FILENO) < 0 || ::dup2(streams.out.get(), STDOUT_FILENO) < 0 ||
        ::dup2(streams.err.get(), STDERR_FILENO) < 0 || ::setrlimit(RLIMIT_AS, &limit) != 0)
        ::_exit(126);
    if (options.search_path)
        ::execvp(program, argv.data());
    else
        ::execv(program, argv.data());
    ::_exit(127);
}

// Writes all of data to the pipe; a child that stops reading early ends the
// feed (SIGPIPE is ignored for the write, so it fails with EPIPE instead).
void feed_input(Fd& feed, const std::vector<uint8_t>& data)
{
    struct sigaction ignore {}, previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previous);
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(feed.get(), data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += size_t(n);
    }
    feed.reset();
    ::sigaction(SIGPIPE, &previous, nullptr);
}

double seconds_of(const struct timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

} // namespace

ChildExit run_child(const std::vector<std::string>& argv, const ChildOptions& options)
{
    ChildExit result;
    StandardStreams streams;
    if (argv.empty() || !streams.open(options))
        return result;
    std::vector<std::string> args = argv;
    std::vector<char*> raw = raw_arguments(args);

    const auto start = std::chrono::steady_clock::now();
    const char* program = options.executable.empty() ? raw[0] : options.executable.c_str();
    const pid_t pid = options.address_space_limit ? fork_with_limit(program, raw, streams, options)
                                                  : spawn(program, raw, streams, options.search_path);
    if (pid < 0)
        return result;
    result.started = true;
    streams.in.reset();
    if (options.stdin_data)
        feed_input(streams.feed, *options.stdin_data);

    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR)
            return result;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.cpu_seconds = seconds_of(usage.ru_utime) + seconds_of(usage.ru_stime);
    result.peak_rss_kib = usage.ru_maxrss;
    if (WIFEXITED(status))
        result.exit_code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
    return result;
}

std::string find_program(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

} // namespace child_process
