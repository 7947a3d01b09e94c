#pragma once
#include <QString>

namespace lckb {

// ClearTmp: deletes every file directly inside the "dat" folder of the
// program folder `appDir`. Subfolders stay, the folder stays, and a file
// that cannot be deleted is passed over. Returns how many files went.
int ClearTmp(const QString &appDir);

} // namespace lckb
