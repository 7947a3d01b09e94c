#include "windows/popuphost.h"

#include "windows/bulletinpopup.h"

#include <utility>

namespace lckb {

namespace {

// A child of its window: it goes when the window goes.
class WindowHandle final : public PopupHandle
{
public:
    explicit WindowHandle(BulletinPopup *w) : PopupHandle(w), m_window(w) {}
    void show() override { m_window->show(); }
    void close() override { m_window->close(); }

private:
    BulletinPopup *m_window;
};

} // namespace

PopupWindows::~PopupWindows()
{
    const QList<QPointer<QWidget>> windows = std::exchange(m_windows, {});
    for (const QPointer<QWidget> &w : windows)
        delete w.data();
}

PopupHandle *PopupWindows::createPopup(const Bulletin &b, int sequence)
{
    // No parent: a pop-up is a window of its own and deletes itself when closed.
    auto *w = new BulletinPopup(m_main, b, sequence, m_tickMs);
    m_windows.removeAll(QPointer<QWidget>());
    m_windows.append(w);
    return new WindowHandle(w);
}

} // namespace lckb
