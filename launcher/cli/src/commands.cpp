// The command line's commands and their options.
#include "commands.h"

namespace cli {

const QList<Command>& commands()
{
    static const QList<Command> table{
        {"status", {},
         "Print whether the game is ready and where its data and program files are, then its play time, runs, "
         "when it was last played and how its last run ended, one \"Key: value\" line each. "
         "Exit status 0 when ready, 1 otherwise.",
         runStatus},
        {"play", {},
         "Start the game as PLAY does, with the saved settings and without a window. The game takes the "
         "launcher's place, under the supervisor that records the run: it runs in the foreground and its exit "
         "status is the launcher's (128 + N when signal N ended it).",
         runPlay},
        {"import", "path",
         "Import the game's XBLA package (a file) into <folder>/<package name>/gamedata, or an extracted game "
         "folder, decoding its compressed files in place; the result becomes the game data in use.",
         runImport},
        {"verify", {},
         "Check the game's files against the checksums recorded when they were imported, and the program files. "
         "Exit status 0 when everything matches, 1 otherwise.",
         runVerify},
        {"repair", {},
         "Verify, then fetch the files that do not match again from the package or folder they were imported "
         "from. Exit status 0 only when everything matches afterwards.",
         runRepair},
    };
    return table;
}

const QList<CommandOption>& commandOptions()
{
    static const QList<CommandOption> table{
        {"into", "folder",
         "With --import: the folder a package is extracted into (default: ~/Games), or the folder in which "
         "a prepared copy of an extracted folder is made, as <folder>/TessarineVandryLive/gamedata.",
         "import"},
    };
    return table;
}

} // namespace cli
