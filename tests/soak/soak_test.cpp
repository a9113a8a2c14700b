// The soak: one launcher process presses PLAY 200 times against the
// stand-in runtime and imports a small package 50 times through the real
// dialogs. From the 10th round to the last, resident memory grows by less
// than 10 %; open file descriptors and threads end where they began (after
// one warm-up round).
#include "dialog_driver.h"
#include "import_fixture.h"
#include "standin_support.h"
#include "test_support.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QFile>
#include <QRegularExpression>

#include <memory>

#include "window/main_window.h"

using namespace testing_support;

namespace {

constexpr int kRounds = 50;           // one import per round
constexpr int kPlaysPerRound = 4;     // 200 PLAY presses in all
constexpr int kMeasuredFromRound = 10;
constexpr double kMaxMemoryGrowth = 0.10;
constexpr int kImportTimeoutMs = 60000;

struct ProcessFigures {
    qint64 residentKiB = 0;
    int threads = 0;
    int openFiles = 0;
    QStringList fileTargets; // what each open descriptor refers to
};

// A "Name:   value" line of /proc/self/status.
qint64 statusValue(const QString& status, const QString& name)
{
    const QRegularExpression line(QStringLiteral("^%1:\\s+(\\d+)").arg(name), QRegularExpression::MultilineOption);
    return line.match(status).captured(1).toLongLong();
}

ProcessFigures measure()
{
    QFile statusFile(QStringLiteral("/proc/self/status"));
    if (!statusFile.open(QIODevice::ReadOnly))
        qFatal("cannot read /proc/self/status");
    const QString status = QString::fromLatin1(statusFile.readAll());
    ProcessFigures figures;
    figures.residentKiB = statusValue(status, QStringLiteral("VmRSS"));
    figures.threads = int(statusValue(status, QStringLiteral("Threads")));
    // The listing's own descriptor is counted every time alike.
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : descriptors.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        figures.fileTargets << QFile::symLinkTarget(descriptors.filePath(fd));
    figures.fileTargets.sort();
    figures.openFiles = int(figures.fileTargets.size());
    return figures;
}

QString describe(const ProcessFigures& figures)
{
    return QStringLiteral("RSS %1 KiB, %2 threads, %3 open files")
        .arg(figures.residentKiB).arg(figures.threads).arg(figures.openFiles);
}

} // namespace

class TestSoak : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<MainWindow> window;
    QByteArray previousPath;

    template <typename Widget>
    Widget* child(const QString& name) const
    {
        auto* widget = window->findChild<Widget*>(name);
        if (!widget)
            qFatal("no %s named %s", Widget::staticMetaObject.className(), qPrintable(name));
        return widget;
    }

    // Imports the package into a folder of its own through the dialogs and
    // returns the adopted game root.
    QString importPackage(const QString& package, int round)
    {
        const QString parent = home->filePath(QStringLiteral("Games/round%1").arg(round));
        if (!QDir().mkpath(parent))
            return {};
        auto* status = child<QLabel>(QStringLiteral("statusLabel"));
        QPushButton* importButton = nullptr;
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            if (button->text() == QLatin1String("Import game data (XBLA package / folder)..."))
                importButton = button;
        }
        if (!importButton)
            return {};
        DialogDriver driver;
        driver.click("XBLA package...").choose(package).choose(parent);
        importButton->click();
        if (!QTest::qWaitFor([&] { return driver.finished() && status->text().startsWith("Imported"); },
                             kImportTimeoutMs))
            return {};
        if (!QTest::qWaitFor([&] { return importButton->isEnabled(); }))
            return {};
        return QDir(parent).filePath(QStringLiteral("TVL"));
    }

    // Presses PLAY once the status is in, and waits for the stand-in's
    // record of that launch.
    bool play(const QString& root)
    {
        if (!QTest::qWaitFor([&] { return !window->isLookingForGameData(); }))
            return false;
        const QString record = root + "/logs/game.log";
        QFile::remove(record);
        child<QPushButton>(QStringLiteral("playButton"))->click();
        if (!child<QLabel>(QStringLiteral("commandLabel"))->text().startsWith("Launched: "))
            return false;
        return waitForStandInRecord(record).pid != 0;
    }

    // Threads and descriptors settle once the last worker and child are
    // gone; waits until they are back at the start's numbers, or times out
    // and returns what is left over, for the caller's comparison to show.
    ProcessFigures settledFigures(const ProcessFigures& start)
    {
        ProcessFigures now = measure();
        const bool settled = QTest::qWaitFor([&] {
            now = measure();
            return now.threads == start.threads && now.openFiles == start.openFiles;
        }, 10000);
        if (!settled)
            qInfo("threads or open files did not settle within 10 s");
        return now;
    }

private slots:
    void initTestCase()
    {
        previousPath = qgetenv("PATH");
        qputenv("PATH", QByteArray(ORVELLO_BIN_DIR) + ':' + previousPath);
        home = std::make_unique<ScratchHome>();
    }

    void cleanupTestCase()
    {
        window.reset();
        home.reset();
        qputenv("PATH", previousPath);
    }

    void playsAndImportsInOneProcess()
    {
        const QString package = home->filePath(QStringLiteral("Downloads/TVL.pkg"));
        writeContentPackage(package, makeGameContent());
        const QString firstRoot = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(firstRoot);
        installStandIn(firstRoot);
        window = std::make_unique<MainWindow>();
        window->show();
        window->finishStartup(); // the search and the rows, without waiting for the first frame
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(play(firstRoot));
        qInfo("before the warm-up import: %s", qPrintable(describe(measure())));
        // A warm-up round outside the count: the first file dialog opens the
        // MIME database, which stays mapped for the life of the process.
        const QString warmUpRoot = importPackage(package, 0);
        QVERIFY2(!warmUpRoot.isEmpty(), "the warm-up import did not finish");
        installStandIn(warmUpRoot);
        QVERIFY(play(warmUpRoot));
        const ProcessFigures start = measure();
        qInfo("start: %s", qPrintable(describe(start)));

        ProcessFigures atMeasuredRound;
        for (int round = 1; round <= kRounds; ++round) {
            const QString root = importPackage(package, round);
            QVERIFY2(!root.isEmpty(), qPrintable(QStringLiteral("import %1 did not finish").arg(round)));
            installStandIn(root);
            window->refreshStatus();
            for (int press = 0; press < kPlaysPerRound; ++press)
                QVERIFY2(play(root), qPrintable(QStringLiteral("PLAY %1 of round %2").arg(press + 1).arg(round)));
            if (round == kMeasuredFromRound) {
                atMeasuredRound = measure();
                qInfo("round %d: %s", round, qPrintable(describe(atMeasuredRound)));
            }
        }

        const ProcessFigures end = settledFigures(start);
        qInfo("round %d: %s", kRounds, qPrintable(describe(end)));
        const double growth = double(end.residentKiB - atMeasuredRound.residentKiB) / atMeasuredRound.residentKiB;
        qInfo("resident memory growth from round %d: %.1f %%", kMeasuredFromRound, growth * 100);
        QVERIFY2(growth < kMaxMemoryGrowth, qPrintable(QString::number(growth * 100, 'f', 1) + " %"));
        QVERIFY2(end.openFiles == start.openFiles,
                 qPrintable("open at the start: " + start.fileTargets.join(", ") + "\nopen at the end: "
                            + end.fileTargets.join(", ")));
        QCOMPARE(end.threads, start.threads);
    }
};

ORVELLO_TEST_MAIN(TestSoak)
#include "soak_test.moc"
