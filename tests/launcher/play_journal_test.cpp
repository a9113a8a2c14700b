// The play journal read back: runs paired, going, ended or lost; damaged
// lines skipped; totals added up without overflow; the journal's place;
// compaction that keeps every total; and the texts of the Game tab and
// --status, as tables.
#include "core/game_profile.h"
#include "core/play_journal.h"
#include "core/play_texts.h"
#include "supervisor/journal_format.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <csignal>
#include <limits>
#include <set>

using namespace testing_support;
using supervisor::RunEnd;
using supervisor::RunEndKind;
using supervisor::RunIdentity;
using supervisor::RunStart;
using supervisor::RunTotals;

namespace {

constexpr qint64 kMinute = 60'000, kHour = 60 * kMinute;

RunIdentity run(long number)
{
    return RunIdentity{"ab-12", {number, 1000 + static_cast<unsigned long long>(number)}, {number + 1, 2000}};
}

const QDateTime kNoon(QDate(2024, 6, 12), QTime(12, 0));

qint64 wallAt(const QDateTime& when)
{
    return when.toMSecsSinceEpoch();
}

QByteArray line(const supervisor::JournalRecord& record)
{
    return QByteArray::fromStdString(supervisor::formatLine(record));
}

QByteArray started(long number, const QDateTime& when = kNoon, const std::string& root = "/g")
{
    return line(RunStart{run(number), wallAt(when), root});
}

QByteArray exited(long number, int code, qint64 durationMs)
{
    return line(RunEnd{run(number), RunEndKind::Exited, code, durationMs});
}

QByteArray killed(long number, int signal, qint64 durationMs)
{
    return line(RunEnd{run(number), RunEndKind::Signalled, signal, durationMs});
}

// Supervisors 100 to 199 still run; every other one is gone.
bool testSupervisorRuns(const RunIdentity& identity)
{
    return identity.supervisor.pid >= 100 && identity.supervisor.pid < 200;
}

PlayRun playRun(PlayRun::End end, int code, qint64 durationMs, const QDateTime& started = kNoon)
{
    PlayRun run;
    run.end = end;
    run.code = code;
    run.durationMs = durationMs;
    run.started = started;
    return run;
}

PlayHistory historyOf(qint64 playTimeMs, qint64 runs, const QDateTime& lastPlayed, std::optional<PlayRun> lastRun,
                      QList<PlayRun> running = {})
{
    PlayHistory history;
    history.playTimeMs = playTimeMs;
    history.runs = runs;
    history.lastPlayed = lastPlayed;
    history.lastRun = lastRun;
    history.running = running;
    return history;
}

} // namespace

Q_DECLARE_METATYPE(PlayHistory)

class TestPlayJournal : public QObject {
    Q_OBJECT

private:
    QTemporaryDir scratch{scratchTemplate(QStringLiteral("play-journal"))};
    QString journal() const { return QDir(scratch.path()).filePath(QStringLiteral("play-journal")); }

    PlayHistory readJournal(const QByteArray& text)
    {
        writeFile(journal(), text);
        return readPlayHistory(journal(), testSupervisorRuns);
    }

