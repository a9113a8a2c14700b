// Process identities from /proc: the stat parser on awkward command names,
// and live processes, zombies and reused ids told apart.
#include "supervisor/process_identity.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace supervisor;

namespace {

// A stat text with the given command name, state and start time (field 22).
std::string statText(const std::string& command, char state, unsigned long long startTicks)
{
    std::string text = "4242 (" + command + ") " + state;
    for (int field = 4; field <= 21; ++field)
        text += " " + std::to_string(field);
    return text + " " + std::to_string(startTicks) + " 23 24 25\n";
}

} // namespace

TEST(ProcessStat, FindsStateAndStartTimeWhateverTheCommandName)
{
    for (const std::string command : {"tessarine", "a b c", "x) 9 9 (y", ")", "(", "", "with\nline feed"}) {
        SCOPED_TRACE(command);
        const auto status = parseProcessStat(statText(command, 'S', 123456789012ULL));
        ASSERT_TRUE(status);
        EXPECT_EQ(status->state, 'S');
        EXPECT_EQ(status->startTicks, 123456789012ULL);
    }
}

TEST(ProcessStat, RefusesTextsWithoutAStartTime)
{
    const std::string full = statText("game", 'R', 77);
    const std::string texts[] = {
        "", "4242", "4242 (game", full.substr(0, full.find(" 77 ")), // cut before field 22
        "4242 (game) RR 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 77",
        "4242 (game) R 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 7x7",
        "4242 (game) R  4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 77",
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(parseProcessStat(text));
    }
}

TEST(ProcessIdentityOnThisMachine, TellsARunningProcessFromAZombieAndAReusedId)
{
    const std::string boot = readBootId();
    ASSERT_NE(boot, "-") << "the kernel gives a boot id on every supported system";
    EXPECT_TRUE(isBootIdWord(boot));

    const auto self = readProcessIdentity(getpid());
    ASSERT_TRUE(self);
    EXPECT_TRUE(isStillRunning(*self, boot, boot));
    EXPECT_TRUE(isStillRunning(*self, "-", boot)); // an unknown boot compares by start time alone
    EXPECT_FALSE(isStillRunning(*self, "0000-other-boot", boot));
    EXPECT_FALSE(isStillRunning(ProcessIdentity{self->pid, self->startTicks + 1}, boot, boot));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
        _exit(0);
    // Until it is waited for, the ended child is a zombie: there, but not running.
    std::optional<ProcessStatus> status;
    for (int i = 0; i < 500 && (!(status = readProcessStatus(child)) || status->state != 'Z'); ++i)
        usleep(10000);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->state, 'Z');
    const ProcessIdentity zombie{child, status->startTicks};
    EXPECT_GE(zombie.startTicks, self->startTicks);
    EXPECT_FALSE(isStillRunning(zombie, boot, boot));
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(readProcessIdentity(child));
    EXPECT_FALSE(isStillRunning(zombie, boot, boot));
}
