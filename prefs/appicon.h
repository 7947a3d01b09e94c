#pragma once
#include <QIcon>
#include <QImage>

namespace lckb {

// The program's own icon: a red tile with a rising white line and a gold
// bell dot, drawn at every size so it stays crisp in any tray.
QImage appIconImage(int size);
// Greyed out, the tray shows it while the reminder is interrupted.
QIcon appIcon(bool greyedOut = false);

} // namespace lckb
