// The Game tab's play line over a session's journal: what it shows for the
// journal's runs, how it follows lines that supervisors append (and a
// supervisor that dies without its end line, and a compaction's new file)
// as they happen, the compaction when it opens; and the log dialog: the
// log's last lines, searchable and copied whole.
#include "core/launcher_session.h"
#include "core/play_journal.h"
#include "supervisor/journal_format.h"
#include "supervisor/process_identity.h"
#include "test_support.h"
#include "window/log_dialog.h"
#include "window/play_line.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTextBlock>

#include <memory>

using namespace testing_support;

// Takes the URLs that the launcher hands to the desktop.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls << url; }
};
using supervisor::RunEnd;
using supervisor::RunEndKind;
using supervisor::RunIdentity;
using supervisor::RunStart;

namespace {

QByteArray line(const supervisor::JournalRecord& record)
{
    return QByteArray::fromStdString(supervisor::formatLine(record));
}

// A run whose supervisor is a process that the test ends when it wants to:
// the journal's story of it is written by the test.
class FakeSupervisor {
public:
    FakeSupervisor()
    {
        process.start(QStringLiteral("sleep"), {QStringLiteral("60")});
        if (!process.waitForStarted())
            qFatal("cannot start sleep");
        const long pid = long(process.processId());
        identity = RunIdentity{supervisor::readBootId(), *supervisor::readProcessIdentity(pid), {pid, 1}};
    }
    ~FakeSupervisor() { end(); }
    void end()
    {
        process.kill();
        process.waitForFinished();
    }
    QByteArray started(const QDateTime& when) const
    {
        return line(RunStart{identity, when.toMSecsSinceEpoch(), "/games/tvl"});
    }
    QByteArray exited(int code, qint64 ms) const { return line(RunEnd{identity, RunEndKind::Exited, code, ms}); }

    RunIdentity identity;

private:
    QProcess process;
};

// An ended run of a supervisor long gone.
QByteArray endedRun(long number, const QDateTime& when, RunEndKind kind, int code, qint64 ms)
{
    const RunIdentity run{"-", {number, 7}, {number + 1, 8}};
    return line(RunStart{run, when.toMSecsSinceEpoch(), "/games/tvl"}) + line(RunEnd{run, kind, code, ms});
}

void append(const QString& path, const QByteArray& text)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    QCOMPARE(file.write(text), text.size());
}

QString numberedLines(int from, int to)
{
    QStringList lines;
    for (int i = from; i <= to; ++i)
        lines << QStringLiteral("line %1 of the game's log").arg(i);
    return lines.join('\n');
}

} // namespace

class TestPlayLine : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchHome> home;
    std::unique_ptr<LauncherSession> session;
    std::unique_ptr<PlayLine> playLine;

    PlayLine& open()
    {
        playLine = std::make_unique<PlayLine>(*session);
        playLine->show();
        return *playLine;
    }
    QString summary() const { return playLine->findChild<QLabel*>("playSummaryLabel")->text(); }
    // The outcome, or "" while its row (with the log buttons) is hidden.
    QString outcome() const
    {
        const auto* label = playLine->findChild<QLabel*>("runOutcomeLabel");
        const bool buttons = playLine->findChild<QPushButton*>("openLogButton")->isVisible()
            && playLine->findChild<QPushButton*>("showLogButton")->isVisible();
        return label->isVisible() && buttons ? label->text() : QString();
    }
    QString journal() const { return session->playJournal(); }

