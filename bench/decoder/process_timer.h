// Runs a program as a whole process, with its standard output sent to a
// file, and measures its wall-clock time and peak memory (wait4's
// ru_maxrss).
#pragma once

#include <string>
#include <vector>

struct ProcessMeasure {
    bool ok = false;        // started, and exited normally with code 0
    int exit_code = -1;
    double seconds = 0;     // wall clock, from start to reaped
    double cpu_seconds = 0; // user + system time of the child
    long peak_rss_kib = 0;  // ru_maxrss of the child
};

// argv[0] is looked up in PATH. Standard output goes to `stdout_path`
// (created or truncated), or to /dev/null when it is empty, standard error to
// /dev/null.
ProcessMeasure run_measured(const std::vector<std::string>& argv, const std::string& stdout_path);

// Finds a program in PATH; empty when missing.
std::string find_program(const std::string& name);
