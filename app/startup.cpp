#include "app/startup.h"

#include "app/datafolder.h"

namespace lckb {

SessionStart startSession(const Options &options, const HostPlaces &places, const QString &autostartFile,
                          const QString &programFile)
{
    const HostChoice hosts = chooseHosts(options.serverLines, places);
    const QString &programDir = places.programDir;
    SessionStart start{Session(programDir, dataFolder(programDir)), hosts.problems, {}};
    Session &s = start.session;
    // Without hosts the default table stays: the page and the polls fail
    // as against a dead server, and the user is told where the hosts go.
    if (hosts.lines)
        s.serverLines = *hosts.lines;
    else
        start.missingHosts = missingHostsMessage(places);
    s.intervals.poll = options.pollIntervalMs;
    s.intervals.pageDiscard = options.restAfterMs;
    s.startInTray = options.startInTray;
    s.recentFile = recentFile(programDir, s.dataDir());
    s.autostartFile = autostartFile;
    s.startCommand = QStringList{programFile};
    if (!options.hosts.isEmpty())
        s.startCommand << QStringLiteral("--hosts") << options.hosts;
    s.choices.loadLineIndex();
    return start;
}

} // namespace lckb
