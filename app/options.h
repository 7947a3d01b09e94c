#pragma once
#include "app/serverlines.h"
#include "app/timing.h"

namespace lckb {

// Command-line options.
struct Options
{
    std::optional<ServerLines> serverLines; // --hosts; nothing: the other sources (hostsources.h)
    QString hosts;                          // --hosts as given, for a start that repeats it
    int pollIntervalMs = kPollIntervalMs; // between two reminder polls
    bool verbose = false;        // Qt's and the browser engine's reports reach the terminal
    bool startInTray = false;    // --tray: no window and no browser engine until the user opens one
    int restAfterMs = kRestAfterMs; // --rest-after: a page out of sight so long is discarded
    bool ok = true;              // false: print `message` and end with exit code 2
    bool exitNow = false;        // --help / --version were handled
    QString message;
};
Options parseOptions(const QStringList &arguments);

} // namespace lckb
