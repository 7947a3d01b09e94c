#pragma once
// Where the hosts of the three server lines come from when the command line
// does not give them: a lines.ini beside the program, the user's own, the
// administrator's under each of $XDG_CONFIG_DIRS, or the hosts built into a
// build that ships to one service's users. Read once at start.
//
// A lines.ini is a small profile file:
//   [lines]
//   line0=host[:port]
//   line1=host[:port]
//   line2=host[:port]
// (line 3 is always line 0's host on port 803). One bad or missing entry and
// the whole file is ignored, so that a typo never mixes two services' hosts.
#include "app/serverlines.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace lckb {

inline constexpr char kLinesFileName[] = "lines.ini";

// The places a start looks at, in their order after --hosts.
struct HostPlaces
{
    QString programDir;     // lines.ini beside the program
    QString configHome;     // the user's: configHome/lckb/lines.ini
    QStringList configDirs; // the system's: each/lckb/lines.ini
    QString builtIn;        // "host0,host1,host2" built in, or empty

    // The lines.ini files, most important first.
    QStringList files() const;
    // This process's: $XDG_CONFIG_HOME (~/.config when unset or relative),
    // $XDG_CONFIG_DIRS (/etc/xdg when unset; relative entries do not count)
    // and the hosts built in with -DLCKB_HOSTS.
    static HostPlaces fromEnvironment(const QString &programDir);
};

// The hosts built in at configure time (-DLCKB_HOSTS=host0,host1,host2), or empty.
QString builtInHosts();

struct HostChoice
{
    std::optional<ServerLines> lines; // nothing: no source gave hosts
    QString source;                   // "--hosts", the file read or "built in"
    QStringList problems;             // one line per source refused, for stderr
};

// The first source that gives three good hosts: `given` (--hosts), then the
// files and the built-in hosts of `places`. A file that does not exist is
// passed over quietly; one that cannot be used is named in `problems`.
HostChoice chooseHosts(const std::optional<ServerLines> &given, const HostPlaces &places);

// One lines.ini. Nothing when it does not exist (`problem` empty) or cannot
// be used (`problem` says why, naming the file and the key).
std::optional<ServerLines> readLinesFile(const QString &path, QString *problem);

// What the start says when no source gave hosts: where to put them.
QString missingHostsMessage(const HostPlaces &places);

} // namespace lckb
