#include "desktop/windowhints.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace lckb {

namespace {

xcb_connection_t *x11()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x ? x->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

// The Motif hints as window managers read them: flags, functions,
// decorations, input mode, status.
enum : uint32_t {
    MwmHintsFunctions = 1,
    MwmHintsDecorations = 2,
    MwmFuncMove = 4,
    MwmFuncClose = 32,
    MwmDecorBorder = 2,
    MwmDecorTitle = 8,
};

// The name the running window manager gives itself (empty without one).
QByteArray windowManagerName(xcb_connection_t *c)
{
    const auto word = [c](xcb_window_t win, xcb_atom_t prop, xcb_atom_t type) {
        QByteArray v;
        if (xcb_get_property_reply_t *r =
                xcb_get_property_reply(c, xcb_get_property(c, 0, win, prop, type, 0, 256), nullptr)) {
            v = QByteArray(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
            std::free(r);
        }
        return v;
    };
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const QByteArray check = word(root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW);
    if (check.size() != 4)
        return {};
    xcb_window_t wm = 0;
    std::memcpy(&wm, check.constData(), 4);
    return word(wm, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"));
}

const char *const kAnnouncement = "lckbAnnouncement";

// Qt offers WM_TAKE_FOCUS even on a window that refuses the input focus;
// xfwm4 counts that as wanting the focus and makes such a window the active
// one when the main window goes. Without it the window is left alone.
void dropTakeFocus(xcb_connection_t *c, xcb_window_t win)
{
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t takeFocus = atom(c, "WM_TAKE_FOCUS");
    std::vector<xcb_atom_t> kept;
    if (xcb_get_property_reply_t *r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, win, protocols, XCB_ATOM_ATOM, 0, 32), nullptr)) {
        if (r->format == 32 && r->type == XCB_ATOM_ATOM) {
            const auto *v = static_cast<const xcb_atom_t *>(xcb_get_property_value(r));
            for (int i = 0; i < xcb_get_property_value_length(r) / 4; ++i)
                if (v[i] != takeFocus)
                    kept.push_back(v[i]);
        }
        std::free(r);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, protocols, XCB_ATOM_ATOM, 32, uint32_t(kept.size()),
                        kept.data());
}

void setSideWindowHints(QWidget *w)
{
    xcb_connection_t *c = x11();
    if (!c)
        return;
    const auto win = xcb_window_t(w->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> states;
    // Qt merges its own states (stay on top) into what it finds here when it
    // maps the window.
    if (xcb_get_property_reply_t *r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, win, state, XCB_ATOM_ATOM, 0, 64), nullptr)) {
        if (r->format == 32 && r->type == XCB_ATOM_ATOM) {
            const auto *v = static_cast<const xcb_atom_t *>(xcb_get_property_value(r));
            states.assign(v, v + xcb_get_property_value_length(r) / 4);
        }
        std::free(r);
    }
    for (const char *name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = atom(c, name);
        if (a != XCB_ATOM_NONE && std::find(states.begin(), states.end(), a) == states.end())
            states.push_back(a);
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, state, XCB_ATOM_ATOM, 32, uint32_t(states.size()),
                        states.data());

    // Qt always lets the user resize and gives a resize border; the window
    // has a fixed size, so neither, and no minimise or maximise.
    const xcb_atom_t motif = atom(c, "_MOTIF_WM_HINTS");
    const uint32_t hints[5] = {MwmHintsFunctions | MwmHintsDecorations, MwmFuncMove | MwmFuncClose,
                               MwmDecorBorder | MwmDecorTitle, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, motif, motif, 32, 5, hints);

