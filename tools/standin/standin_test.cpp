// Tests of the stand-in game runtime: its parsing and record format, and the
// real executable run from a folder of its own (RPATH $ORIGIN) the way a
// launcher starts it, checking the record, the shared-memory file while it
// runs and its removal at exit.
#include "launch_record.h"
#include "runtime.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace kyn::runtime;

namespace {

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string sharedMemoryFileOf(pid_t pid)
{
    return "/dev/shm/mirel_memory_" + std::to_string(pid);
}

} // namespace

TEST(StandinRunSeconds, AcceptsDecimalSecondsWithinRangeOnly)
{
    const struct {
        const char* text;
        std::optional<double> expected;
    } cases[] = {
        {"3", 3.0},       {"0.25", 0.25},   {"0", 0.0},          {"86400", 86400.0},
        {"", {}},         {"abc", {}},      {"1.5s", {}},        {" 2", {}},
        {"-1", {}},       {"1e3", {}},      {"nan", {}},         {"inf", {}},
        {"86400.5", {}},  {"2,5", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseRunSeconds(c.text), c.expected);
    }
}

TEST(StandinEnding, AcceptsExitCodesAndSignalsThatEndAProcessOnly)
{
    const struct {
        const char* text;
        std::optional<int> exitCode, endSignal;
    } cases[] = {
        {"0", 0, {}},        {"3", 3, 3},          {"11", 11, SIGSEGV}, {"15", 15, SIGTERM},
        {"64", 64, 64},      {"255", 255, {}},     {"256", {}, {}},     {"-1", {}, {}},
        {"", {}, {}},        {"3x", {}, {}},       {" 3", {}, {}},      {"SIGSEGV", {}, {}},
        {"17", 17, {}} /* SIGCHLD is ignored by default */,
        {"18", 18, {}} /* SIGCONT */, {"19", 19, {}} /* SIGSTOP */, {"28", 28, {}} /* SIGWINCH */,
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(parseExitCode(c.text), c.exitCode);
        EXPECT_EQ(parseEndSignal(c.text), c.endSignal);
    }
}

TEST(StandinRecord, EscapesOnlyBackslashAndLineFeed)
{
    const struct {
        std::string raw, escaped;
    } cases[] = {
        {"--vsync=true", "--vsync=true"},
        {"a b\tc", "a b\tc"},
        {"line\nbreak", "line\\nbreak"},
        {"back\\slash", "back\\\\slash"},
        {"\\n", "\\\\n"}, // a literal backslash-n stays distinguishable from a line feed
    };
    for (const auto& c : cases)
        EXPECT_EQ(escapeRecordValue(c.raw), c.escaped) << c.raw;
}

TEST(StandinRecord, ListsEntriesInDocumentedOrder)
{
    LaunchRecord record;
    record.arguments = {"--gpu_plugin=xenos", "--game_data_root=/g/game data"};
    record.workingFolder = "/g";
    record.audioDriver = "pulseaudio";
    record.pid = 42;
    record.sharedMemoryFile = "/dev/shm/mirel_memory_42";
    EXPECT_EQ(formatLaunchRecord(record),
              "arg=--gpu_plugin=xenos\n"
              "arg=--game_data_root=/g/game data\n"
              "cwd=/g\n"
              "env SDL_AUDIO_DRIVER=pulseaudio\n"
              "pid=42\n"
              "shm=/dev/shm/mirel_memory_42\n");
}

class StandinFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "standin-test.XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = fs::canonical(pattern);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    fs::path folder;
};

TEST_F(StandinFolder, WriteLeavesNothingBehindWhenItFails)
{
    LaunchRecord record;
    std::string error;
    EXPECT_FALSE(writeLaunchRecord((folder / "missing" / "game.log").string(), record, &error));
    EXPECT_FALSE(error.empty());

    // The target is a folder: the temporary file is written, the rename fails
    // and the temporary file must go again.
    fs::create_directory(folder / "game.log");
    error.clear();
    EXPECT_FALSE(writeLaunchRecord((folder / "game.log").string(), record, &error));
    EXPECT_FALSE(error.empty());
    std::vector<fs::path> entries(fs::directory_iterator(folder), fs::directory_iterator{});
    EXPECT_EQ(entries, std::vector<fs::path>{folder / "game.log"});
}

TEST_F(StandinFolder, WriteReplacesAnOlderRecord)
{
    const fs::path path = folder / "game.log";
    std::ofstream(path) << "old content that is longer than the new record\n";
    LaunchRecord record;
    record.pid = 7;
    ASSERT_TRUE(writeLaunchRecord(path.string(), record, nullptr));
    EXPECT_EQ(readFile(path), formatLaunchRecord(record));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
}

// Runs a copy of the three program files from a folder of their own.
class StandinProcess : public StandinFolder {
protected:
    void SetUp() override
    {
        StandinFolder::SetUp();
        programDir = folder / "program";
        fs::create_directories(programDir);
        for (const char* file : {STANDIN_EXE, STANDIN_RUNTIME_LIB, STANDIN_GPU_LIB})
            fs::copy_file(file, programDir / fs::path(file).filename());
        fs::create_directories(folder / "logs");
        logPath = folder / "logs" / "game.log";
    }

    void TearDown() override
    {
        if (pid > 0) { // a failed test must not leave a stand-in running
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            fs::remove(sharedMemoryFileOf(pid));
        }
        StandinFolder::TearDown();
    }

