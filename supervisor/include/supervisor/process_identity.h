// Telling processes apart over time: a process id is given to another
// process once the first one is gone, but that one has another start time.
// Both come from /proc/<pid>/stat; start times count clock ticks since boot,
// so they hold only within the boot that the boot id names.
#pragma once

#include "supervisor/journal_format.h"

#include <optional>
#include <string>
#include <string_view>

namespace supervisor {

struct ProcessStatus {
    char state = '?';                  // field 3: 'R', 'S', 'Z' (a zombie: gone but not yet waited for), ...
    unsigned long long startTicks = 0; // field 22
};

// Fields 3 and 22 of a /proc/<pid>/stat text. The command name (field 2)
// is in parentheses and may itself hold spaces and parentheses, so the
// fields are counted from the last ")".
std::optional<ProcessStatus> parseProcessStat(std::string_view text);

// The status of a process now, or nothing when there is no such process.
std::optional<ProcessStatus> readProcessStatus(long pid);

// The process's identity, or nothing when there is no such process.
std::optional<ProcessIdentity> readProcessIdentity(long pid);

// This boot's id, or "-" when the kernel does not tell it.
std::string readBootId();

// True when the process is still there, not a zombie, and is the same one:
// same start time, and (when both boot ids are known) during the same boot.
bool isStillRunning(const ProcessIdentity& process, const std::string& recordedBootId,
                    const std::string& currentBootId);

} // namespace supervisor
