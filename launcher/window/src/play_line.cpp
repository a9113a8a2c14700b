// The Game tab's line about the game and its last run.
#include "window/play_line.h"

#include "core/launcher_session.h"
#include "core/play_journal_watch.h"
#include "core/play_texts.h"
#include "window/log_dialog.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

PlayLine::PlayLine(LauncherSession& session, QWidget* parent) : QWidget(parent), session(session)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("playSummaryLabel"));
    layout->addWidget(summaryLabel);

    outcomeRow = new QWidget(this);
    auto* row = new QHBoxLayout(outcomeRow);
    row->setContentsMargins(0, 0, 0, 0);
    outcomeLabel = new QLabel(outcomeRow);
    outcomeLabel->setObjectName(QStringLiteral("runOutcomeLabel"));
    outcomeLabel->setWordWrap(true);
    auto* openButton = new QPushButton(QStringLiteral("Open log"), outcomeRow);
    openButton->setObjectName(QStringLiteral("openLogButton"));
    auto* showButton = new QPushButton(QStringLiteral("Show log"), outcomeRow);
    showButton->setObjectName(QStringLiteral("showLogButton"));
    row->addWidget(outcomeLabel, 1);
    row->addWidget(openButton);
    row->addWidget(showButton);
    layout->addWidget(outcomeRow);
    outcomeRow->hide();
    for (QLabel* label : {summaryLabel, outcomeLabel})
        label->setTextFormat(Qt::PlainText);

    connect(openButton, &QPushButton::clicked, this, &PlayLine::openLog);
    connect(showButton, &QPushButton::clicked, this, &PlayLine::showLog);
    connect(&session, &LauncherSession::launchAttempted, this, &PlayLine::launchAttempted);

    // Once per window: a journal past its size limit is folded into totals
    // before it is watched (a failure leaves it as it was, still readable).
    compactPlayJournal(session.playJournal());
    watch = new PlayJournalWatch(session.playJournal(), this);
    connect(watch, &PlayJournalWatch::historyChanged, this, &PlayLine::showHistory);
    dayChange.setSingleShot(true);
    connect(&dayChange, &QTimer::timeout, this, [this] {
        showHistory(watch->history());
        scheduleDayChange();
    });
    showHistory(watch->history());
    scheduleDayChange();
}

void PlayLine::setClock(Clock clock)
{
    this->clock = std::move(clock);
    showHistory(watch->history());
    scheduleDayChange();
}

// "last played today" turns into "yesterday" at midnight, and "Running
// since 14:02" gains its date: one wake-up a day, a second after midnight,
// says it again while the window stays open. The timer counts on the
// monotonic clock, so after a suspend it fires late; until then the next
// change of the journal shows the right day too.
void PlayLine::scheduleDayChange()
{
    const QDateTime now = clock();
    const QDateTime nextDay(now.date().addDays(1), QTime(0, 0));
    constexpr qint64 kSecond = 1000, kMostOfTwoDays = 47 * 3600 * kSecond;
    dayChange.start(int(std::clamp(now.msecsTo(nextDay) + kSecond, kSecond, kMostOfTwoDays)));
}

QString PlayLine::gameLogPath() const
{
    const LaunchPlan plan = session.previewPlan(session.settings(), session.launchOptions());
    return QDir(plan.logDir).filePath(QStringLiteral("game.log"));
}

void PlayLine::showHistory(const PlayHistory& history)
{
    summaryLabel->setText(playSummaryText(history, clock()));
    const bool dismissed = history.lastRun && dismissedRun && *dismissedRun == history.lastRun->identity;
    const QString outcome = dismissed ? QString() : lastRunOutcomeText(history);
    outcomeLabel->setText(outcome);
    outcomeRow->setVisible(!outcome.isEmpty());
}

// A PLAY clears the last run's outcome; the run it starts (when recorded)
// is in the journal by now.
void PlayLine::launchAttempted(const LaunchOutcome& outcome)
{
    if (outcome.result != LaunchOutcome::Result::Launched)
        return;
    const PlayHistory& before = watch->history();
    if (before.lastRun)
        dismissedRun = before.lastRun->identity;
    watch->reread();
}

void PlayLine::openLog()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(gameLogPath()));
}

void PlayLine::showLog()
{
    LogDialog dialog(gameLogPath(), window());
    dialog.exec();
}
