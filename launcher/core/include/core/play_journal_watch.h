// PlayJournalWatch: the play history of one journal, kept up to date as
// supervisors write to it, at no cost while nothing happens. Nothing polls:
//   - inotify (QFileSystemWatcher) on the journal and its folder tells of
//     every line appended and of a compaction's rename; while the folder
//     does not exist yet, its nearest existing parent is watched instead, so
//     that a first run (from the window, or from Steam's --play) is seen;
//   - a pidfd per running supervisor (pidfd_open, readable once the process
//     ended) tells of a supervisor that ended without writing its end line,
//     killed or crashed: its run then reads as ended unexpectedly.
// Both are socket notifiers on the thread the watch lives on; no thread or
// timer of its own.
#pragma once

#include "core/play_journal.h"

#include <QFileSystemWatcher>
#include <QObject>
#include <QString>

#include <map>
#include <memory>
#include <tuple>

class QSocketNotifier;

class PlayJournalWatch : public QObject {
    Q_OBJECT

public:
    // Reads the journal and starts watching it.
    explicit PlayJournalWatch(const QString& journalPath, QObject* parent = nullptr);
    ~PlayJournalWatch() override;

    const QString& journalPath() const { return journalPath_; }
    const PlayHistory& history() const { return history_; }

    // Reads the journal again now, and emits historyChanged.
    void reread();

signals:
    void historyChanged(const PlayHistory& history);

private:
    // A running supervisor's pidfd and its notifier.
    struct SupervisorExit;
    using RunKey = std::tuple<std::string, long, unsigned long long>;

    void watchJournalPaths();
    void watchSupervisors();
    bool watchSupervisor(const PlayRun& run);

    QString journalPath_;
    PlayHistory history_;
    QFileSystemWatcher files_;
    std::map<RunKey, std::unique_ptr<SupervisorExit>> supervisors_;
};
