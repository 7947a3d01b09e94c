#pragma once
#include <QApplication>
#include <QIcon>
#include <QStringList>
#include <memory>

namespace lckb {

// What the application object carries for every window of the program: its
// name (澜策快报), version and `icon`, and a run that the tray keeps alive. No
// display name: the platform would append it to every window title.
void setUpApplication(const QIcon &icon);

// The application object, made on the platform chosen for it, with the
// desktop's proxy for the network; setUpApplication follows. In a Wayland session with XWayland, XWayland: there the pop-ups can
// place themselves (platform.h). Asked for this process only, so that
// programs it starts (the default browser) make their own choice.
// `arguments`: the command line, as the options read it; `argc` must outlive
// the object.
std::unique_ptr<QApplication> makeApplication(int &argc, char **argv, const QStringList &arguments);

} // namespace lckb
