// The journal's line format: every record reads back as written, and every
// damaged, cut or unknown line reads as nothing.
#include "supervisor/journal_format.h"

#include <gtest/gtest.h>

using namespace supervisor;

namespace {

const RunIdentity kRun{"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0", {4242, 987654}, {4243, 987655}};

std::optional<JournalRecord> parseFormatted(const JournalRecord& record)
{
    const std::string line = formatLine(record);
    EXPECT_EQ(line.back(), '\n');
    EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line per record";
    return parseLine(std::string_view(line).substr(0, line.size() - 1));
}

} // namespace

TEST(JournalFormat, EveryRecordReadsBackAsWritten)
{
    const JournalRecord records[] = {
        RunStart{kRun, 1718200925123, "/home/ann/Games/TessarineVandryLive"},
        RunStart{kRun, 0, ""},
        RunStart{kRun, 1, "/games/with space/and\\backslash/and\nline feed/root=x \\n"},
        RunStart{RunIdentity{"-", {1, 0}, {2, 0}}, 5, "/"},
        RunEnd{kRun, RunEndKind::Exited, 0, 0},
        RunEnd{kRun, RunEndKind::Exited, 255, 3'600'000},
        RunEnd{kRun, RunEndKind::Signalled, 11, 2004},
        RunEnd{kRun, RunEndKind::Signalled, 127, 1},
        RunTotals{0, 0, 0},
        RunTotals{200, 45'600'000, 1718200925123},
    };
    for (const JournalRecord& record : records) {
        SCOPED_TRACE(formatLine(record));
        EXPECT_EQ(parseFormatted(record), record);
    }
}

TEST(JournalFormat, WritesTheDocumentedWords)
{
    EXPECT_EQ(formatLine(RunStart{kRun, 1718200925123, "/g/a b"}),
              "start 1 boot=0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0 supervisor=4242:987654 game=4243:987655 "
              "wall_ms=1718200925123 root=/g/a b\n");
    EXPECT_EQ(formatLine(RunEnd{kRun, RunEndKind::Signalled, 11, 2004}),
              "end 1 boot=0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0 supervisor=4242:987654 game=4243:987655 "
              "signal=11 ms=2004\n");
    EXPECT_EQ(formatLine(RunTotals{3, 7, 9}), "totals 1 runs=3 ms=7 last_wall_ms=9\n");
}

TEST(JournalFormat, DamagedCutAndUnknownLinesReadAsNothing)
{
    const std::string start = "start 1 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 root=/g";
    const std::string end = "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=3 ms=1004";
    ASSERT_TRUE(parseLine(start));
    ASSERT_TRUE(parseLine(end));
    const std::string lines[] = {
        "",
        " ",
        "start",
        "start 1",
        "start 2 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 root=/g", // another version
        "begin 1 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 root=/g", // unknown kind
        start.substr(0, start.find(" root=")),                              // cut before the root
        end.substr(0, end.size() - 5),                                      // cut before ms
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=3 ms=",
        end + " ",
        end + " extra=1",
        end + start,                                                        // two lines run together
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 signal=0 ms=5",       // no signal 0
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 signal=128 ms=5",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=256 ms=5",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=-1 ms=5",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=3 ms=-5",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=3 ms=99999999999999999999",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=+3 ms=5",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=3x ms=5",
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 ms=5 exit=3",         // fields out of order
        "end 1 boot=ab-12 supervisor=0:20 game=11:21 exit=3 ms=5",          // no pid 0
        "end 1 boot=ab-12 supervisor=10 game=11:21 exit=3 ms=5",
        "end 1 boot=ab-12 supervisor=10:20:30 game=11:21 exit=3 ms=5",
        "end 1 boot=AB-12 supervisor=10:20 game=11:21 exit=3 ms=5",         // boot ids are lower case
        "end 1 boot= supervisor=10:20 game=11:21 exit=3 ms=5",
        "end 1 boot=ab-12  supervisor=10:20 game=11:21 exit=3 ms=5",        // two spaces
        "end 1 boot=ab-12 supervisor=10:20 game=11:21 exit=3 signal=4 ms=5",
        "start 1 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 root=/g\\",   // escape cut short
        "start 1 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 root=/g\\t",  // unknown escape
        "start 1 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 roots=/g",
        "totals 1 runs=3 ms=7",
        "totals 1 runs=3 ms=7 last_wall_ms=9 more=1",
        "totals 1 runs=-3 ms=7 last_wall_ms=9",
        "start 1 boot=ab-12 supervisor=10:20 game=11:21 wall_ms=5 root=" + std::string(kMaximumLineLength, 'x'),
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE(line.substr(0, 120));
        EXPECT_FALSE(parseLine(line));
    }
}

TEST(JournalFormat, LongestRootFitsTheLongestLine)
{
    const std::string root(4096, '\n'); // each one escaped to two characters
    const RunStart start{RunIdentity{std::string(36, 'f'), {1 << 30, ~0ULL}, {1 << 30, ~0ULL}}, 1LL << 53, root};
    EXPECT_LE(formatLine(start).size() - 1, kMaximumLineLength);
    EXPECT_EQ(parseFormatted(start), JournalRecord(start));
}
