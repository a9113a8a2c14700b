// Finding and checking the game data folder: the XEX2 title check against
// well-formed and hostile images, the searches, and the remembered root.
#include "core/game_data.h"
#include "core/game_profile.h"
#include "core/launcher_settings.h"
#include "test_support.h"

#include <QApplication>
#include <QBuffer>
#include <QFile>
#include <QSettings>
#include <QThread>

#include <memory>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const QString kTitle = QStringLiteral("4E3D2C71");
const QString kOtherTitle = QStringLiteral("12345678");
const QString kRememberedKey = QStringLiteral("detection/4E3D2C71/root");

QByteArray withBytesAt(QByteArray bytes, qsizetype offset, const QByteArray& patch)
{
    if (bytes.size() < offset + patch.size())
        bytes.resize(offset + patch.size(), '\0');
    bytes.replace(offset, patch.size(), patch);
    return bytes;
}

QByteArray otherTitleBytes() { return QByteArray::fromHex(kOtherTitle.toLatin1()); }

// A listening Unix socket at a path, closed with the object.
class SocketFile {
public:
    explicit SocketFile(const QByteArray& path)
        : fd(socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (fd < 0 || size_t(path.size()) >= sizeof address.sun_path)
            return;
        memcpy(address.sun_path, path.constData(), size_t(path.size()));
        bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 && listen(fd, 1) == 0;
    }
    ~SocketFile()
    {
        if (fd >= 0)
            close(fd);
    }
    bool ok() const { return bound; }

private:
    int fd;
    bool bound = false;
};

} // namespace

class TestGameData : public QObject {
    Q_OBJECT

private slots:
    void titleCheck_data()
    {
        QTest::addColumn<QByteArray>("image");
        QTest::addColumn<bool>("passes");

        QTest::newRow("served title") << xexImage(kTitle) << true;
        QTest::newRow("other title") << xexImage(kOtherTitle) << false;
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("23 bytes") << xexImage(kOtherTitle).left(23) << true;
        QTest::newRow("no magic") << withBytesAt(xexImage(kOtherTitle), 0, "XEX1") << true;
        QTest::newRow("zero entries") << withBytesAt(xexImage(kOtherTitle), 20, QByteArray(4, '\0')) << true;
        QTest::newRow("no execution info entry")
            << withBytesAt(xexHeader({{0x00010001, 0x40}, {0x00020002, 0x40}}), 0x40 + 12, otherTitleBytes()) << true;
        QTest::newRow("title offset past the end") << xexHeader({{0x00040006, 0x10000}}) << true;
        QTest::newRow("title cut short") << xexImage(kOtherTitle).left(0x40 + 14) << true;

        // Only the first 256 entries are examined.
        QList<XexEntry> entries(300, XexEntry{0x00010001, 0});
        entries[255] = {0x00040006, 0x1000};
        QTest::newRow("execution info as entry 255")
            << withBytesAt(xexHeader(entries), 0x1000 + 12, otherTitleBytes()) << false;
        entries[255] = {0x00010001, 0};
        entries[256] = {0x00040006, 0x1000};
        QTest::newRow("execution info as entry 256")
            << withBytesAt(xexHeader(entries), 0x1000 + 12, otherTitleBytes()) << true;

        // Only entries whose key lies wholly inside the bytes read count.
        QTest::newRow("key partly past the end")
            << withBytesAt(xexHeader({{0x00010001, 0}, {0x00010001, 0}, {0x00040006, 0}}), 12, otherTitleBytes()).left(42)
            << true;

        // A value field outside the bytes read counts as 0: the title is then
        // read at offset 12.
        QTest::newRow("value field cut off")
            << withBytesAt(xexHeader({{0x00040006, 0}}).left(28), 12, otherTitleBytes()).left(28) << false;
        // value + 12 is 32-bit arithmetic: 0xFFFFFFF8 + 12 wraps to 4.
        QTest::newRow("offset wraps around")
            << withBytesAt(xexHeader({{0x00040006, 0xFFFFFFF8}}), 4, otherTitleBytes()) << false;
        QTest::newRow("absurd entry count") << xexHeader({{0x00010001, 0}}, 0xFFFFFFFF) << true;
        QTest::newRow("random bytes with magic")
            << QByteArray("XEX2").append(QByteArray::fromHex("00000000ffffffffffffffff00000003000400060fffffff")) << true;
    }

    void titleCheck()
    {
        QFETCH(QByteArray, image);
        QFETCH(bool, passes);
        ScratchHome home;
        writeFile(home.filePath(QStringLiteral("root/default.xex")), image);
        QCOMPARE(checkGameTitle(gameProfile(), home.filePath(QStringLiteral("root"))), passes);
    }