private slots:
    void init()
    {
        home = std::make_unique<ScratchHome>();
        session = std::make_unique<LauncherSession>();
    }
    void cleanup()
    {
        playLine.reset();
        session.reset();
        home.reset();
    }

    void showsTheJournalsStory_data()
    {
        const QDateTime today = QDateTime::currentDateTime().addSecs(-5);
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("no journal") << QByteArray() << "Not played yet" << "";
        QTest::newRow("ended normally") << endedRun(11, today, RunEndKind::Exited, 0, 45'000)
                                        << "Played 45 s · last played today" << "";
        QTest::newRow("exit code") << endedRun(12, today, RunEndKind::Exited, 3, 4'000) << "Played 4 s · last played today"
                                   << "The last run ended after 4 s: exit code 3.";
        QTest::newRow("signal") << endedRun(12, today.addDays(-1), RunEndKind::Exited, 0, 12 * 3'600'000 + 39 * 60'000)
                                       + endedRun(13, today, RunEndKind::Signalled, 11, 60'000 + 2'000)
                                << "Played 12 h 40 min · last played today"
                                << "The last run ended after 0:01:02: signal 11 (Segmentation fault).";
    }

    void showsTheJournalsStory()
    {
        QFETCH(QByteArray, journal);
        QFETCH(QString, summary);
        QFETCH(QString, outcome);
        if (!journal.isEmpty())
            append(this->journal(), journal);
        open();
        QCOMPARE(this->summary(), summary);
        QCOMPARE(this->outcome(), outcome);
    }

    // A window left open overnight: at midnight "today" turns into
    // "yesterday" without any change to the journal.
    void theDayTurnsAtMidnight()
    {
        const QDateTime evening(QDate(2026, 3, 4), QTime(23, 59, 59, 500));
        const auto now = std::make_shared<QDateTime>(evening); // outlives the line's clock
        append(journal(), endedRun(11, evening.addSecs(-3600), RunEndKind::Exited, 0, 45'000));
        open().setClock([now] { return *now; });
        QCOMPARE(summary(), QStringLiteral("Played 45 s · last played today"));
        *now = evening.addSecs(2);
        QTRY_COMPARE_WITH_TIMEOUT(summary(), QStringLiteral("Played 45 s · last played yesterday"), 10000);
    }

    // Every line appended shows at once, with no journal or folder there
    // when the line opened; a supervisor that dies without its end line
    // shows as such; a compaction's new file is followed too.
    void followsTheJournalAsSupervisorsWriteIt()
    {
        QVERIFY(!QFileInfo::exists(QFileInfo(journal()).absolutePath()));
        open();
        QCOMPARE(summary(), QStringLiteral("Not played yet"));

        FakeSupervisor first;
        const QDateTime start = QDateTime::currentDateTime();
        append(journal(), first.started(start));
        QTRY_COMPARE(summary(), "Running since " + start.toString("HH:mm"));
        QCOMPARE(outcome(), QString());
        append(journal(), first.exited(3, 4'000));
        QTRY_COMPARE(outcome(), QStringLiteral("The last run ended after 4 s: exit code 3."));
        QCOMPARE(summary(), QStringLiteral("Played 4 s · last played today"));

        QVERIFY(compactPlayJournal(journal(), 0)); // a new file in the old one's place
        FakeSupervisor second;
        append(journal(), second.started(start));
        QTRY_COMPARE(summary(), "Running since " + start.toString("HH:mm"));
        QCOMPARE(outcome(), QString());
        second.end(); // killed: no end line
        QTRY_COMPARE(outcome(), QStringLiteral("The last run ended unexpectedly: its end was never recorded."));
        QCOMPARE(summary(), QStringLiteral("Played 4 s · last played today"));
    }

    // A journal past its limit is folded into totals when the line opens,
    // and reads the same.
    void compactsTheJournalWhenItOpens()
    {
        const QDateTime today = QDateTime::currentDateTime().addSecs(-60);
        QByteArray text;
        for (int i = 0; i < 600; ++i)
            text += endedRun(1000 + i, today.addSecs(i - 600), RunEndKind::Exited, 0, 60'000);
        text += endedRun(5000, today, RunEndKind::Exited, 3, 4'000);
        append(journal(), text);
        QVERIFY(QFileInfo(journal()).size() > kPlayJournalCompactionBytes);
        open();
        QVERIFY(QFileInfo(journal()).size() < 1024);
        QCOMPARE(summary(), QStringLiteral("Played 10 h 0 min · last played today"));
        QCOMPARE(outcome(), QStringLiteral("The last run ended after 4 s: exit code 3."));
        QCOMPARE(readPlayHistory(journal()).runs, 601);
    }

    // "Open log" hands the log of the settings in force to the desktop's
    // viewer of its kind.
    void openLogHandsTheGameLogToTheDesktop()
    {
        const QString root = home->filePath(QStringLiteral("Games/TVL"));
        makeGameRoot(root);
        session->resolveGameRoot();
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
        open();
        playLine->findChild<QPushButton*>("openLogButton")->click();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(playLine->gameLogPath(), session->gameRoot() + "/logs/game.log");
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl::fromLocalFile(session->gameRoot() + "/logs/game.log")});
    }

    void lastLinesOfALog_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QString>("shown");
        const QByteArray many = numberedLines(1, 250).toUtf8() + "\n";
        QTest::newRow("empty") << QByteArray() << "";
        QTest::newRow("fewer lines, no last line feed") << QByteArray("a\nb\nc") << "a\nb\nc";
        QTest::newRow("more lines") << many << numberedLines(51, 250);
        QTest::newRow("blank lines count") << QByteArray("x\n").repeated(10) + QByteArray("\n").repeated(199)
                                           << "x\n" + QString("\n").repeated(199).chopped(1);
        QTest::newRow("a head larger than what is read") << QByteArray(2 * 1024 * 1024, 'h') + "\n" + many
                                                         << numberedLines(51, 250);
        QTest::newRow("one line larger than what is read") << QByteArray(300 * 1024, 'h') + "\nend\n" << "end";
    }

    void lastLinesOfALog()
    {
        QFETCH(QByteArray, log);
        QFETCH(QString, shown);
        const QString path = home->filePath(QStringLiteral("logs/game.log"));
        writeFile(path, log);
        QCOMPARE(readLastLines(path, LogDialog::kShownLines), shown);
        QString error;
        QVERIFY(!readLastLines(home->filePath(QStringLiteral("missing.log")), 200, &error));
        QVERIFY(!error.isEmpty());
    }

    void theLogDialogShowsSearchesAndCopies()
    {
        const QString path = home->filePath(QStringLiteral("logs/game.log"));
        writeFile(path, numberedLines(1, 250).toUtf8() + "\n");
        LogDialog dialog(path);
        auto* view = dialog.findChild<QPlainTextEdit*>("logView");
        QCOMPARE(view->toPlainText(), numberedLines(51, 250));
        QVERIFY(view->isReadOnly());
        QVERIFY(QFontInfo(view->font()).fixedPitch());
        QCOMPARE(dialog.findChild<QLabel*>("logPathLabel")->text(), path);

        auto* search = dialog.findChild<QLineEdit*>("logSearch");
        search->setText(QStringLiteral("line 12"));
        QVERIFY(dialog.findNext()); // from the end back: line 129 first
        QCOMPARE(view->textCursor().block().text(), QStringLiteral("line 129 of the game's log"));
        search->setText(QStringLiteral("line 7 "));
        QVERIFY2(!dialog.findNext(), "line 7 is not among the lines shown");
        search->setText(QStringLiteral("line 250 "));
        QTest::keyClick(search, Qt::Key_Return); // Return finds, and does not close the dialog
        QCOMPARE(view->textCursor().selectedText(), QStringLiteral("line 250 "));

        QApplication::clipboard()->clear();
        dialog.findChild<QPushButton*>("copyLogButton")->click();
        QCOMPARE(QApplication::clipboard()->text(), numberedLines(51, 250));
    }

    // A log that is not there (the game never got as far) says so, with
    // the system's reason, and offers nothing to copy.
    void theLogDialogOfAMissingLogSaysWhy()
    {
        const QString path = home->filePath(QStringLiteral("logs/game.log"));
        LogDialog dialog(path);
        QCOMPARE(dialog.findChild<QPlainTextEdit*>("logView")->toPlainText(),
                 QStringLiteral("The log cannot be read: No such file or directory"));
        QCOMPARE(dialog.findChild<QLabel*>("logPathLabel")->text(), path);
        QVERIFY(!dialog.findChild<QPushButton*>("copyLogButton")->isEnabled());
    }
};

ORVELLO_TEST_MAIN(TestPlayLine)
#include "play_line_test.moc"