    void start(const std::vector<std::string>& arguments, const std::vector<std::string>& environment)
    {
        std::vector<std::string> argvStrings{(programDir / "tessarine").string()};
        argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv, envp;
        for (auto& s : argvStrings) argv.push_back(s.data());
        argv.push_back(nullptr);
        std::vector<std::string> envStrings = environment;
        for (auto& s : envStrings) envp.push_back(s.data());
        envp.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addchdir_np(&actions, programDir.c_str());
        const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_EQ(error, 0);
    }

    // The stand-in's wait status, or -1 while it still runs after a generous
    // bound, so that a broken stand-in cannot hang the suite.
    int waitForStatus()
    {
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "stand-in still running";
        return -1;
    }

    // Exit code of the stand-in, or -1 if it did not exit normally.
    int waitForExit()
    {
        const int status = waitForStatus();
        return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    bool waitForLog()
    {
        for (int i = 0; i < 1000 && !fs::exists(logPath); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return fs::exists(logPath);
    }

    fs::path programDir, logPath;
    pid_t pid = -1;
};

TEST_F(StandinProcess, RecordsItsLaunchHoldsMemoryAndCleansUpWhenTerminated)
{
    const std::vector<std::string> arguments{
        "--gpu_plugin=xenos", "--game_data_root=/games/with space/gamedata",
        "--log_file=" + logPath.string(), "--odd=two\nlines", "--vsync=true"};
    start(arguments, {"SDL_AUDIO_DRIVER=pulseaudio", "TESSARINE_STANDIN_SECONDS=60"});
    ASSERT_TRUE(waitForLog());

    const std::string shm = sharedMemoryFileOf(pid);
    EXPECT_EQ(readFile(logPath), "arg=--gpu_plugin=xenos\n"
                                 "arg=--game_data_root=/games/with space/gamedata\n"
                                 "arg=--log_file=" + logPath.string() + "\n"
                                 "arg=--odd=two\\nlines\n"
                                 "arg=--vsync=true\n"
                                 "cwd=" + programDir.string() + "\n"
                                 "env SDL_AUDIO_DRIVER=pulseaudio\n"
                                 "pid=" + std::to_string(pid) + "\n"
                                 "shm=" + shm + "\n");
    EXPECT_TRUE(fs::is_regular_file(shm));
    EXPECT_NE(readFile("/proc/" + std::to_string(pid) + "/maps").find(shm), std::string::npos);

    const pid_t stopped = pid;
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    EXPECT_EQ(waitForExit(), 0);
    EXPECT_FALSE(fs::exists(sharedMemoryFileOf(stopped)));
}

TEST_F(StandinProcess, ExitsAfterTheConfiguredTimeAndRemovesItsMemory)
{
    start({"--log_file=" + logPath.string()}, {"TESSARINE_STANDIN_SECONDS=0.2"});
    const pid_t started = pid;
    EXPECT_EQ(waitForExit(), 0);
    EXPECT_FALSE(fs::exists(sharedMemoryFileOf(started)));
    // Without SDL_AUDIO_DRIVER in its environment the entry is empty.
    EXPECT_NE(readFile(logPath).find("\nenv SDL_AUDIO_DRIVER=\npid=" + std::to_string(started) + "\n"),
              std::string::npos);
}

TEST_F(StandinProcess, FailsAndCleansUpWhenTheLogFolderIsMissing)
{
    start({"--log_file=" + (folder / "nowhere" / "game.log").string()}, {"TESSARINE_STANDIN_SECONDS=60"});
    const pid_t started = pid;
    EXPECT_EQ(waitForExit(), 1);
    EXPECT_FALSE(fs::exists(sharedMemoryFileOf(started)));
}

TEST_F(StandinProcess, EndsWithTheExitCodeOrTheSignalItIsGiven)
{
    const struct {
        const char* variable;
        bool signalled;
        int expected;
    } cases[] = {
        {"TESSARINE_STANDIN_EXIT_CODE=3", false, 3},
        {"TESSARINE_STANDIN_SIGNAL=11", true, SIGSEGV},
        {"TESSARINE_STANDIN_SIGNAL=15", true, SIGTERM}, // although SIGTERM is blocked while it runs
        {"TESSARINE_STANDIN_EXIT_CODE=300", false, 0},  // refused, so the default
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variable);
        start({}, {"TESSARINE_STANDIN_SECONDS=0", c.variable});
        const pid_t started = pid;
        const int status = waitForStatus();
        ASSERT_NE(status, -1);
        if (c.signalled) {
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), c.expected);
            EXPECT_FALSE(WCOREDUMP(status));
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), c.expected);
        }
        EXPECT_FALSE(fs::exists(sharedMemoryFileOf(started)));
    }
    EXPECT_FALSE(fs::exists(programDir / "core"));
}

TEST_F(StandinProcess, AskedToStopStillEndsWithTheGivenExitCode)
{
    start({"--log_file=" + logPath.string()}, {"TESSARINE_STANDIN_SECONDS=60", "TESSARINE_STANDIN_EXIT_CODE=4"});
    ASSERT_TRUE(waitForLog());
    ASSERT_EQ(kill(pid, SIGHUP), 0);
    EXPECT_EQ(waitForExit(), 4);
}
