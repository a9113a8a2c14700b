// Runs another program as a child process and waits for it: the one runner
// of the decoder tests, the round-trip tests and the decoder benchmarks.
// Standard library and POSIX only, like the decoder it runs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace child_process {

struct ChildOptions {
    // Fed to standard input through a pipe when set; otherwise /dev/null.
    const std::vector<uint8_t>* stdin_data = nullptr;
    // Files that receive standard output and standard error (created or
    // truncated); /dev/null when empty.
    std::string stdout_path;
    std::string stderr_path;
    // Address-space limit for the child (RLIMIT_AS), 0 = none.
    uint64_t address_space_limit = 0;
    // The program to start, when it is not argv[0] (which is then only the
    // name it runs under).
    std::string executable;
    // Look the program up in PATH, as a shell would.
    bool search_path = false;
};

struct ChildExit {
    bool started = false;
    int exit_code = -1;      // -1 when the program did not exit normally
    int signal = 0;          // the signal that ended it, 0 when it exited
    double seconds = 0;      // wall clock, from start to reaped
    double cpu_seconds = 0;  // user + system time of the child
    long peak_rss_kib = 0;   // ru_maxrss of the child
};

// Starts the program (options.executable, or argv[0]) with argv and waits
// for it, whatever signals interrupt the wait.
ChildExit run_child(const std::vector<std::string>& argv, const ChildOptions& options = {});

// Finds a program in PATH; empty when missing.
std::string find_program(const std::string& name);

} // namespace child_process
