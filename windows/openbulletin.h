#pragma once
// What a click on a bulletin does, in a pop-up, a desktop notification or in
// the tray's list of recent bulletins: the main page's fourth frame loads
// `url` and the main window comes forward, normal. While the page still loads
// no frame is touched; a page without a fourth frame is said so first (with
// kMainNotLoadedText). A page not made yet (a start in the tray) or discarded
// while out of sight is made or woken first, and the click goes on once it
// has loaded. `done` runs at the end.
#include <QString>
#include <functional>

namespace lckb {

class MainLink;

extern const QString kMainNotLoadedText;

void openBulletin(MainLink &main, const QString &url, std::function<void()> done = {});

} // namespace lckb
