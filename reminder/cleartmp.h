#pragma once
#include <QString>

namespace lckb {

// ClearTmp: deletes every plain file directly inside the "dat" folder of the
// program folder `appDir`; a symbolic link there is removed as a link.
// Subfolders, pipes, sockets and devices stay, the folder stays, and a file
// that cannot be deleted is passed over. A "dat" that is itself a symbolic
// link is left alone. Returns how many entries went.
int ClearTmp(const QString &appDir);

} // namespace lckb
