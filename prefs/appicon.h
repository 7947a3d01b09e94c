#pragma once
#include <QIcon>
#include <QImage>

namespace lckb {

// The program's own icon: a red tile with a rising white line and a gold
// bell dot, drawn at every size so it stays crisp in any tray.
QImage appIconImage(int size);
// Greyed out, the tray shows it while the reminder is interrupted.
QIcon appIcon(bool greyedOut = false);

// What the application object carries for every window of the program: its
// name (澜策快报), version and icon, and a run that the tray keeps alive. No
// display name: the platform would append it to every window title.
void setUpApplication();

} // namespace lckb
