// The block checks of the extraction: the side-by-side SHA-1 of package
// blocks against known digests and against libcrypto one block at a time,
// and the checker, whose two threads share a run's blocks, always naming the
// first block that does not match.
#include "import/block_digest_checker.h"
#include "import/block_sha1.h"
#include "import/stfs_reader.h"
#include "test_support.h"

#include <vector>

using testing_support::patternBytes;

namespace {

QByteArray hexOf(const sha::Sha1& digest)
{
    return QByteArray(reinterpret_cast<const char*>(digest.data()), sha::kSha1Size).toHex();
}

std::vector<sha::Sha1> digestsOf(const QByteArray& blocks, bool oneByOne)
{
    const int count = int(blocks.size() / sha::kPackageBlockSize);
    std::vector<sha::Sha1> digests(size_t(count) + 1);
    digests[size_t(count)].fill(0xEE);  // must stay untouched
    if (oneByOne)
        sha::blockSha1sOneByOne(blocks.constData(), count, digests.data());
    else
        sha::blockSha1s(blocks.constData(), count, digests.data());
    return digests;
}

// One 24-byte hash entry per block, holding the block's true digest.
QByteArray trueEntries(const QByteArray& blocks)
{
    const int count = int(blocks.size() / sha::kPackageBlockSize);
    QByteArray entries(qsizetype(StfsReader::kHashEntrySize) * count, '\0');
    for (int i = 0; i < count; ++i) {
        const sha::Sha1 digest = sha::sha1(blocks.constData() + qsizetype(sha::kPackageBlockSize) * i,
                                           sha::kPackageBlockSize);
        std::copy(digest.begin(), digest.end(), entries.data() + StfsReader::kHashEntrySize * i);
    }
    return entries;
}

} // namespace

class TestBlockChecks : public QObject {
    Q_OBJECT

private slots:
    // Digests from Python's hashlib: seventeen blocks put one in the lanes'
    // leftovers and the rest side by side, where the processor allows.
    void knownDigests()
    {
        QByteArray blocks(17 * sha::kPackageBlockSize, '\0');
        for (int i = 0; i < sha::kPackageBlockSize; ++i)
            blocks[qsizetype(sha::kPackageBlockSize) * 3 + i] = char((i * 7 + 3) & 0xFF);
        blocks.replace(qsizetype(sha::kPackageBlockSize) * 16, sha::kPackageBlockSize,
                       blocks.mid(qsizetype(sha::kPackageBlockSize) * 3, sha::kPackageBlockSize));
        const std::vector<sha::Sha1> digests = digestsOf(blocks, false);
        const QByteArray zeros = "1ceaf73df40e531df3bfb26b4fb7cd95fb7bff1d";
        const QByteArray pattern = "6272f6754cd52a09ecc9c22764b6cc138a7c907b";
        for (int i = 0; i < 17; ++i)
            QCOMPARE(hexOf(digests[size_t(i)]), (i == 3 || i == 16) ? pattern : zeros);
        QCOMPARE(hexOf(digests[17]), QByteArray(40, 'e'));
    }

    void sideBySideMatchesOneByOne_data()
    {
        QTest::addColumn<int>("count");
        for (int count : {0, 1, 15, 16, 17, 33, 170})
            QTest::addRow("%d blocks", count) << count;
    }

    void sideBySideMatchesOneByOne()
    {
        if (!sha::wideBlockSha1Available())
            QSKIP("this processor has no AVX-512: blocks are hashed one by one only");
        QFETCH(int, count);
        const QByteArray blocks = patternBytes(qsizetype(sha::kPackageBlockSize) * count, 0xB10C + quint32(count));
        QVERIFY(digestsOf(blocks, false) == digestsOf(blocks, true));
    }

    // Both threads take blocks of one run; whichever finds a mismatch first,
    // the first damaged block is the one reported, and a clean run passes
    // its bytes to the file digest.
    void theFirstMismatchIsReported_data()
    {
        QTest::addColumn<QList<int>>("damaged");
        QTest::addColumn<int>("reported");
        QTest::newRow("none") << QList<int>{} << -1;
        QTest::newRow("first block") << QList<int>{0} << 0;
        QTest::newRow("last block") << QList<int>{169} << 169;
        QTest::newRow("two in one batch") << QList<int>{17, 16} << 16;
        QTest::newRow("a late one and an early one") << QList<int>{150, 40} << 40;
    }

    void theFirstMismatchIsReported()
    {
        QFETCH(QList<int>, damaged);
        QFETCH(int, reported);
        constexpr int kBlocks = 170;
        QByteArray blocks = patternBytes(qsizetype(sha::kPackageBlockSize) * kBlocks, 0xC4EC);
        const QByteArray entries = trueEntries(blocks);
        for (int block : damaged)
            blocks[qsizetype(sha::kPackageBlockSize) * block + 77] ^= 0x10;

        BlockDigestChecker checker;
        for (int attempt = 0; attempt < 50; ++attempt) {
            sha::Sha256 digest;
            checker.start(BlockRun{blocks.constData(), kBlocks, entries, true, &digest, blocks.size()});
            QCOMPARE(checker.wait(), reported);
            if (reported < 0) {
                sha::Sha256 expected;
                expected.add(blocks);
                QCOMPARE(digest.hexDigest(), expected.hexDigest());
            }
        }
        QCOMPARE(BlockDigestChecker::check(BlockRun{blocks.constData(), kBlocks, entries, true, nullptr, 0}),
                 reported);
    }
};

ORVELLO_CORE_TEST_MAIN(TestBlockChecks)
#include "block_checks_test.moc"
