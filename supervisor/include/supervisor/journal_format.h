// The play journal's records and their one-line text form, shared by
// orvello-run, which appends a line when a run starts and one when it ends,
// and by the launcher, which reads the journal and compacts it.
//
// A line is ASCII words separated by single spaces, ended by "\n":
//   start 1 boot=B supervisor=P:T game=P:T wall_ms=W root=R
//   end 1 boot=B supervisor=P:T game=P:T exit=C ms=D
//   end 1 boot=B supervisor=P:T game=P:T signal=S ms=D
//   totals 1 runs=N ms=D last_wall_ms=W
// where
//   B    the kernel's boot id (/proc/sys/kernel/random/boot_id), or "-"
//        when it could not be read; process start times count from boot,
//        so they identify a process only together with the boot
//   P:T  a process id and its start time in clock ticks since boot (field 22
//        of /proc/<pid>/stat): a pid that the system gave to another process
//        since has another start time
//   W    wall-clock milliseconds since 1970-01-01 UTC, when the run started
//        (for totals: the latest start they cover, 0 for none)
//   R    the game root, the rest of the line, with "\" written as "\\" and a
//        line feed as "\n" (backslash, letter n)
//   C, S the game's exit code (0 to 255), or the signal that killed it
//        (1 to 127)
//   D    milliseconds of CLOCK_MONOTONIC, which stands still while the
//        machine is suspended: for an end line the run's duration, for
//        totals the play time they cover
//   N    the number of runs that totals cover
// The "1" is the format's version. A start and an end line belong to the same
// run when boot and supervisor are equal. "totals" stands for runs that a
// compaction folded into one line.
//
// parseLine is strict: every field in its place, numbers in range, nothing
// after the last field. A line cut short, two lines run together, a line of
// another version or of nothing known parse as nothing, so readers skip
// them.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace supervisor {

// A process as the kernel knows it during one boot.
struct ProcessIdentity {
    long pid = 0;
    unsigned long long startTicks = 0;
    bool operator==(const ProcessIdentity&) const = default;
};

struct RunIdentity {
    std::string bootId = "-";
    ProcessIdentity supervisor;
    ProcessIdentity game;
    bool operator==(const RunIdentity&) const = default;
};

struct RunStart {
    RunIdentity run;
    long long wallMs = 0;
    std::string gameRoot;
    bool operator==(const RunStart&) const = default;
};

enum class RunEndKind { Exited, Signalled };

struct RunEnd {
    RunIdentity run;
    RunEndKind kind = RunEndKind::Exited;
    int code = 0; // exit code, or signal number
    long long durationMs = 0;
    bool operator==(const RunEnd&) const = default;
};

struct RunTotals {
    long long runs = 0;
    long long playMs = 0;
    long long lastWallMs = 0;
    bool operator==(const RunTotals&) const = default;
};

using JournalRecord = std::variant<RunStart, RunEnd, RunTotals>;

// The record's line, "\n" included.
std::string formatLine(const JournalRecord& record);

// The record of one line (without its "\n"), or nothing when the line is not
// a complete, known record.
std::optional<JournalRecord> parseLine(std::string_view line);

// True for "-" and for words of hexadecimal digits and "-" (a boot id as the
// kernel gives it), at most 64 characters: what a line may carry as boot.
bool isBootIdWord(std::string_view text);

// The longest line that formatLine writes for a game root of the longest
// path Linux accepts (4096 bytes, each escaped to two). Readers can skip
// longer lines without parsing them.
inline constexpr std::size_t kMaximumLineLength = 8500;

} // namespace supervisor
