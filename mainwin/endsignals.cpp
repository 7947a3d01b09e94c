#include "mainwin/endsignals.h"

#include <QSocketNotifier>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace lckb {

namespace {

int signalPipe[2] = {-1, -1};

// Only what is safe in a signal handler: one byte into the pipe.
void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

void watchEndSignals(QObject *context, std::function<void()> end)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *n = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(n, &QSocketNotifier::activated, context, [n, end = std::move(end)] {
        char c;
        [[maybe_unused]] const auto r = ::read(signalPipe[0], &c, 1);
        n->setEnabled(false);
        end();
    });
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

} // namespace lckb
