#include "desktop/windowhints.h"

#include "desktop/workarea.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

namespace lckb {

namespace {

// Which source each placement's work area came from, for telling what a
// window manager publishes.
Q_LOGGING_CATEGORY(lcWorkArea, "lckb.desktop.workarea")

xcb_connection_t *x11()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    auto *x = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x ? x->connection() : nullptr;
}

// onlyIfExists: NONE for a name no client has used, rather than a new atom
// on the server.
xcb_atom_t atom(xcb_connection_t *c, const char *name, bool onlyIfExists = false)
{
    xcb_intern_atom_reply_t *r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, onlyIfExists, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

using PropertyReply = std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)>;

// The first `longs` 32-bit units of a window's property; null without an answer.
PropertyReply readProperty(xcb_connection_t *c, xcb_window_t win, xcb_atom_t prop, xcb_atom_t type, uint32_t longs)
{
    return {xcb_get_property_reply(c, xcb_get_property(c, 0, win, prop, type, 0, longs), nullptr), &std::free};
}

QByteArray bytesOf(const PropertyReply &r)
{
    return r ? QByteArray(static_cast<const char *>(xcb_get_property_value(r.get())), xcb_get_property_value_length(r.get()))
             : QByteArray();
}

// The 32-bit values of a property of type `type`; empty when it is missing
// or holds something else.
std::vector<uint32_t> valuesOf(const PropertyReply &r, xcb_atom_t type)
{
    if (!r || r->format != 32 || r->type != type)
        return {};
    const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(r.get()));
    return {v, v + xcb_get_property_value_length(r.get()) / 4};
}

// A list of atoms (_NET_WM_STATE, WM_PROTOCOLS).
std::vector<xcb_atom_t> atomsOf(xcb_connection_t *c, xcb_window_t win, xcb_atom_t prop, uint32_t longs)
{
    return valuesOf(readProperty(c, win, prop, XCB_ATOM_ATOM, longs), XCB_ATOM_ATOM);
}

void setAtoms(xcb_connection_t *c, xcb_window_t win, xcb_atom_t prop, const std::vector<xcb_atom_t> &atoms)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, prop, XCB_ATOM_ATOM, 32, uint32_t(atoms.size()), atoms.data());
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
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const QByteArray check = bytesOf(readProperty(c, root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW, 256));
    if (check.size() != 4)
        return {};
    xcb_window_t wm = 0;
    std::memcpy(&wm, check.constData(), 4);
    return bytesOf(readProperty(c, wm, atom(c, "_NET_WM_NAME"), atom(c, "UTF8_STRING"), 256));
}

const char kToolbar[] = "_NET_WM_WINDOW_TYPE_TOOLBAR";
const char kUtility[] = "_NET_WM_WINDOW_TYPE_UTILITY";
const char kNotification[] = "_NET_WM_WINDOW_TYPE_NOTIFICATION";

// What a side window tells each window manager it is (_NET_WM_WINDOW_TYPE),
// most particular first. No type: Qt's own word stands (a utility window).
struct WindowTypes
{
    const char *windowManager;                // its _NET_WM_NAME; null: any other
    std::array<const char *, 2> side;         // a side window
    std::array<const char *, 2> announcement; // a side window that announces
};

const WindowTypes kWindowTypes[] = {
    // Openbox keeps the minimise and maximise buttons on every window
    // whatever its hints say, except on menus and toolbars: there the window
    // says it is a toolbar first (the others read a utility window).
    {"Openbox", {kToolbar, kUtility}, {kToolbar, kUtility}},
    // mutter and KWin draw no frame around a notification: an announcement
    // stays a utility window (one of its own: KWin hides only the transient
    // ones of an inactive program).
    {"KWin", {}, {kUtility}},
    {"GNOME Shell", {}, {kUtility}},
    {"Mutter", {}, {kUtility}},
    // Elsewhere an announcement says what it is, a notification, which keeps
    // the title bar and its close button.
    {nullptr, {}, {kNotification, kUtility}},
};

