#include "desktop/workarea.h"

#include <algorithm>

namespace lckb {

namespace {

enum Edge { Left, Right, Top, Bottom };

// What a strut takes from the root window's edge `edge`: `depth` pixels in,
// from `from` to `to` along it (inclusive).
QRect band(Edge edge, const QSize &root, int depth, int from, int to)
{
    switch (edge) {
    case Left:
        return QRect(0, from, depth, to - from + 1);
    case Right:
        return QRect(root.width() - depth, from, depth, to - from + 1);
    case Top:
        return QRect(from, 0, to - from + 1, depth);
    case Bottom:
        break;
    }
    return QRect(from, root.height() - depth, to - from + 1, depth);
}

// `area` without what reaches it from `edge`: the band where it lies on
// this monitor; measured from the monitor's own edge where the band lies on
// no monitor at all but runs along this one.
void cutEdge(QRect &area, const DesktopReadings &d, Edge edge, int depth, int from, int to)
{
    if (depth <= 0 || from > to)
        return;
    const QRect b = band(edge, d.root, depth, from, to);
    const QRect &m = d.monitor;
    if (b.intersects(m)) {
        switch (edge) {
        case Left: area.setLeft(std::max(area.left(), b.right() + 1)); break;
        case Right: area.setRight(std::min(area.right(), b.left() - 1)); break;
        case Top: area.setTop(std::max(area.top(), b.bottom() + 1)); break;
        case Bottom: area.setBottom(std::min(area.bottom(), b.top() - 1)); break;
        }
        return;
    }
    const bool onSomeMonitor = std::any_of(d.monitors.begin(), d.monitors.end(),
                                           [&](const QRect &other) { return b.intersects(other); });
    const bool vertical = edge == Left || edge == Right;
    const bool alongThis = vertical ? from <= m.bottom() && to >= m.top() : from <= m.right() && to >= m.left();
    if (onSomeMonitor || !alongThis)
        return;
    switch (edge) {
    case Left: area.setLeft(std::max(area.left(), m.left() + depth)); break;
    case Right: area.setRight(std::min(area.right(), m.right() - depth)); break;
    case Top: area.setTop(std::max(area.top(), m.top() + depth)); break;
    case Bottom: area.setBottom(std::min(area.bottom(), m.bottom() - depth)); break;
    }
}

// The monitor without what one panel's strut takes of it. A strut that
// would leave nothing of it is nonsense (a panel as big as the screen) and
// leaves it whole.
QRect cutByStrut(const DesktopReadings &d, const QList<quint32> &strut)
{
    const bool partial = strut.size() == 12;
    if (!partial && strut.size() != 4)
        return d.monitor;
    // Clamped to the root window, so that no figure overflows an int.
    auto cl = [](quint32 v, int most) { return int(std::min<quint32>(v, quint32(std::max(most, 0)))); };
    QRect area = d.monitor;
    for (int e = Left; e <= Bottom; ++e) {
        const int full = e == Left || e == Right ? d.root.height() : d.root.width();
        const int depth = cl(strut[e], e == Left || e == Right ? d.root.width() : d.root.height());
        const int from = partial ? cl(strut[4 + 2 * e], full - 1) : 0;
        const int to = partial ? cl(strut[5 + 2 * e], full - 1) : full - 1;
        cutEdge(area, d, Edge(e), depth, from, to);
    }
    return area.isValid() ? area : d.monitor;
}

QRect withinQt(const QRect &r, const QRect &qtAvailable)
{
    return qtAvailable.isValid() ? r.intersected(qtAvailable) : r;
}

} // namespace

WorkArea monitorWorkArea(const DesktopReadings &readings, const QRect &qtAvailable)
{
    const QRect monitor = readings.monitor;
    if (!readings.read || !monitor.isValid() || readings.root.isEmpty())
        return {qtAvailable, WorkArea::Qt};

    // The window manager's own figure: the largest of its areas that lies
    // inside this monitor (it lists one per monitor).
    QRect listed;
    for (const QRect &r : readings.perMonitor)
        if (r.isValid() && monitor.contains(r)
            && qint64(r.width()) * r.height() > qint64(listed.width()) * listed.height())
            listed = r;
    if (const QRect area = withinQt(listed, qtAvailable); listed.isValid() && area.isValid())
        return {area, WorkArea::PerMonitorList};

    QRect area = monitor;
    for (const QList<quint32> &strut : readings.struts)
        area = area.intersected(cutByStrut(readings, strut));
    area = withinQt(area, qtAvailable);
    if (!area.isValid())
        return {qtAvailable, WorkArea::Qt};
    return {area, WorkArea::Struts};
}

const char *workAreaSourceName(WorkArea::Source source)
{
    switch (source) {
    case WorkArea::PerMonitorList:
        return "per-monitor list";
    case WorkArea::Struts:
        return "struts";
    case WorkArea::Qt:
        break;
    }
    return "Qt";
}

} // namespace lckb
