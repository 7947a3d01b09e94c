#pragma once
#include <QString>

namespace lckb {

// Where config.ini and the scratch folder "dat" live. The program folder when
// the user can write there (a portable folder, an existing installation), so
// those keep working as they always have; otherwise (a package installed in a
// system folder) the user's own folder for the program, `configHome`/lckb,
// created with mode 0700 when it is missing. Decided once at start.
QString dataFolder(const QString &programDir, bool programDirWritable, const QString &configHome);
// The same for this process: the program folder's writability as the system
// tells it, and $XDG_CONFIG_HOME (by default ~/.config).
QString dataFolder(const QString &programDir);

// Where the bulletins announced are kept across runs: beside config.ini when
// that lives in the program folder (`dataDir` equals `programDir`), never in
// its scratch folder; otherwise in the user's state folder for the program,
// `stateHome`/lckb/recent.
QString recentFile(const QString &programDir, const QString &dataDir, const QString &stateHome);
// The same with $XDG_STATE_HOME (by default ~/.local/state).
QString recentFile(const QString &programDir, const QString &dataDir);

} // namespace lckb