const WindowTypes &windowTypesFor(const QByteArray &windowManager)
{
    return *std::find_if(std::begin(kWindowTypes), std::end(kWindowTypes) - 1,
                         [&](const WindowTypes &t) { return windowManager == t.windowManager; });
}

// Qt offers WM_TAKE_FOCUS even on a window that refuses the input focus;
// xfwm4 counts that as wanting the focus and makes such a window the active
// one when the main window goes. Without it the window is left alone.
void dropTakeFocus(xcb_connection_t *c, xcb_window_t win)
{
    const xcb_atom_t protocols = atom(c, "WM_PROTOCOLS");
    const xcb_atom_t takeFocus = atom(c, "WM_TAKE_FOCUS");
    std::vector<xcb_atom_t> kept = atomsOf(c, win, protocols, 32);
    kept.erase(std::remove(kept.begin(), kept.end(), takeFocus), kept.end());
    setAtoms(c, win, protocols, kept);
}

void setSideWindowHints(QWidget *w, bool announcement)
{
    xcb_connection_t *c = x11();
    if (!c)
        return;
    const auto win = xcb_window_t(w->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    // Qt merges its own states (stay on top) into what it finds here when it
    // maps the window.
    std::vector<xcb_atom_t> states = atomsOf(c, win, state, 64);
    for (const char *name : {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"}) {
        const xcb_atom_t a = atom(c, name);
        if (a != XCB_ATOM_NONE && std::find(states.begin(), states.end(), a) == states.end())
            states.push_back(a);
    }
    setAtoms(c, win, state, states);

    // Qt always lets the user resize and gives a resize border; the window
    // has a fixed size, so neither, and no minimise or maximise.
    const xcb_atom_t motif = atom(c, "_MOTIF_WM_HINTS");
    const uint32_t hints[5] = {MwmHintsFunctions | MwmHintsDecorations, MwmFuncMove | MwmFuncClose,
                               MwmDecorBorder | MwmDecorTitle, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, win, motif, motif, 32, 5, hints);

    if (announcement)
        dropTakeFocus(c, win);
    // A copy: gcc 14 takes a reference from a call with a temporary argument
    // for a dangling one, though the table is static.
    const WindowTypes types = windowTypesFor(windowManagerName(c));
    std::vector<xcb_atom_t> type;
    for (const char *name : announcement ? types.announcement : types.side)
        if (name)
            type.push_back(atom(c, name));
    if (!type.empty())
        setAtoms(c, win, atom(c, "_NET_WM_WINDOW_TYPE"), type);
    xcb_flush(c);
}

// The show event comes after the native window exists and before it is
// mapped: the moment the window manager has not read the hints yet.
class SideWindowHints : public QObject
{
public:
    SideWindowHints(QWidget *w, bool announcement) : QObject(w), m_announcement(announcement) {}

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched == parent())
            setSideWindowHints(static_cast<QWidget *>(watched), m_announcement);
        return false;
    }

private:
    const bool m_announcement;
};

void makeSideWindow(QWidget *w, bool announcement)
{
    w->setWindowFlags(Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                      | Qt::WindowCloseButtonHint);
    w->installEventFilter(new SideWindowHints(w, announcement));
}

