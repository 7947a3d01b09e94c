#pragma once
// The freedesktop.org base folders, as this process's environment gives
// them: the one reading of those rules in the program.
#include <QString>
#include <QStringList>

namespace lckb {

// $XDG_CONFIG_HOME; ~/.config when unset, empty or relative.
QString xdgConfigHome();
// $XDG_CONFIG_DIRS without its relative entries; /etc/xdg when none is left.
QStringList xdgConfigDirs();
// $XDG_STATE_HOME; ~/.local/state when unset, empty or relative.
QString xdgStateHome();
// $XDG_RUNTIME_DIR as it is (empty when unset): whoever uses it judges
// whether the folder is safe.
QString xdgRuntimeDir();

} // namespace lckb