    void titleComparisonIgnoresCase()
    {
        ScratchHome home;
        makeGameRoot(home.filePath(QStringLiteral("root")), QStringLiteral("4E3D2C7A"));
        GameProfile profile = gameProfile();
        profile.titleId = QStringLiteral("4e3d2c7a");
        QVERIFY(checkGameTitle(profile, home.filePath(QStringLiteral("root"))));
        QBuffer image;
        image.setData(xexImage(QStringLiteral("4e3d2c7a")));
        QVERIFY(image.open(QIODevice::ReadOnly));
        QCOMPARE(readXexTitleId(image), QStringLiteral("4E3D2C7A"));
    }

    void imageLocationRules()
    {
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("root"));
        QVERIFY(!checkGameTitle(gameProfile(), QString()));
        QVERIFY(!checkGameTitle(gameProfile(), root)); // no image at all
        writeFile(QDir(root).filePath(QStringLiteral("Default.xex")), xexImage(kTitle));
        QVERIFY2(!checkGameTitle(gameProfile(), root), "the image name is matched exactly");
        // The image under "gamedata" decides, even beside a matching one.
        writeFile(QDir(root).filePath(QStringLiteral("default.xex")), xexImage(kTitle));
        writeFile(QDir(root).filePath(QStringLiteral("gamedata/default.xex")), xexImage(kOtherTitle));
        QVERIFY(!checkGameTitle(gameProfile(), root));
        // A folder named like the image exists but cannot be read: accepted.
        const QString odd = home.filePath(QStringLiteral("odd"));
        QVERIFY(QDir().mkpath(QDir(odd).filePath(QStringLiteral("default.xex"))));
        QVERIFY(checkGameTitle(gameProfile(), odd));
    }

    // A FIFO, a socket or a device named like the image counts as an image
    // that cannot be opened: the folder passes, and neither the check nor
    // the search waits on it (a FIFO opened for reading would wait for a
    // writer).
    void specialFileNamedLikeTheImage_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("socket") << "socket";
        QTest::newRow("character device") << "device";
    }

    void specialFileNamedLikeTheImage()
    {
        QFETCH(QString, kind);
        ScratchHome home;
        const QString root = home.filePath(QStringLiteral("Games/Special"));
        QVERIFY(QDir().mkpath(root));
        const QString image = QDir(root).filePath(QStringLiteral("default.xex"));
        const QByteArray imagePath = QFile::encodeName(image);
        std::unique_ptr<SocketFile> socket;
        if (kind == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(imagePath.constData(), 0600), 0);
        } else if (kind == QLatin1String("socket")) {
            socket = std::make_unique<SocketFile>(imagePath);
            QVERIFY2(socket->ok(), "no Unix socket could be made (is the path too long?)");
        } else if (mknod(imagePath.constData(), S_IFCHR | 0600, makedev(1, 5)) != 0) { // like /dev/zero
            QSKIP("making a device node needs root");
        }

        bool passes = false;
        QString found;
        std::unique_ptr<QThread> search(QThread::create([&] {
            passes = checkGameTitle(gameProfile(), root);
            found = findGameRoot(gameProfile());
        }));
        search->start();
        const bool returned = search->wait(10000);
        while (!search->wait(100)) {
            // A writer that comes and goes lets a reader blocked on the FIFO
            // go on (it reads the end of the file).
            const int writer = open(imagePath.constData(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                close(writer);
        }
        QVERIFY2(returned, "the title check waited on the file named default.xex");
        QVERIFY(passes);
        QCOMPARE(found, QFileInfo(root).canonicalFilePath());
    }

    void searchFindsFirstByNameAndListsAll()
    {
        ScratchHome home;
        makeGameRoot(home.filePath(QStringLiteral("Games/B")));
        makeGameRoot(home.filePath(QStringLiteral("Games/A")), kTitle, false);
        makeGameRoot(home.filePath(QStringLiteral("Games/C")), kOtherTitle);
        makeGameRoot(home.filePath(QStringLiteral("Games/D/too/deep")));
        const QString a = QFileInfo(home.filePath(QStringLiteral("Games/A"))).canonicalFilePath();
        const QString b = QFileInfo(home.filePath(QStringLiteral("Games/B"))).canonicalFilePath();
        QCOMPARE(findGameRoot(gameProfile()), a);
        QCOMPARE(findAllGameRoots(gameProfile()), (QStringList{a, b}));
    }

    void searchAcceptsTheBaseFolderItselfAndFollowsLinks()
    {
        ScratchHome home;
        makeGameRoot(home.filePath(QStringLiteral("Games")), kTitle, false);
        makeGameRoot(home.filePath(QStringLiteral("elsewhere/tvl")));
        QVERIFY(QFile::link(home.filePath(QStringLiteral("elsewhere/tvl")), home.filePath(QStringLiteral("Games/link"))));
        const QString games = QFileInfo(home.filePath(QStringLiteral("Games"))).canonicalFilePath();
        const QString target = QFileInfo(home.filePath(QStringLiteral("elsewhere/tvl"))).canonicalFilePath();
        QCOMPARE(findGameRoot(gameProfile()), games);
        QCOMPARE(findAllGameRoots(gameProfile()), (QStringList{games, target}));
        QCOMPARE(searchBaseFolders().first(), home.filePath(QStringLiteral("Games")));
    }

    void searchSkipsTheTemporaryFolder()
    {
        const QByteArray previousTmp = qgetenv("TMPDIR");
        ScratchHome home;
        makeGameRoot(home.filePath(QStringLiteral("Games/A")));
        qputenv("TMPDIR", home.path().toLocal8Bit()); // the whole home is now "temporary"
        QCOMPARE(findGameRoot(gameProfile()), QString());
        QVERIFY(!isGameRootCandidate(gameProfile(), home.filePath(QStringLiteral("Games/A"))));
        // A remembered root there still counts: it only takes the title check.
        rememberGameRoot(gameProfile(), home.filePath(QStringLiteral("Games/A")));
        QCOMPARE(resolveGameRoot(gameProfile()), home.filePath(QStringLiteral("Games/A")));
        qputenv("TMPDIR", previousTmp);
    }

    void resolutionRemembersWhatTheSearchFinds()
    {
        ScratchHome home;
        QCOMPARE(resolveGameRoot(gameProfile()), QString());
        QVERIFY2(!QFile::exists(sharedSettings().fileName()), "nothing found, nothing written");

        makeGameRoot(home.filePath(QStringLiteral("Games/A")));
        const QString a = QFileInfo(home.filePath(QStringLiteral("Games/A"))).canonicalFilePath();
        QCOMPARE(resolveGameRoot(gameProfile()), a);
        QCOMPARE(sharedSettings().value(kRememberedKey).toString(), a);

        // The remembered root wins over the search while it validates.
        makeGameRoot(home.filePath(QStringLiteral("Games/0first")));
        QCOMPARE(resolveGameRoot(gameProfile()), a);
        // Once it fails the title check it is ignored and replaced.
        makeGameRoot(a, kOtherTitle);
        const QString first = QFileInfo(home.filePath(QStringLiteral("Games/0first"))).canonicalFilePath();
        QCOMPARE(resolveGameRoot(gameProfile()), first);
        QCOMPARE(sharedSettings().value(kRememberedKey).toString(), first);
    }

    void rememberedRootGoneOrNonCanonical()
    {
        ScratchHome home;
        rememberGameRoot(gameProfile(), home.filePath(QStringLiteral("vanished")));
        QCOMPARE(rememberedGameRoot(gameProfile()), QString());
        QCOMPARE(resolveGameRoot(gameProfile()), QString());
        QCOMPARE(sharedSettings().value(kRememberedKey).toString(), home.filePath(QStringLiteral("vanished")));

        makeGameRoot(home.filePath(QStringLiteral("Games/A")));
        const QString stored = home.filePath(QStringLiteral("Games/./A/"));
        rememberGameRoot(gameProfile(), stored);
        const QString canonical = QFileInfo(home.filePath(QStringLiteral("Games/A"))).canonicalFilePath();
        QCOMPARE(findAllGameRoots(gameProfile()), (QStringList{stored, canonical}));
    }

    void unreadableAndOddEntriesUnderTheBase()
    {
        ScratchHome home;
        writeFile(home.filePath(QStringLiteral("Games/a-file")), "not a folder");
        QVERIFY(QFile::link(home.filePath(QStringLiteral("nowhere")), home.filePath(QStringLiteral("Games/dangling"))));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("Games/locked"))));
        QFile::setPermissions(home.filePath(QStringLiteral("Games/locked")), QFileDevice::Permissions());
        makeGameRoot(home.filePath(QStringLiteral("Games/z")));
        QCOMPARE(findGameRoot(gameProfile()), QFileInfo(home.filePath(QStringLiteral("Games/z"))).canonicalFilePath());
        QFile::setPermissions(home.filePath(QStringLiteral("Games/locked")), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
};

ORVELLO_TEST_MAIN(TestGameData)
#include "game_data_test.moc"