// WM_CLASS is "instance\0class\0"; the instance Qt chose stays.
void setWindowClass(QWidget *w)
{
    xcb_connection_t *c = x11();
    if (!c)
        return;
    const auto win = xcb_window_t(w->winId());
    QByteArray instance = "lckb";
    const QByteArray v = bytesOf(readProperty(c, win, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 256));
    if (const qsizetype end = v.indexOf('\0'); end > 0)
        instance = v.left(end);
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

// The windows that may carry a panel's strut: those the window manager
// manages, and the mapped windows on the root (a dock it left unframed).
std::set<xcb_window_t> strutCandidates(xcb_connection_t *c, xcb_window_t root)
{
    std::set<xcb_window_t> wins;
    for (uint32_t w : valuesOf(readProperty(c, root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 4096),
                               XCB_ATOM_WINDOW))
        wins.insert(w);
    const std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
        xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
    if (!tree)
        return wins;
    const xcb_window_t *children = xcb_query_tree_children(tree.get());
    const int n = std::min(xcb_query_tree_children_length(tree.get()), 4096);
    // All questions first, then the answers: one round trip, not one a window.
    std::vector<xcb_get_window_attributes_cookie_t> asked;
    for (int i = 0; i < n; ++i)
        asked.push_back(xcb_get_window_attributes(c, children[i]));
    for (int i = 0; i < n; ++i) {
        xcb_get_window_attributes_reply_t *a = xcb_get_window_attributes_reply(c, asked[size_t(i)], nullptr);
        if (a && a->map_state != XCB_MAP_STATE_UNMAPPED)
            wins.insert(children[i]);
        std::free(a);
    }
    return wins;
}

// The root's size, the per-monitor work areas of the current desktop where
// the window manager lists them, and every panel's strut.
void readDesktop(xcb_connection_t *c, DesktopReadings &d)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    // Asked, not taken from the connection's set-up: RandR resizes the root.
    xcb_get_geometry_reply_t *g = xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr);
    d.root = g ? QSize(g->width, g->height) : QSize();
    std::free(g);
    d.read = !d.root.isEmpty();
    if (!d.read)
        return;

    const std::vector<uint32_t> desktop =
        valuesOf(readProperty(c, root, atom(c, "_NET_CURRENT_DESKTOP"), XCB_ATOM_CARDINAL, 1), XCB_ATOM_CARDINAL);
    const QByteArray listName = "_GTK_WORKAREAS_D" + QByteArray::number(desktop.empty() ? 0u : desktop[0]);
    if (const xcb_atom_t list = atom(c, listName.constData(), true); list != XCB_ATOM_NONE) {
        const std::vector<uint32_t> v = valuesOf(readProperty(c, root, list, XCB_ATOM_CARDINAL, 4 * 64), XCB_ATOM_CARDINAL);
        for (size_t i = 0; i + 3 < v.size(); i += 4)
            if (std::all_of(v.begin() + long(i), v.begin() + long(i) + 4, [](uint32_t x) { return x <= 0xffff; }))
                d.perMonitor.append(QRect(int(v[i]), int(v[i + 1]), int(v[i + 2]), int(v[i + 3])));
    }

    const xcb_atom_t partial = atom(c, "_NET_WM_STRUT_PARTIAL");
    const xcb_atom_t whole = atom(c, "_NET_WM_STRUT");
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> asked;
    for (xcb_window_t w : strutCandidates(c, root))
        asked.emplace_back(xcb_get_property(c, 0, w, partial, XCB_ATOM_CARDINAL, 0, 12),
                           xcb_get_property(c, 0, w, whole, XCB_ATOM_CARDINAL, 0, 4));
    for (const auto &[p, o] : asked) {
        const PropertyReply pr(xcb_get_property_reply(c, p, nullptr), &std::free);
        const PropertyReply orr(xcb_get_property_reply(c, o, nullptr), &std::free);
        std::vector<uint32_t> v = valuesOf(pr, XCB_ATOM_CARDINAL);
        if (v.size() != 12)
            v = valuesOf(orr, XCB_ATOM_CARDINAL);
        if (v.size() == 12 || v.size() == 4)
            d.struts.append(QList<quint32>(v.begin(), v.end()));
    }
}

// X works in the screen's device pixels; Qt's screens keep their native
// origin and scale what lies beyond it.
QRect toNative(const QRect &r, const QScreen *s)
{
    const QPoint o = s->geometry().topLeft();
    const qreal f = s->devicePixelRatio();
    return QRect(o + (r.topLeft() - o) * f, r.size() * f);
}

