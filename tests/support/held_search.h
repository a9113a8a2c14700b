// A game-data search held back by the test, like one on a sleeping network
// drive: every lookup that runs it waits until the test lets go, and then
// searches for real (findGameData).
#pragma once

#include "core/status_lookup.h"

#include <memory>

namespace testing_support {

class HeldSearch {
public:
    HeldSearch();
    // Lets go, so that no lookup waits beyond the test.
    ~HeldSearch();
    HeldSearch(const HeldSearch&) = delete;
    HeldSearch& operator=(const HeldSearch&) = delete;

    // The search to give a session (LauncherSession::setGameDataSearch).
    StatusLookup::Search search() const;
    // How many lookups have entered the search so far.
    int entered() const;
    // Lets every lookup, waiting or to come, go on.
    void release();
    // No lookup and no session holds the search any more: every lookup
    // that ran it has ended and posted its result, and the sessions given
    // it have been given another search (or are gone).
    bool unused() const;

private:
    struct Gate;
    std::shared_ptr<Gate> gate;
};

} // namespace testing_support
