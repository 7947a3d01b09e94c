#pragma once
// The session a start settles before the program is made: the hosts and
// their source, the folders, the intervals the options give, the files
// outside the data folder, the command an autostart repeats, the line in use.
#include "app/hostsources.h"
#include "app/options.h"
#include "app/session.h"

namespace lckb {

struct SessionStart
{
    Session session;
    QStringList hostProblems; // one line per hosts source refused, for stderr
    QString missingHosts;     // no source gave hosts: where they go; empty when one did
};

// `places.programDir` is the program folder; `autostartFile` the desktop's
// autostart entry for this program; `programFile` the executable an
// autostart starts again, with --hosts when the options gave them.
SessionStart startSession(const Options &options, const HostPlaces &places, const QString &autostartFile,
                          const QString &programFile);

} // namespace lckb
