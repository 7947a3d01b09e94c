#pragma once
#include <QString>

namespace lckb {

// Deletes every plain file directly inside the folder "dat" of `folder` (the
// folder that holds config.ini); a symbolic link there is removed as a link.
// Subfolders, pipes, sockets and devices stay, the folder stays, and a file
// that cannot be deleted is passed over. A "dat" that is itself a symbolic
// link is left alone. Returns how many entries went.
int clearScratchFolder(const QString &folder);

} // namespace lckb