    // A journal past the compaction limit: many ended runs, one that never
    // recorded its end, two still going and a crash at the end.
    QByteArray largeJournal() const
    {
        QByteArray text = line(RunTotals{40, 10 * kHour, wallAt(kNoon.addDays(-30))});
        for (int i = 1; i <= 300; ++i)
            text += started(1000 + i, kNoon.addDays(-20).addSecs(i)) + exited(1000 + i, i % 3, i * 1000);
        text += started(400, kNoon.addDays(-2)); // its supervisor died
        text += started(100, kNoon.addDays(-1)) + started(101, kNoon.addSecs(-60));
        text += started(500, kNoon) + killed(500, SIGSEGV, 2000);
        return text;
    }

private slots:
    void readsRunsAsTheirLinesTell_data()
    {
        QTest::addColumn<QByteArray>("journal");
        QTest::addColumn<qint64>("playTimeMs");
        QTest::addColumn<qint64>("runs");
        QTest::addColumn<int>("running");
        QTest::addColumn<int>("lastEnd"); // PlayRun::End, or -1 for no last run
        QTest::addColumn<int>("lastCode");

        const int none = -1, going = int(PlayRun::End::Running), exitedEnd = int(PlayRun::End::Exited),
                  signalled = int(PlayRun::End::Signalled), lost = int(PlayRun::End::Unexpected);
        const QByteArray end3 = exited(1, 3, 4000);
        QTest::newRow("empty") << QByteArray() << 0LL << 0LL << 0 << none << 0;
        QTest::newRow("one run") << started(1) + end3 << 4000LL << 1LL << 0 << exitedEnd << 3;
        QTest::newRow("going") << started(100) << 0LL << 1LL << 1 << going << 0;
        QTest::newRow("supervisor gone") << started(1) << 0LL << 1LL << 0 << lost << 0;
        QTest::newRow("two at once, ends crossed")
            << started(1) + started(2) + killed(2, SIGSEGV, 2000) + exited(1, 0, 9000) << 11000LL << 2LL << 0
            << signalled << SIGSEGV;
        QTest::newRow("end cut short") << started(1) + end3.left(end3.size() - 3) << 0LL << 1LL << 0 << lost << 0;
        QTest::newRow("end without its line feed") << started(100) + exited(100, 3, 4000).chopped(1) << 0LL << 1LL << 1 << going << 0;
        QTest::newRow("damaged line between")
            << started(1) + QByteArray("start 1 boot=ab-12 supervi\xff\0sor=9\n", 34) + end3 << 4000LL << 1LL << 0 << exitedEnd << 3;
        QTest::newRow("cut line joined to the next")
            << started(1) + started(2).left(30) + end3 << 0LL << 1LL << 0 << lost << 0;
        QTest::newRow("line feed first") << "\n" + started(1) + "\n\n" + end3 << 4000LL << 1LL << 0 << exitedEnd << 3;
        QTest::newRow("another version and kind")
            << started(1) + started(2).replace("start 1", "start 2") + "finish 1 x=1\n" + end3 << 4000LL << 1LL << 0
            << exitedEnd << 3;
        QTest::newRow("over-long line") << started(1) + QByteArray(20000, 'x') + "\n" + end3 << 4000LL << 1LL << 0
                                        << exitedEnd << 3;
        QTest::newRow("over-long line ending in a valid one")
            << started(1) + QByteArray(20000, 'x') + end3 << 0LL << 1LL << 0 << lost << 0;
        QTest::newRow("repeated lines count once")
            << started(1) + started(1) + end3 + exited(1, 0, 99000) << 4000LL << 1LL << 0 << exitedEnd << 3;
        QTest::newRow("end without start adds its time only") << exited(7, 0, 5000) + started(1) + end3 << 9000LL << 1LL
                                                             << 0 << exitedEnd << 3;
        QTest::newRow("totals and runs") << line(RunTotals{10, 7 * kHour, 5}) + started(1) + end3 + line(RunTotals{2, 1000, 6})
                                         << 7 * kHour + 5000 << 13LL << 0 << exitedEnd << 3;
        QTest::newRow("totals only") << line(RunTotals{3, 1000, 5}) << 1000LL << 3LL << 0 << none << 0;
        const QByteArray huge = line(RunTotals{1LL << 53, 1LL << 53, 1LL << 53});
        QTest::newRow("totals that would overflow") << huge.repeated(2000) << std::numeric_limits<qint64>::max()
                                                    << std::numeric_limits<qint64>::max() << 0 << none << 0;
    }

    void readsRunsAsTheirLinesTell()
    {
        QFETCH(QByteArray, journal);
        QFETCH(qint64, playTimeMs);
        QFETCH(qint64, runs);
        QFETCH(int, running);
        QFETCH(int, lastEnd);
        QFETCH(int, lastCode);
        const PlayHistory history = readJournal(journal);
        QCOMPARE(history.playTimeMs, playTimeMs);
        QCOMPARE(history.runs, runs);
        QCOMPARE(history.running.size(), running);
        QCOMPARE(history.lastRun.has_value(), lastEnd != -1);
        if (history.lastRun) {
            QCOMPARE(int(history.lastRun->end), lastEnd);
            QCOMPARE(history.lastRun->code, lastCode);
        }
        QCOMPARE(history.lastPlayed.isValid(), runs > 0);
    }

