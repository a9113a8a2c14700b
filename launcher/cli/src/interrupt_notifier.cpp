// The SIGINT handler and the pipe that carries it to the event loop.
#include "interrupt_notifier.h"

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace cli {

namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    std::signal(SIGINT, SIG_DFL); // a second Ctrl+C is not caught
}

} // namespace

InterruptNotifier::InterruptNotifier(std::function<void()> onInterrupt)
    : onInterrupt(std::move(onInterrupt))
{
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe: Ctrl+C keeps its default meaning
    notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this] {
        char byte;
        while (::read(pipeEnds[0], &byte, 1) > 0) {
        }
        this->onInterrupt();
    });
    struct sigaction action{};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

InterruptNotifier::~InterruptNotifier()
{
    if (!notifier)
        return;
    std::signal(SIGINT, SIG_DFL);
    notifier.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    pipeEnds[0] = pipeEnds[1] = -1;
}

} // namespace cli
