// Measured child processes (see process_timer.h), over the shared runner.
#include "process_timer.h"

#include "child_process.h"

ProcessMeasure run_measured(const std::vector<std::string>& argv, const std::string& stdout_path)
{
    child_process::ChildOptions options;
    options.stdout_path = stdout_path;
    options.search_path = true;
    const child_process::ChildExit exit = child_process::run_child(argv, options);
    ProcessMeasure measure;
    measure.exit_code = exit.exit_code;
    measure.ok = exit.started && exit.exit_code == 0;
    measure.seconds = exit.seconds;
    measure.cpu_seconds = exit.cpu_seconds;
    measure.peak_rss_kib = exit.peak_rss_kib;
    return measure;
}

std::string find_program(const std::string& name)
{
    return child_process::find_program(name);
}
