#pragma once
#include <functional>

class QObject;

namespace lckb {

// SIGTERM, SIGINT and SIGHUP end the run like a logout does: `end` runs once,
// on the event loop, in `context`'s thread.
void watchEndSignals(QObject *context, std::function<void()> end);

} // namespace lckb