    void aMissingJournalIsNeverPlayed()
    {
        const PlayHistory history = readPlayHistory(QDir(scratch.path()).filePath(QStringLiteral("none")));
        QVERIFY(!history.everPlayed());
        QVERIFY(!history.lastPlayed.isValid());
        QVERIFY(!history.lastRun);
    }

    void keepsTheRunsDetails()
    {
        const QDateTime morning(QDate(2024, 6, 12), QTime(9, 15, 30));
        const PlayHistory history =
            readJournal(started(1, morning, "/games/with space/and\nline feed") + exited(1, 0, 1234) +
                        started(100, kNoon) + started(101, kNoon.addSecs(60)) + line(RunTotals{1, 0, wallAt(morning)}));
        QCOMPARE(history.lastPlayed, kNoon.addSecs(60));
        QCOMPARE(history.running.size(), 2);
        QCOMPARE(history.running[0].started, kNoon);
        QCOMPARE(history.running[1].identity, run(101));
        QCOMPARE(history.lastRun->started, kNoon.addSecs(60));
        const PlayHistory first = readJournal(started(1, morning, "/games/with space/and\nline feed") + exited(1, 0, 1234));
        QCOMPARE(first.lastRun->gameRoot, QStringLiteral("/games/with space/and\nline feed"));
        QCOMPARE(first.lastRun->started, morning);
        QCOMPARE(first.lastRun->durationMs, 1234LL);
    }

    void theJournalLivesInTheStateFolder_data()
    {
        QTest::addColumn<QByteArray>("stateHome");
        QTest::addColumn<QString>("relativeToHome");
        QTest::newRow("unset") << QByteArray() << QStringLiteral(".local/state");
        QTest::newRow("relative, so not used") << QByteArray("state") << QStringLiteral(".local/state");
        QTest::newRow("absolute") << QByteArray("ABSOLUTE") << QStringLiteral("elsewhere/state");
    }

    void theJournalLivesInTheStateFolder()
    {
        QFETCH(QByteArray, stateHome);
        QFETCH(QString, relativeToHome);
        ScratchHome home;
        const QByteArray value = stateHome == "ABSOLUTE" ? QFile::encodeName(home.filePath(relativeToHome)) : stateHome;
        ScopedEnv state("XDG_STATE_HOME", value);
        if (value.isEmpty())
            qunsetenv("XDG_STATE_HOME");
        QCOMPARE(playJournalPath(gameProfile()),
                 home.filePath(relativeToHome + QStringLiteral("/Velmarch/Orvello Launcher/play-journal")));
    }

    void aSmallJournalIsLeftAsItIs()
    {
        const QByteArray text = started(1) + exited(1, 0, 5) + "damaged\n";
        writeFile(journal(), text);
        QVERIFY(compactPlayJournal(journal(), text.size(), nullptr, testSupervisorRuns));
        QCOMPARE(readBytes(journal()), text);
        QVERIFY(compactPlayJournal(QDir(scratch.path()).filePath(QStringLiteral("none")), 0, nullptr, testSupervisorRuns));
    }

