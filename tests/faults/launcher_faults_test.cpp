// The launcher window under faults of its surroundings: a settings folder
// or a play journal's folder that takes no writes, game files removed
// between start-up and PLAY, and left-over shared-memory files that cannot
// be removed. The launcher keeps
// running, says what went wrong where the user looks, and changes no file
// that existed before.
#include "core/game_profile.h"
#include "core/launcher_settings.h"
#include "core/play_journal.h"
#include "fault_support.h"
#include "supervisor/journal_format.h"
#include "standin_support.h"
#include "test_support.h"
#include "window/main_window.h"
#include "window/settings_page.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include <cerrno>
#include <memory>
#include <optional>

using namespace fault_support;
using namespace testing_support;

namespace {

// A file in /dev/shm that the test removes again.
class ShmFileGuard {
public:
    explicit ShmFileGuard(const QString& path) : path(path) {}
    ~ShmFileGuard() { QFile::remove(path); }

private:
    QString path;
};

void makeOld(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-600), QFileDevice::FileModificationTime));
}

} // namespace

class TestLauncherFaults : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<MainWindow> window;

    QString makeReadyGameRoot()
    {
        const QString root = home->filePath(QStringLiteral("Games/Tessarine Vandry"));
        makeGameRoot(root);
        installStandIn(root);
        return root;
    }

    MainWindow& openWindow()
    {
        window = std::make_unique<MainWindow>();
        window->show();
        window->finishStartup(); // the search and the rows, without waiting for the first frame
        if (!QTest::qWaitFor([this] { return !window->isLookingForGameData(); }))
            qFatal("the game data lookup never came back");
        return *window;
    }

    template <typename Widget>
    Widget* child(const QString& name) const
    {
        auto* widget = window->findChild<Widget*>(name);
        if (!widget)
            qFatal("no %s named %s", Widget::staticMetaObject.className(), qPrintable(name));
        return widget;
    }

    QString pressPlay()
    {
        child<QPushButton>(QStringLiteral("playButton"))->click();
        return child<QLabel>(QStringLiteral("commandLabel"))->text();
    }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
    }

    void cleanup()
    {
        window.reset();
        home.reset();
    }

    // The settings folder takes no writes: the launcher runs on, PLAY uses
    // the settings as they stand on the page, and the page says that changes
    // cannot be saved and why. Once the folder is writable again, the next
    // change is saved and the notice goes.
    void settingsFolderThatCannotBeWritten()
    {
        const QString root = makeReadyGameRoot();
        sharedSettings().setValue(QStringLiteral("settings/frame_limit"), 60);
        sharedSettings().sync();
        const QString settingsFile = sharedSettings().fileName();
        const QString settingsFolder = QFileInfo(settingsFile).absolutePath();
        UnwritableTree unwritable(settingsFolder);
        if (!unwritable.ok())
            QSKIP("cannot make the settings folder unwritable here");
        const TreeChecksums before({settingsFolder, root});

        openWindow();
        auto* notice = child<QLabel>(QStringLiteral("settingsSaveProblemLabel"));
        const QString expected = "Changes cannot be saved: " + unwritable.reason();
        QVERIFY2(!notice->isHidden(), "the page says at once that changes cannot be saved");
        QCOMPARE(notice->text(), expected);
        QStringList besideNotice; // the group's labels of the settings file
        for (const QLabel* label : notice->parentWidget()->findChildren<QLabel*>()) {
            if (label->text().startsWith("Settings file: "))
                besideNotice << label->text();
        }
        QCOMPARE(besideNotice, QStringList{"Settings file: " + settingsFile});

        child<QCheckBox>(QStringLiteral("windowed"))->setChecked(true);
        QCOMPARE(notice->text(), expected);
        QVERIFY(!notice->isHidden());

        const QString outcome = pressPlay();
        QVERIFY2(outcome.startsWith("Launched: "), qPrintable(outcome));
        const StandInRecord record = waitForStandInRecord(root + "/logs/game.log");
        QVERIFY(record.arguments.contains(QStringLiteral("--fullscreen=false")));
        QVERIFY(record.arguments.contains(QStringLiteral("--frame_limit=60")));
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));

        unwritable.restore();
        child<QSpinBox>(QStringLiteral("frame_limit"))->setValue(75);
        QVERIFY2(notice->isHidden(), qPrintable(notice->text()));
        QSettings written(settingsFile, QSettings::IniFormat);
        QCOMPARE(written.value(QStringLiteral("settings/frame_limit")).toInt(), 75);
        QCOMPARE(written.value(QStringLiteral("settings/windowed")).toBool(), true);
    }

    // What disappears after the window has found the game, before PLAY.
    // The journal's folder takes no writes: PLAY still starts the game
    // (the supervisor cannot record it), the journal stays as it was, and
    // the line under the status keeps what it knew, the last outcome
    // cleared by the PLAY.
    void aPlayJournalThatTakesNoWrites()
    {
        const QString root = makeReadyGameRoot();
        const QString journal = playJournalPath(gameProfile());
        const supervisor::RunIdentity run{"-", {7, 7}, {8, 8}};
        const qint64 startedMs = QDateTime::currentMSecsSinceEpoch() - 60'000;
        writeFile(journal, QByteArray::fromStdString(
                               supervisor::formatLine(supervisor::RunStart{run, startedMs, "/g"})
                               + supervisor::formatLine(supervisor::RunEnd{run, supervisor::RunEndKind::Exited, 3, 4000})));
        UnwritableTree unwritable(QFileInfo(journal).absolutePath());
        if (!unwritable.ok())
            QSKIP("cannot make the journal's folder unwritable here");
        const TreeChecksums before({QFileInfo(journal).absolutePath()});
        openWindow();
        QCOMPARE(child<QLabel>("runOutcomeLabel")->text(), QStringLiteral("The last run ended after 4 s: exit code 3."));

        QVERIFY2(pressPlay().startsWith("Launched: "), qPrintable(child<QLabel>("commandLabel")->text()));
        waitForStandInRecord(root + "/logs/game.log");
        QCOMPARE(child<QLabel>("playSummaryLabel")->text(), QStringLiteral("Played 4 s · last played today"));
        QVERIFY(!child<QLabel>("runOutcomeLabel")->isVisible());
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }

    void gameFilesRemovedBeforePlay_data()
    {
        QTest::addColumn<QString>("removed");
        QTest::addColumn<QString>("failure");
        const QString notFound = QStringLiteral("Launch failed: Game program files not found - tessarine, "
                                                "libkynruntime.so and libkyngpu-xenos.so must be together in one "
                                                "folder.\nSearched:\n");
        // PLAY then makes nothing again, and the status says the data is gone.
        QTest::newRow("the game folder") << QString() << QStringLiteral("Launch failed: Game data not found: %1");
        QTest::newRow("a library of the program set") << QStringLiteral("libkyngpu-xenos.so") << notFound;
        QTest::newRow("the game's executable") << QStringLiteral("tessarine") << notFound;
    }

    void gameFilesRemovedBeforePlay()
    {
        QFETCH(QString, removed);
        QFETCH(QString, failure);
        const QString root = makeReadyGameRoot();
        openWindow();
        QVERIFY(child<QPushButton>(QStringLiteral("playButton"))->isEnabled());

        // Saved once, so that PLAY's own save of the same values changes no byte.
        child<QPushButton>(QStringLiteral("resetButton"))->click();
        if (removed.isEmpty())
            QVERIFY(QDir(root).removeRecursively());
        else
            QVERIFY(QFile::remove(QDir(root).filePath(removed)));
        const TreeChecksums before({home->path(), QFileInfo(sharedSettings().fileName()).absolutePath()});

        const bool folderGone = removed.isEmpty();
        const QString outcome = pressPlay();
        QVERIFY2(outcome.startsWith(failure.arg(window->session().gameRoot())), qPrintable(outcome));
        QVERIFY(window->isVisible());
        QCOMPARE(child<QPushButton>(QStringLiteral("playButton"))->isEnabled(), !folderGone);
        if (folderGone)
            QCOMPARE(child<QLabel>("statusLabel")->text(), QStringLiteral("Tessarine Vandry Live: not found"));
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));

        // Put back, the files are used by the next PLAY without a restart
        // (a folder put back, once the status is looked up again).
        installStandIn(root);
        makeGameRoot(root);
        if (folderGone) {
            window->refreshStatus();
            QTRY_VERIFY(child<QPushButton>(QStringLiteral("playButton"))->isEnabled());
        }
        QVERIFY2(pressPlay().startsWith("Launched: "), qPrintable(child<QLabel>("commandLabel")->text()));
        waitForStandInRecord(root + "/logs/game.log");
    }

    // A stale shared-memory file of the runtime that cannot be removed (a
    // mount point: even root gets "busy") stays, nothing is said about it,
    // the stale file beside it is removed, and PLAY launches the game.
    void sharedMemoryFilesThatCannotBeRemoved()
    {
        if (!runningAsRoot())
            QSKIP("needs root to make a file in /dev/shm that this user cannot remove");
        const QString root = makeReadyGameRoot();
        const QString prefix = "/dev/shm/" + gameProfile().sharedMemoryPrefix
                               + QStringLiteral("orvfault_%1_").arg(QCoreApplication::applicationPid());
        const QString stuck = prefix + "stuck";
        const QString removable = prefix + "removable";
        ShmFileGuard stuckGuard(stuck), removableGuard(removable);
        const QString source = home->filePath(QStringLiteral("shm-source"));
        writeFile(source, QByteArray(4096, 'm'));
        writeFile(stuck, {});
        writeFile(removable, QByteArray(4096, 'm'));
        makeOld(source);
        makeOld(removable);
        ScratchMount busy = ScratchMount::bindFile(source, stuck);
        if (!busy.ok())
            QSKIP("cannot bind a file over a /dev/shm file here");
        QVERIFY2(!QFile::remove(stuck), "the stuck file can be removed after all");
        const TreeChecksums before({home->path(), stuck});

        openWindow();
        const QString outcome = pressPlay();
        QVERIFY2(outcome.startsWith("Launched: "), qPrintable(outcome));
        QVERIFY(!outcome.contains("/dev/shm"));
        waitForStandInRecord(root + "/logs/game.log");
        QVERIFY2(QFile::exists(stuck), "the file that cannot be removed stays");
        QVERIFY2(!QFile::exists(removable), "the cleanup ran: the removable stale file is gone");
        QVERIFY2(before.changedSince().isEmpty(), qPrintable(before.changedSince().join('\n')));
    }
};

ORVELLO_TEST_MAIN(TestLauncherFaults)
#include "launcher_faults_test.moc"
