#pragma once
// Qt decides once per run, when the first tray icon is made, whether the
// tray is a StatusNotifier host (KDE, GNOME's extension, DDE) or an XEmbed
// one; a StatusNotifier host that comes up after that never receives the
// icon. At the start of a session the program may come up before the tray.
#include <functional>

namespace lckb {

// Whether a StatusNotifier host is registered on the session bus.
bool statusNotifierHostReady();

// Runs `ready` once a tray is there to take the icon: at once when one of
// either kind is there (or there is no session bus), else as soon as a
// StatusNotifier host registers, at the latest after `maxMs`.
void whenTrayHostSettled(int maxMs, std::function<void()> ready);

} // namespace lckb
