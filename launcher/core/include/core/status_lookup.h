// StatusLookup: the start-up search for the game data and the readiness
// status, worked out on a thread of their own so that a slow file system (a
// sleeping network drive under /mnt, a folder of thousands of entries) never
// holds up the GUI thread. The result comes back to the GUI thread by a
// queued call; a lookup started later supersedes the one running, whose
// result is then dropped. A search stuck in the kernel cannot be stopped, so
// its thread is never waited for: destroying the lookup, or leaving the
// application, drops the result and lets the thread end on its own.
#pragma once

#include "core/game_profile.h"
#include "core/readiness_status.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

// What a lookup is asked. Settings are read on the GUI thread before it
// starts, since the shared settings object belongs to that thread.
struct GameDataQuery {
    GameProfile profile;
    QString gameRoot;           // the game root in use ("" for none)
    bool searchForRoot = false; // without a game root, look for one
    QString storedRoot;         // the remembered root as stored, for that search
};

// What a lookup found.
struct GameDataFound {
    QString gameRoot;        // the query's, or the one the search chose ("" for none)
    bool newlyFound = false; // chosen by the search, not the remembered root: to be remembered
    ReadinessStatus status;  // for gameRoot
};

// The lookup itself, on the calling thread: without a game root, when asked
// to search, the remembered root if it still holds the game, else the first
// one the search finds; then the status of the game root. Reads no settings.
GameDataFound findGameData(const GameDataQuery& query);

class StatusLookup : public QObject {
    Q_OBJECT

public:
    using Search = std::function<GameDataFound(const GameDataQuery&)>;

    explicit StatusLookup(QObject* parent = nullptr);
    // Drops the result of a lookup still running, without waiting for it.
    ~StatusLookup() override;

    // Replaces findGameData, for example by a search slowed down in a test.
    // Applies to the lookups started afterwards.
    void setSearch(Search search);

    // Starts a lookup on a new thread; one still running is superseded.
    void start(const GameDataQuery& query);
    // Drops the result of the lookup running, if any.
    void cancel();
    // A lookup runs whose result will be delivered.
    bool isRunning() const { return running_; }

signals:
    // On the thread of this object, for the latest lookup only.
    void found(const GameDataQuery& query, const GameDataFound& result);

private:
    struct Delivery; // what a lookup's thread shares with this object

    void deliver(std::uint64_t lookup, const GameDataQuery& query, const GameDataFound& result);

    Search search_;
    std::shared_ptr<Delivery> delivery_;
    std::uint64_t latest_ = 0; // the number of the lookup whose result counts
    bool running_ = false;
};
