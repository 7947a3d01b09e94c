#include "windows/popuphost.h"

#include "windows/bulletinpopup.h"

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

PopupHandle *PopupWindows::createPopup(const Bulletin &b, int sequence)
{
    // No parent: a pop-up is a window of its own and deletes itself when closed.
    return new WindowHandle(new BulletinPopup(m_main, b, sequence, m_tickMs));
}

} // namespace lckb
