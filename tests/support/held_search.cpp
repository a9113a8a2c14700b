#include "held_search.h"

#include <condition_variable>
#include <mutex>

namespace testing_support {

struct HeldSearch::Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    int entered = 0;
};

HeldSearch::HeldSearch()
    : gate(std::make_shared<Gate>())
{
}

HeldSearch::~HeldSearch()
{
    release();
}

StatusLookup::Search HeldSearch::search() const
{
    return [gate = gate](const GameDataQuery& query) {
        {
            std::unique_lock lock(gate->mutex);
            ++gate->entered;
            gate->opened.wait(lock, [&] { return gate->open; });
        }
        return findGameData(query);
    };
}

int HeldSearch::entered() const
{
    const std::lock_guard lock(gate->mutex);
    return gate->entered;
}

void HeldSearch::release()
{
    {
        const std::lock_guard lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
}

bool HeldSearch::unused() const
{
    return gate.use_count() == 1;
}

} // namespace testing_support
