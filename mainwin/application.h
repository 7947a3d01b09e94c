#pragma once
// The application object of the program, made on the platform chosen for it.
#include <QApplication>
#include <memory>

namespace lckb {

// In a Wayland session with XWayland, XWayland: there the pop-ups can place
// themselves (platform.h). Asked for this process only, so that programs it
// starts (the default browser) make their own choice. `arguments`: the
// command line, as the options read it; `argc` must outlive the object.
std::unique_ptr<QApplication> makeApplication(int &argc, char **argv, const QStringList &arguments);

} // namespace lckb
