// orvello-run's command line:
//   orvello-run [--detach] --journal FILE --game-root FOLDER -- PROGRAM [ARGUMENT...]
// Everything after "--" is the game's command, exactly as the game gets it;
// its working folder and environment are the supervisor's own.
#pragma once

#include "supervisor/supervised_run.h"

#include <optional>
#include <string>
#include <vector>

namespace supervisor {

struct CommandLine {
    // Return as soon as the game runs (or failed to start), leaving the
    // supervisor running in a session of its own.
    bool detach = false;
    RunRequest request;
};

// The command line from the arguments after the program name, or nothing
// with *error saying what is wrong.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string* error);

// The usage line, "\n" included.
std::string usageText();

} // namespace supervisor
