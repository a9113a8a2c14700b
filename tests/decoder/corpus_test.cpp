// Runs the built zorv program on every file of the real LZX corpus and
// compares the decoded size and SHA-256 with the values in corpus.tsv.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "test_support.h"

namespace decoder_test {
namespace {

struct CorpusEntry {
    std::string file;
    uint64_t decoded_size = 0;
    std::string sha256;
    std::string layout;
};

std::vector<CorpusEntry> load_corpus_table(const std::filesystem::path& tsv)
{
    std::ifstream in(tsv);
    std::vector<CorpusEntry> entries;
    std::string line;
    std::getline(in, line);  // column names
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        CorpusEntry entry;
        std::string size;
        std::getline(fields, entry.file, '\t');
        std::getline(fields, size, '\t');
        std::getline(fields, entry.sha256, '\t');
        std::getline(fields, entry.layout, '\t');
        entry.decoded_size = std::stoull(size);
        entries.push_back(entry);
    }
    return entries;
}

TEST(RealCorpus, EveryFileDecodesToItsListedSizeAndHash)
{
    const std::filesystem::path corpus = LZX_REAL_CORPUS;
    if (!std::filesystem::exists(corpus / "corpus.tsv"))
        GTEST_SKIP() << "real LZX corpus not found at " << corpus;

    const std::vector<CorpusEntry> entries = load_corpus_table(corpus / "corpus.tsv");
    ASSERT_FALSE(entries.empty());
    TempDir work;
    for (const CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.file);
        const auto out = work / (entry.file + ".out");
        const ProgramRun run = run_program(ZORV_PROGRAM, {"zorv", (corpus / entry.file).string(), out.string()});
        EXPECT_EQ(run.exit_code, 0) << run.err;
        EXPECT_TRUE(run.out.empty());
        // One summary line naming the layout the corpus lists.
        EXPECT_NE(run.err.find(", " + entry.layout + ": "), std::string::npos) << run.err;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);

        const Bytes decoded = read_file(out);
        EXPECT_EQ(decoded.size(), entry.decoded_size);
        EXPECT_EQ(sha256_hex(decoded), entry.sha256);
    }
}

TEST(Sha256, MatchesPublishedDigests)
{
    const auto bytes = [](const std::string& text) { return Bytes(text.begin(), text.end()); };
    EXPECT_EQ(sha256_hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256_hex(bytes("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first padding block.
    EXPECT_EQ(sha256_hex(bytes("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(sha256_hex(Bytes(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace decoder_test
