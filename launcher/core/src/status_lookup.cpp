// The game-data lookup off the GUI thread.
#include "core/status_lookup.h"

#include "core/game_data.h"

#include <QMetaObject>

#include <mutex>
#include <system_error>
#include <thread>

GameDataFound findGameData(const GameDataQuery& query)
{
    GameDataFound found;
    found.gameRoot = query.gameRoot;
    if (found.gameRoot.isEmpty() && query.searchForRoot) {
        if (checkGameTitle(query.profile, query.storedRoot)) {
            found.gameRoot = query.storedRoot;
        } else {
            found.gameRoot = findGameRoot(query.profile);
            found.newlyFound = !found.gameRoot.isEmpty();
        }
    }
    found.status = readinessStatus(query.profile, found.gameRoot);
    return found;
}

// The owner is cleared under the mutex when the lookup is destroyed, so a
// thread that finishes later posts nothing; a result posted just before is
// discarded by Qt along with the destroyed object's other posted events.
struct StatusLookup::Delivery {
    std::mutex mutex;
    StatusLookup* owner = nullptr;
};

StatusLookup::StatusLookup(QObject* parent)
    : QObject(parent), search_(findGameData), delivery_(std::make_shared<Delivery>())
{
    delivery_->owner = this;
}

StatusLookup::~StatusLookup()
{
    const std::lock_guard lock(delivery_->mutex);
    delivery_->owner = nullptr;
}

void StatusLookup::setSearch(Search search)
{
    search_ = std::move(search);
}

void StatusLookup::start(const GameDataQuery& query)
{
    const std::uint64_t lookup = ++latest_;
    running_ = true;
    auto run = [delivery = delivery_, search = search_, query, lookup] {
        const GameDataFound result = search(query);
        const std::lock_guard lock(delivery->mutex);
        if (StatusLookup* owner = delivery->owner)
            QMetaObject::invokeMethod(
                owner, [owner, lookup, query, result] { owner->deliver(lookup, query, result); },
                Qt::QueuedConnection);
    };
    try {
        // Detached: a thread stuck on a dead mount must not hold up the exit.
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run(); // no thread to be had: look here, and still deliver later
    }
}

void StatusLookup::cancel()
{
    ++latest_;
    running_ = false;
}

void StatusLookup::deliver(std::uint64_t lookup, const GameDataQuery& query, const GameDataFound& result)
{
    if (lookup != latest_)
        return; // superseded or cancelled
    running_ = false;
    emit found(query, result);
}