// Rounded inwards, so that the area never grows.
QRect fromNative(const QRect &r, const QScreen *s)
{
    const QPointF o = s->geometry().topLeft();
    const qreal f = s->devicePixelRatio();
    const QPointF tl = (QPointF(r.topLeft()) - o) / f + o;
    const QPointF end = (QPointF(r.bottomRight() + QPoint(1, 1)) - o) / f + o;
    return QRect(QPoint(int(std::ceil(tl.x() - 1e-6)), int(std::ceil(tl.y() - 1e-6))),
                 QPoint(int(std::floor(end.x() + 1e-6)) - 1, int(std::floor(end.y() + 1e-6)) - 1));
}

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
    makeSideWindow(w, false);
}

void markAsAnnouncement(QWidget *w)
{
    makeSideWindow(w, true);
    // Qt makes every tool window transient for the program's client leader;
    // KWin hides such windows while another program is active
    // (HideUtilityWindowsForInactive). A top-level window of its own, then,
    // whose type the window manager learns when it is shown.
    w->setWindowFlags((w->windowFlags() & ~Qt::WindowType_Mask) | Qt::Window | Qt::WindowDoesNotAcceptFocus);
}

QPoint keepInWorkArea(const QPoint &wanted, const QSize &outer, const QRect &workArea)
{
    if (!workArea.isValid())
        return wanted;
    return QPoint(std::max(workArea.left(), std::min(wanted.x(), workArea.right() + 1 - outer.width())),
                  std::max(workArea.top(), std::min(wanted.y(), workArea.bottom() + 1 - outer.height())));
}

QRect workAreaOf(const QScreen *screen)
{
    DesktopReadings d;
    if (xcb_connection_t *c = x11()) {
        d.monitor = toNative(screen->geometry(), screen);
        for (const QScreen *other : QGuiApplication::screens())
            d.monitors.append(toNative(other->geometry(), other));
        readDesktop(c, d);
    }
    const WorkArea area = monitorWorkArea(d, toNative(screen->availableGeometry(), screen));
    const QRect rect = area.source == WorkArea::Qt ? screen->availableGeometry() : fromNative(area.rect, screen);
    qCDebug(lcWorkArea).nospace() << "work area of " << screen->name() << ": " << rect << " from "
                                  << workAreaSourceName(area.source);
    return rect;
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

namespace {

// Sees the X events before Qt does: a change of the window's
// _NET_FRAME_EXTENTS is answered once Qt has taken it in.
class FrameExtentsWatch final : public QObject, public QAbstractNativeEventFilter
{
public:
    FrameExtentsWatch(QWidget *w, xcb_window_t win, xcb_atom_t extents, std::function<void()> changed)
        : QObject(w), m_win(win), m_extents(extents), m_changed(std::move(changed))
    {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    ~FrameExtentsWatch() override { QCoreApplication::instance()->removeNativeEventFilter(this); }

    bool nativeEventFilter(const QByteArray &type, void *message, qintptr *) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto *e = static_cast<const xcb_generic_event_t *>(message);
        if ((e->response_type & ~0x80) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto *p = reinterpret_cast<const xcb_property_notify_event_t *>(e);
        if (p->window == m_win && p->atom == m_extents)
            QTimer::singleShot(0, this, [this] { m_changed(); });
        return false;
    }

private:
    xcb_window_t m_win;
    xcb_atom_t m_extents;
    std::function<void()> m_changed;
};

} // namespace

void watchFrameExtents(QWidget *w, std::function<void()> changed)
{
    xcb_connection_t *c = x11();
    if (!c)
        return;
    const xcb_atom_t extents = atom(c, "_NET_FRAME_EXTENTS");
    if (extents != XCB_ATOM_NONE)
        new FrameExtentsWatch(w, xcb_window_t(w->winId()), extents, std::move(changed));
}

} // namespace lckb