    const QByteArray wm = windowManagerName(c);
    const xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE");
    const xcb_atom_t utility = atom(c, "_NET_WM_WINDOW_TYPE_UTILITY");
    if (wm == "Openbox") {
        // Openbox keeps the minimise and maximise buttons on every window
        // whatever its hints say, except on menus and toolbars; there the
        // window says it is a toolbar first (the others read a utility
        // window, as before).
        const xcb_atom_t types[2] = {atom(c, "_NET_WM_WINDOW_TYPE_TOOLBAR"), utility};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, type, XCB_ATOM_ATOM, 32, 2, types);
    }
    const bool announcement = w->property(kAnnouncement).toBool();
    if (announcement)
        dropTakeFocus(c, win);
    if (announcement && wm != "Openbox") {
        // What it is, a notification, where that keeps the title bar and its
        // close button; mutter and KWin draw no frame around a notification,
        // so there it stays a utility window (one of its own: KWin hides only
        // the transient ones of an inactive program).
        const bool frameless = wm == "KWin" || wm == "GNOME Shell" || wm == "Mutter";
        const xcb_atom_t types[2] = {atom(c, "_NET_WM_WINDOW_TYPE_NOTIFICATION"), utility};
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, type, XCB_ATOM_ATOM, 32, frameless ? 1 : 2,
                            frameless ? &utility : types);
    }
    xcb_flush(c);
}

// The show event comes after the native window exists and before it is
// mapped: the moment the window manager has not read the hints yet.
class SideWindowHints : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched == parent())
            setSideWindowHints(static_cast<QWidget *>(watched));
        return false;
    }
};

// WM_CLASS is "instance\0class\0"; the instance Qt chose stays.
void setWindowClass(QWidget *w)
{
    xcb_connection_t *c = x11();
    if (!c)
        return;
    const auto win = xcb_window_t(w->winId());
    QByteArray instance = "lckb";
    if (xcb_get_property_reply_t *r = xcb_get_property_reply(
            c, xcb_get_property(c, 0, win, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr)) {
        const QByteArray v(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
        if (const qsizetype end = v.indexOf('\0'); end > 0)
            instance = v.left(end);
        std::free(r);
    }
    const QByteArray value = instance + '\0' + "lckb" + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, uint32_t(value.size()),
                        value.constData());
    xcb_flush(c);
}

class WindowClassKeeper : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *w = static_cast<QWidget *>(watched);
            if (w->isWindow() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip)
                setWindowClass(w);
        }
        return false;
    }
};

} // namespace

void keepWindowClass()
{
    const QString name = QStringLiteral("lckbWindowClass");
    if (qApp->findChild<QObject *>(name, Qt::FindDirectChildrenOnly))
        return;
    auto *keeper = new WindowClassKeeper(qApp);
    keeper->setObjectName(name);
    qApp->installEventFilter(keeper);
}

void markAsSideWindow(QWidget *w)
{
    w->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                      | Qt::WindowCloseButtonHint);
    w->installEventFilter(new SideWindowHints(w));
}

void markAsAnnouncement(QWidget *w)
{
    // Qt makes every tool window transient for the program's client leader;
    // KWin hides such windows while another program is active
    // (HideUtilityWindowsForInactive). A top-level window of its own, then,
    // whose type the window manager learns when it is shown.
    w->setWindowFlags((w->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window | Qt::WindowDoesNotAcceptFocus);
    w->setProperty(kAnnouncement, true);
}

QPoint keepInWorkArea(const QPoint &wanted, const QSize &outer, const QRect &workArea)
{
    if (!workArea.isValid())
        return wanted;
    return QPoint(std::max(workArea.left(), std::min(wanted.x(), workArea.right() + 1 - outer.width())),
                  std::max(workArea.top(), std::min(wanted.y(), workArea.bottom() + 1 - outer.height())));
}

bool xembedTrayPresent()
{
    xcb_connection_t *c = x11();
    if (!c)
        return false;
    const xcb_atom_t selection = atom(c, "_NET_SYSTEM_TRAY_S0");
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *r =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool owned = r && r->owner != XCB_WINDOW_NONE;
    std::free(r);
    return owned;
}

} // namespace lckb
