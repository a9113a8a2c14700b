// Appending to the journal: files and folders private to their owner, whole
// lines from many supervisors at once, a line cut by a crash kept apart, and
// no line lost while a launcher compacts the journal under the appenders.
#include "core/play_journal.h"
#include "supervisor/journal_file.h"
#include "supervisor/journal_format.h"

#include <gtest/gtest.h>

#include <QString>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace supervisor;
namespace fs = std::filesystem;

namespace {

class JournalFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "journal-file.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        journal = (folder / "state" / "Velmarch" / "play-journal").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    std::string journalText() const
    {
        std::ifstream in(journal, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Runs body in count child processes at once; each gets its index and
    // exits 0 when body returns true. Returns after starting them.
    std::vector<pid_t> inChildren(int count, const std::function<bool(int)>& body)
    {
        std::vector<pid_t> children;
        for (int i = 0; i < count; ++i) {
            const pid_t child = fork();
            if (child == 0)
                _exit(body(i) ? 0 : 1);
            children.push_back(child);
        }
        return children;
    }

    static void expectAllSucceeded(const std::vector<pid_t>& children)
    {
        for (const pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
    }

    fs::path folder;
    std::string journal;
};

RunIdentity runNumber(int number)
{
    return RunIdentity{"ab-12", {number + 1, 100}, {number + 1, 101}};
}

} // namespace

TEST_F(JournalFileTest, CreatesFoldersAndTheFileForTheirOwnerOnly)
{
    std::string error;
    ASSERT_TRUE(appendJournalLine(journal, "first\n", &error)) << error;
    ASSERT_TRUE(appendJournalLine(journal, "second\n", &error)) << error;
    EXPECT_EQ(journalText(), "first\nsecond\n");
    struct stat info;
    ASSERT_EQ(stat(journal.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(stat((folder / "state").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    std::ofstream(folder / "blocker") << "a file";
    EXPECT_FALSE(appendJournalLine((folder / "blocker" / "play-journal").string(), "x\n", &error));
    EXPECT_EQ(error, "Not a directory");
}

TEST_F(JournalFileTest, ALineCutByACrashDoesNotSwallowTheNextOne)
{
    const std::string end = formatLine(RunEnd{runNumber(1), RunEndKind::Exited, 0, 5});
    fs::create_directories(fs::path(journal).parent_path());
    std::ofstream(journal, std::ios::binary) << end << end.substr(0, 30);
    std::string error;
    ASSERT_TRUE(appendJournalLine(journal, end, &error)) << error;
    EXPECT_EQ(journalText(), end + end.substr(0, 30) + "\n" + end);
}

TEST_F(JournalFileTest, LinesFromManySupervisorsAtOnceArriveWhole)
{
    constexpr int writers = 6, linesEach = 300;
    expectAllSucceeded(inChildren(writers, [this](int writer) {
        for (int i = 0; i < linesEach; ++i) {
            const RunStart start{runNumber(writer * linesEach + i), i, std::string(200 + i, 'r')};
            if (!appendJournalLine(journal, formatLine(start), nullptr))
                return false;
        }
        return true;
    }));
    std::istringstream lines(journalText());
    int whole = 0;
    for (std::string line; std::getline(lines, line);)
        whole += parseLine(line).has_value();
    EXPECT_EQ(whole, writers * linesEach);
}

TEST_F(JournalFileTest, CompactionUnderAppendingSupervisorsLosesNoRun)
{
    constexpr int supervisors = 4, runsEach = 1000;
    const QString path = QString::fromStdString(journal);
    ASSERT_TRUE(appendJournalLine(journal, formatLine(RunTotals{0, 0, 0}), nullptr));
    const auto children = inChildren(supervisors, [this](int supervisor) {
        for (int i = 0; i < runsEach; ++i) {
            const RunIdentity run = runNumber(supervisor * runsEach + i);
            std::string error;
            if (!appendJournalLine(journal, formatLine(RunStart{run, 1000 + i, "/g"}), &error) ||
                !appendJournalLine(journal, formatLine(RunEnd{run, RunEndKind::Exited, 0, i + 1}), &error)) {
                std::fprintf(stderr, "append failed: %s\n", error.c_str());
                return false;
            }
            usleep(100); // a pause between runs, in which the compaction gets its lock
        }
        return true;
    });
    // Runs whose end has not arrived yet must be kept as they are: here every
    // such run counts as still going.
    const RunCheck stillRuns = [](const RunIdentity&) { return true; };
    int compactions = 0;
    for (std::vector<pid_t> running = children; !running.empty();) {
        std::erase_if(running, [](pid_t child) {
            int status = 0;
            if (waitpid(child, &status, WNOHANG) != child)
                return false;
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "an append failed";
            return true;
        });
        const auto sizeBefore = fs::file_size(journal);
        QString error;
        ASSERT_TRUE(compactPlayJournal(path, 2048, &error, stillRuns)) << error.toStdString();
        compactions += fs::file_size(journal) < sizeBefore;
    }
    EXPECT_GE(compactions, 3) << "the compactions must overlap the appends for this test to mean anything";

    const PlayHistory history = readPlayHistory(path, stillRuns);
    EXPECT_EQ(history.runs, supervisors * runsEach);
    EXPECT_EQ(history.playTimeMs, supervisors * (runsEach * (runsEach + 1) / 2));
    EXPECT_TRUE(history.running.isEmpty());
    EXPECT_EQ(history.lastPlayed.toMSecsSinceEpoch(), 1000 + runsEach - 1);
}
