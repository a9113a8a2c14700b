// A supervised run in this process, with a clock the test controls: the
// journal gets the monotonic clock's time, so hours of suspend between and
// during runs never count as play, and the reader adds up exactly the runs'
// durations.
#include "core/play_journal.h"
#include "core/play_texts.h"
#include "supervisor/supervised_run.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace supervisor;
namespace fs = std::filesystem;

namespace {

// Hands out the times it was given, in order: for each run, the monotonic
// time at its start and its end, and the wall-clock time at its start.
class ScriptedClock final : public RunClock {
public:
    ScriptedClock(std::vector<long long> monotonic, long long wall) : monotonic_(monotonic.begin(), monotonic.end()), wall_{wall} {}
    long long monotonicMs() const override { return take(monotonic_); }
    long long wallMs() const override { return take(wall_); }

private:
    static long long take(std::deque<long long>& times)
    {
        EXPECT_FALSE(times.empty()) << "the run read the clock more often than expected";
        if (times.empty())
            return 0;
        const long long time = times.front();
        times.pop_front();
        return time;
    }
    mutable std::deque<long long> monotonic_, wall_;
};

class SupervisedRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "supervised-run.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        request.journalPath = (folder / "state" / "play-journal").string();
        request.gameRoot = "/games/Tessarine";
    }
    void TearDown() override { fs::remove_all(folder); }

    int run(const RunClock& clock, std::vector<int>* startReports = nullptr)
    {
        return superviseRun(
            request, clock, [startReports](int error) { if (startReports) startReports->push_back(error); },
            [this](const std::string& message) { complaints.push_back(message); });
    }

    // A run in a child process of its own, as every real supervisor is one:
    // the journal tells runs apart by their supervisor. Returns its status,
    // or 99 when the child saw a failure or a complaint.
    int runInChild(const ScriptedClock& clock)
    {
        const pid_t child = fork();
        if (child == 0) {
            const int status = run(clock);
            _exit(HasFailure() || !complaints.empty() ? 99 : status);
        }
        int status = 0;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string journalText() const
    {
        std::ifstream in(request.journalPath);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    fs::path folder;
    RunRequest request;
    std::vector<std::string> complaints;
};

} // namespace

TEST_F(SupervisedRunTest, PlayTimeIsTheSumOfMonotonicDurationsWhateverTheWallClockDid)
{
    constexpr long long hour = 3'600'000, minute = 60'000;
    const long long wallStart = 1'718'200'000'000;
    // Run 1: 1 h 30 min awake. Then the machine sleeps 8 h (the wall clock
    // runs on, the monotonic clock stands). Run 2: 25 min awake, of a run
    // that spans a 3 h suspend in the middle. Run 3: 5 min.
    const ScriptedClock clocks[] = {
        {{10 * minute, 100 * minute}, wallStart},
        {{100 * minute + 1, 125 * minute + 1}, wallStart + 90 * minute + 8 * hour},
        {{125 * minute + 1, 130 * minute + 1}, wallStart + 90 * minute + 8 * hour + 28 * minute + 3 * hour},
    };
    request.command = {"true"};
    for (const ScriptedClock& clock : clocks)
        EXPECT_EQ(runInChild(clock), 0);

    const std::string text = journalText();
    EXPECT_NE(text.find(" exit=0 ms=5400000\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" exit=0 ms=1500000\n"), std::string::npos) << text;
    EXPECT_NE(text.find(" exit=0 ms=300000\n"), std::string::npos) << text;

    const PlayHistory history = readPlayHistory(QString::fromStdString(request.journalPath));
    EXPECT_EQ(history.runs, 3);
    EXPECT_EQ(history.playTimeMs, 2 * hour);
    EXPECT_EQ(history.lastPlayed.toMSecsSinceEpoch(), wallStart + 90 * minute + 8 * hour + 28 * minute + 3 * hour);
    EXPECT_EQ(playStatusLines(history).first(), QStringLiteral("Play time: 2:00:00"));
}

TEST_F(SupervisedRunTest, ReportsTheStartOnceAndRecordsNothingForAGameThatCannotStart)
{
    std::vector<int> reports;
    request.command = {"/nonexistent/tessarine"};
    EXPECT_EQ(run(ScriptedClock({0}, 0), &reports), kExitNotFound);
    request.command = {"/"}; // a folder cannot be run
    EXPECT_EQ(run(ScriptedClock({0}, 0), &reports), kExitCannotRun);
    EXPECT_EQ(reports, (std::vector<int>{ENOENT, EACCES}));
    EXPECT_FALSE(fs::exists(request.journalPath));

    request.command = {"sh", "-c", "exit 7"};
    EXPECT_EQ(run(ScriptedClock({0, 1}, 0), &reports), 7);
    EXPECT_EQ(reports.back(), 0);
    EXPECT_NE(journalText().find(" exit=7 ms=1\n"), std::string::npos);
}

TEST_F(SupervisedRunTest, AJournalThatCannotBeWrittenLeavesTheGameRunningAndSaysWhy)
{
    fs::create_directories(folder);
    std::ofstream(folder / "state") << "a file where the journal's folder belongs";
    request.command = {"sh", "-c", "exit 4"};
    EXPECT_EQ(run(ScriptedClock({0, 1}, 0)), 4);
    ASSERT_EQ(complaints.size(), 2u);
    EXPECT_EQ(complaints[0], "cannot record the run's start in " + request.journalPath + ": Not a directory");
    EXPECT_EQ(complaints[1], "cannot record the run's end in " + request.journalPath + ": Not a directory");
}
