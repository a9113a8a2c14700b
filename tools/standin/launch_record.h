// The launch record of the stand-in game runtime (part of libkynruntime.so):
// what the game was started with, written to the file named by
// "--log_file=PATH" so that tests can check what a launcher passed.
//
// Format: UTF-8 text (bytes as received), one "key=value" entry per line,
// each line ended by "\n", in this order:
//   arg=<argument>                one line per argument after the program
//                                 name, in the order received (none if the
//                                 game got no arguments)
//   cwd=<working folder>          empty if it cannot be determined
//   env SDL_AUDIO_DRIVER=<value>  empty if the variable is unset
//   pid=<process id>
//   shm=<shared-memory file>      "/dev/shm/mirel_memory_<pid>"
// Values are escaped so that every entry stays on one line: a backslash is
// written as "\\" and a line feed as "\n" (backslash, letter n); nothing else
// is changed.
//
// The record is written to a temporary file beside PATH and renamed over
// PATH, so PATH appears complete or not at all.
#pragma once

#include <string>
#include <vector>

#define KYN_RECORD_API __attribute__((visibility("default")))

namespace kyn::runtime {

struct LaunchRecord {
    std::vector<std::string> arguments;
    std::string workingFolder;
    std::string audioDriver;
    long pid = 0;
    std::string sharedMemoryFile;
};

// Escapes one value for a record line (see above).
KYN_RECORD_API std::string escapeRecordValue(const std::string& value);

// The complete text of the record.
KYN_RECORD_API std::string formatLaunchRecord(const LaunchRecord& record);

// Writes the record to path atomically; the folder must exist. On failure
// returns false, fills *error and leaves no temporary file behind.
KYN_RECORD_API bool writeLaunchRecord(const std::string& path, const LaunchRecord& record, std::string* error);

} // namespace kyn::runtime
