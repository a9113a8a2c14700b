// Entry of the stand-in game runtime (libkynruntime.so).
//
// The real game is not part of the product; this runtime stands in for it in
// tests and demos. It accepts any argument list, records how it was started,
// holds its shared guest memory for a while and exits:
//   1. blocks SIGTERM, SIGINT and SIGHUP, so that they end the wait below
//      through the normal shutdown instead of killing the process;
//   2. creates and maps "/dev/shm/mirel_memory_<pid>" (libkyngpu-xenos.so);
//   3. if an argument "--log_file=PATH" is present (the last one counts),
//      writes the launch record (launch_record.h) to PATH, complete before
//      the wait starts; the folder must already exist;
//   4. waits TESSARINE_STANDIN_SECONDS seconds (a decimal number, fractions
//      allowed, 0 to 86400; default 3 when unset or not such a number), or
//      until one of the signals above arrives;
//   5. unmaps and removes the shared-memory file and ends the way the
//      environment asks, so that tests can play a game that fails or
//      crashes: killed by the signal numbered TESSARINE_STANDIN_SIGNAL when
//      that is set (a signal whose default action ends the process, 1 to
//      64; no core file is written), otherwise with the exit code
//      TESSARINE_STANDIN_EXIT_CODE (0 to 255, default 0). A value that is
//      not such a number is reported on standard error and ignored.
// If the shared memory cannot be created or the record cannot be written, it
// says why on standard error, cleans up and exits 1 at once.
#pragma once

#include <optional>
#include <string_view>

#define KYN_RUNTIME_API __attribute__((visibility("default")))

namespace kyn::runtime {

inline constexpr double defaultRunSeconds = 3.0;
inline constexpr double maximumRunSeconds = 86400.0;

// Parses a TESSARINE_STANDIN_SECONDS value; nothing if it is not a finite
// decimal number from 0 to maximumRunSeconds.
KYN_RUNTIME_API std::optional<double> parseRunSeconds(std::string_view text);

// Parses a TESSARINE_STANDIN_EXIT_CODE value: a decimal number from 0 to 255.
KYN_RUNTIME_API std::optional<int> parseExitCode(std::string_view text);

// Parses a TESSARINE_STANDIN_SIGNAL value: the decimal number of a signal
// whose default action ends the process (not SIGCHLD, SIGCONT, SIGURG,
// SIGWINCH or the stop signals).
KYN_RUNTIME_API std::optional<int> parseEndSignal(std::string_view text);

// Runs the stand-in game; returns the process exit code (or does not
// return, when it ends by a signal).
KYN_RUNTIME_API int runGame(int argc, char** argv);

} // namespace kyn::runtime
