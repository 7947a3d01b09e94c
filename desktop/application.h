#pragma once
#include <QIcon>

namespace lckb {

// What the application object carries for every window of the program: its
// name (澜策快报), version and `icon`, and a run that the tray keeps alive. No
// display name: the platform would append it to every window title.
void setUpApplication(const QIcon &icon);

} // namespace lckb
