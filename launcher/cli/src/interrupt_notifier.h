// Ctrl+C during a command: the first SIGINT calls a function on the thread
// that made the notifier (through a pipe the signal handler writes to, read
// by the event loop); a second one ends the launcher as usual.
#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace cli {

class InterruptNotifier {
public:
    explicit InterruptNotifier(std::function<void()> onInterrupt);
    ~InterruptNotifier(); // puts the default handling back
    InterruptNotifier(const InterruptNotifier&) = delete;
    InterruptNotifier& operator=(const InterruptNotifier&) = delete;

private:
    std::unique_ptr<QSocketNotifier> notifier;
    std::function<void()> onInterrupt;
};

} // namespace cli
