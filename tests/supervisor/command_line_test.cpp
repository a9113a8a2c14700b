// orvello-run's command line: what it accepts, and the message for what not.
#include "supervisor/command_line.h"

#include <gtest/gtest.h>

using namespace supervisor;

TEST(CommandLine, TakesTheGameCommandAfterTheSeparatorUnchanged)
{
    const std::vector<std::string> game{"gamemoderun", "/g/tessarine", "--", "--journal", "", "a b"};
    std::vector<std::string> arguments{"--game-root", "/g/with space", "--journal", "/s/play-journal", "--"};
    arguments.insert(arguments.end(), game.begin(), game.end());
    std::string error;
    const auto parsed = parseCommandLine(arguments, &error);
    ASSERT_TRUE(parsed) << error;
    EXPECT_FALSE(parsed->detach);
    EXPECT_EQ(parsed->request.journalPath, "/s/play-journal");
    EXPECT_EQ(parsed->request.gameRoot, "/g/with space");
    EXPECT_EQ(parsed->request.command, game);

    const auto detached = parseCommandLine({"--detach", "--journal", "j", "--game-root", "", "--", "g"}, &error);
    ASSERT_TRUE(detached) << error;
    EXPECT_TRUE(detached->detach);
    EXPECT_EQ(detached->request.gameRoot, "");
}

TEST(CommandLine, SaysWhatIsMissingOrWrong)
{
    const struct {
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {{}, "--journal FILE is missing"},
        {{"--game-root", "/g", "--", "g"}, "--journal FILE is missing"},
        {{"--journal", "", "--game-root", "/g", "--", "g"}, "--journal FILE is missing"},
        {{"--journal", "j", "--", "g"}, "--game-root FOLDER is missing"},
        {{"--journal", "j", "--game-root", "/g"}, "the game's command is missing after --"},
        {{"--journal", "j", "--game-root", "/g", "--"}, "the game's command is missing after --"},
        {{"--journal", "j", "--game-root", "/g", "--", ""}, "the game's command is missing after --"},
        {{"--journal"}, "--journal needs a value"},
        {{"--journal", "j", "--game-root"}, "--game-root needs a value"},
        {{"--play", "--journal", "j", "--game-root", "/g", "--", "g"}, "unknown option --play"},
        {{"/g/tessarine"}, "unknown option /g/tessarine"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(parseCommandLine(c.arguments, &error));
        EXPECT_EQ(error, c.message);
    }
}