    void compactionKeepsEveryTotalTheRunsGoingAndTheLastRun()
    {
        const QByteArray text = largeJournal();
        const PlayHistory before = readJournal(text);
        QVERIFY(QFile::setPermissions(journal(), QFile::ReadOwner | QFile::WriteOwner)); // as orvello-run makes it
        QCOMPARE(before.runs, 40LL + 300 + 1 + 2 + 1);
        QString error;
        QVERIFY2(compactPlayJournal(journal(), 4096, &error, testSupervisorRuns), qPrintable(error));
        const QByteArray compacted = readBytes(journal());
        QCOMPARE(compacted, line(RunTotals{40 + 300 + 1, 10 * kHour + 300 * 301 / 2 * 1000, wallAt(kNoon.addDays(-2))}) +
                                started(100, kNoon.addDays(-1)) + started(101, kNoon.addSecs(-60)) +
                                started(500, kNoon) + killed(500, SIGSEGV, 2000));
        QCOMPARE(QFileInfo(journal()).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);

        const PlayHistory after = readPlayHistory(journal(), testSupervisorRuns);
        QCOMPARE(after.playTimeMs, before.playTimeMs);
        QCOMPARE(after.runs, before.runs);
        QCOMPARE(after.lastPlayed, before.lastPlayed);
        QCOMPARE(after.running.size(), 2);
        QCOMPARE(after.lastRun->end, PlayRun::End::Signalled);
        QCOMPARE(lastRunOutcomeText(after), lastRunOutcomeText(before));
        QCOMPARE(playStatusLines(after), playStatusLines(before));

        // A run going during the compaction ends afterwards: its end pairs
        // with the start that was kept.
        writeFile(journal(), compacted + exited(100, 0, 3 * kHour));
        const PlayHistory ended = readPlayHistory(journal(), testSupervisorRuns);
        QCOMPARE(ended.playTimeMs, before.playTimeMs + 3 * kHour);
        QCOMPARE(ended.running.size(), 1);
        QCOMPARE(ended.runs, before.runs);
    }

    void durationsInSecondsThenOnAClock_data()
    {
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << 0LL << QStringLiteral("0 s");
        QTest::newRow("below half a second") << 499LL << QStringLiteral("0 s");
        QTest::newRow("half a second") << 500LL << QStringLiteral("1 s");
        QTest::newRow("4 s") << 4004LL << QStringLiteral("4 s");
        QTest::newRow("just under a minute") << 59499LL << QStringLiteral("59 s");
        QTest::newRow("rounds to a minute") << 59500LL << QStringLiteral("0:01:00");
        QTest::newRow("hours") << 3723000LL << QStringLiteral("1:02:03");
        QTest::newRow("many hours") << 100 * kHour + 59000 << QStringLiteral("100:00:59");
        QTest::newRow("negative") << -5000LL << QStringLiteral("0 s");
    }

    void durationsInSecondsThenOnAClock()
    {
        QFETCH(qint64, ms);
        QFETCH(QString, text);
        QCOMPARE(runDurationText(ms), text);
    }

    void signalsByTheirEnglishNames()
    {
        QCOMPARE(signalDescription(SIGSEGV), QStringLiteral("Segmentation fault"));
        QCOMPARE(signalDescription(SIGKILL), QStringLiteral("Killed"));
        QCOMPARE(signalDescription(SIGABRT), QStringLiteral("Aborted"));
        QCOMPARE(signalDescription(SIGTERM), QStringLiteral("Terminated"));
        QCOMPARE(signalDescription(0), QStringLiteral("unknown signal"));
        QCOMPARE(signalDescription(127), QStringLiteral("unknown signal"));
    }

    void theGameTabLine_data()
    {
        QTest::addColumn<PlayHistory>("history");
        QTest::addColumn<QString>("text");
        const QDateTime at1402(QDate(2024, 6, 12), QTime(14, 2, 59));
        const PlayRun ended = playRun(PlayRun::End::Exited, 0, 1000);
        QTest::newRow("never") << PlayHistory() << QStringLiteral("Not played yet");
        QTest::newRow("hours today") << historyOf(12 * kHour + 40 * kMinute + 59000, 30, at1402, ended)
                                     << QStringLiteral("Played 12 h 40 min · last played today");
        QTest::newRow("minutes yesterday") << historyOf(40 * kMinute, 1, kNoon.addDays(-1), ended)
                                           << QStringLiteral("Played 40 min · last played yesterday");
        QTest::newRow("seconds, earlier") << historyOf(35000, 1, kNoon.addDays(-9), ended)
                                          << QStringLiteral("Played 35 s · last played on 2024-06-03");
        QTest::newRow("lost runs only") << historyOf(0, 2, kNoon, playRun(PlayRun::End::Unexpected, 0, 0))
                                        << QStringLiteral("Played 0 s · last played today");
        const PlayRun going = playRun(PlayRun::End::Running, 0, 0, at1402);
        QTest::newRow("running") << historyOf(kHour, 2, at1402, going, {going}) << QStringLiteral("Running since 14:02");
        const PlayRun sinceYesterday = playRun(PlayRun::End::Running, 0, 0, at1402.addDays(-1));
        QTest::newRow("running since yesterday") << historyOf(kHour, 2, at1402, going, {sinceYesterday, going})
                                                 << QStringLiteral("Running since 2024-06-11 14:02 (2 runs)");
    }

