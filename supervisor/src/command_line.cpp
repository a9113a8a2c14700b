// orvello-run's command line (see command_line.h).
#include "supervisor/command_line.h"

namespace supervisor {

namespace {

std::nullopt_t failWith(std::string* error, const std::string& message)
{
    if (error)
        *error = message;
    return std::nullopt;
}

} // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string* error)
{
    CommandLine commandLine;
    std::optional<std::string> journal, gameRoot;
    std::size_t i = 0;
    for (; i < arguments.size() && arguments[i] != "--"; ++i) {
        const std::string& option = arguments[i];
        if (option == "--detach") {
            commandLine.detach = true;
        } else if (option == "--journal" || option == "--game-root") {
            if (i + 1 == arguments.size())
                return failWith(error, option + " needs a value");
            (option == "--journal" ? journal : gameRoot) = arguments[++i];
        } else {
            return failWith(error, "unknown option " + option);
        }
    }
    if (!journal || journal->empty())
        return failWith(error, "--journal FILE is missing");
    if (!gameRoot)
        return failWith(error, "--game-root FOLDER is missing");
    if (i == arguments.size() || i + 1 == arguments.size() || arguments[i + 1].empty())
        return failWith(error, "the game's command is missing after --");
    commandLine.request.journalPath = *journal;
    commandLine.request.gameRoot = *gameRoot;
    commandLine.request.command.assign(arguments.begin() + std::ptrdiff_t(i + 1), arguments.end());
    return commandLine;
}

std::string usageText()
{
    return "usage: orvello-run [--detach] --journal FILE --game-root FOLDER -- PROGRAM [ARGUMENT...]\n";
}

} // namespace supervisor
