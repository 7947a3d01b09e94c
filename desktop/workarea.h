#pragma once
// The work area of one monitor (the monitor without the panels that reach
// it), worked out from what an X11 window manager and its panels publish.
// Qt gives a screen's available geometry as the whole screen whenever there
// is more than one, and _NET_WORKAREA covers the whole root window, so on
// two monitors neither tells where a panel on one of them begins.
#include <QList>
#include <QRect>
#include <QSize>

namespace lckb {

// What the X server told; every figure came from other programs, so none is
// trusted. All in the root window's pixels.
struct DesktopReadings
{
    bool read = false;      // false: nothing could be read (Wayland, no X connection)
    QRect monitor;          // the monitor on the root window
    QList<QRect> monitors;  // every monitor, this one included
    QSize root;             // the root window's size
    // The window manager's own list of one work area per monitor, for the
    // current desktop (_GTK_WORKAREAS_D<n>); empty where it publishes none.
    QList<QRect> perMonitor;
    // Each panel's _NET_WM_STRUT_PARTIAL (12 cardinals: left, right, top,
    // bottom widths from the root's edges, then the start and end along each
    // edge), or its _NET_WM_STRUT (4 cardinals, the whole edge). Some panels
    // (trayer) measure from their own monitor's edge instead: a strut that
    // would then lie off every monitor is taken that way.
    QList<QList<quint32>> struts;
};

struct WorkArea
{
    enum Source { PerMonitorList, Struts, Qt };
    QRect rect;
    Source source;
};

// The monitor's work area, within `qtAvailable` (Qt's available geometry of
// the screen, in the same pixels): the window manager's per-monitor area
// where it lists one inside the monitor, else the monitor minus the struts
// that reach it; Qt's own figure where nothing was read or nothing is left.
WorkArea monitorWorkArea(const DesktopReadings &readings, const QRect &qtAvailable);

// A word for the log: "per-monitor list", "struts" or "Qt".
const char *workAreaSourceName(WorkArea::Source source);

} // namespace lckb