    void theGameTabLine()
    {
        QFETCH(PlayHistory, history);
        QFETCH(QString, text);
        QCOMPARE(playSummaryText(history, QDateTime(QDate(2024, 6, 12), QTime(18, 30))), text);
    }

    void theLastRunsOutcome_data()
    {
        QTest::addColumn<PlayHistory>("history");
        QTest::addColumn<QString>("outcome");
        QTest::addColumn<QString>("statusLine");
        const auto last = [](const PlayRun& run) { return historyOf(run.durationMs, 1, run.started, run); };
        QTest::newRow("never") << PlayHistory() << QString() << QStringLiteral("Last run: none");
        QTest::newRow("normal") << last(playRun(PlayRun::End::Exited, 0, 65000)) << QString()
                                << QStringLiteral("Last run: ended normally after 0:01:05");
        QTest::newRow("exit code") << last(playRun(PlayRun::End::Exited, 3, 4000))
                                   << QStringLiteral("The last run ended after 4 s: exit code 3.")
                                   << QStringLiteral("Last run: ended with exit code 3 after 4 s");
        QTest::newRow("signal") << last(playRun(PlayRun::End::Signalled, 11, 2000))
                                << QStringLiteral("The last run ended after 2 s: signal 11 (Segmentation fault).")
                                << QStringLiteral("Last run: ended by signal 11 (Segmentation fault) after 2 s");
        QTest::newRow("terminated") << last(playRun(PlayRun::End::Signalled, 15, 2 * kHour))
                                    << QStringLiteral("The last run ended after 2:00:00: signal 15 (Terminated).")
                                    << QStringLiteral("Last run: ended by signal 15 (Terminated) after 2:00:00");
        QTest::newRow("unexpected") << last(playRun(PlayRun::End::Unexpected, 0, 0))
                                    << QStringLiteral("The last run ended unexpectedly: its end was never recorded.")
                                    << QStringLiteral("Last run: ended unexpectedly");
        const QDateTime at1402(QDate(2024, 6, 12), QTime(14, 2, 5));
        QTest::newRow("running") << last(playRun(PlayRun::End::Running, 0, 0, at1402)) << QString()
                                 << QStringLiteral("Last run: running since 2024-06-12T14:02:05");
    }

    void theLastRunsOutcome()
    {
        QFETCH(PlayHistory, history);
        QFETCH(QString, outcome);
        QFETCH(QString, statusLine);
        QCOMPARE(lastRunOutcomeText(history), outcome);
        QCOMPARE(playStatusLines(history).last(), statusLine);
    }

    void theStatusLines()
    {
        QCOMPARE(playStatusLines(PlayHistory()),
                 (QStringList{QStringLiteral("Play time: 0:00:00"), QStringLiteral("Runs: 0"),
                              QStringLiteral("Last played: never"), QStringLiteral("Last run: none")}));
        const QDateTime last(QDate(2024, 6, 12), QTime(21, 7, 9));
        QCOMPARE(playStatusLines(historyOf(45 * kHour + 6 * kMinute + 7999, 12, last,
                                           playRun(PlayRun::End::Exited, 0, 9000, last))),
                 (QStringList{QStringLiteral("Play time: 45:06:07"), QStringLiteral("Runs: 12"),
                              QStringLiteral("Last played: 2024-06-12T21:07:09"),
                              QStringLiteral("Last run: ended normally after 9 s")}));
        // Totals without the last run's lines (a journal written by hand):
        // nothing is said about a run that is not known.
        QCOMPARE(playStatusLines(historyOf(1000, 3, last, std::nullopt)).size(), 3);
    }
};

ORVELLO_CORE_TEST_MAIN(TestPlayJournal)
#include "play_journal_test.moc"
