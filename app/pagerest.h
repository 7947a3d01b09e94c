#pragma once
// When the service page of a main window out of sight rests. The client's
// day-long work (polls, pop-ups, sounds) needs no browser, so a page nobody
// looks at is frozen after a short grace (no script or timer of it runs) and
// discarded after a longer time (its renderer process ends; it loads anew
// when shown). Decided here from what the window tells; the window only
// applies the verdict.
#include "app/clock.h"

#include <QDateTime>

namespace lckb {

class PageRest
{
public:
    // Deeper rests come later in the order.
    enum class State { Active, Frozen, Discarded };

    // `freezeAfterMs` and `discardAfterMs`: time out of sight before each rest.
    PageRest(const Clock *clock, int freezeAfterMs, int discardAfterMs);

    // The page is on screen (window shown, not minimised) or not. On screen
    // it is active at once; out of sight, the time starts.
    void setShown(bool shown);
    // Something is about to use the page out of sight (a bulletin opens in
    // it): active, and the time starts anew.
    void wake();
    // The verdict now. `held`: something the user has open keeps the page as
    // it is (a dialog, a secondary browser window, a bulletin being opened);
    // then no rest begins and the time starts anew.
    State check(bool held);
    State state() const { return m_state; }
    // Milliseconds until time alone may change the verdict; -1 when it cannot.
    int nextCheckInMs() const;

private:
    qint64 elapsedMs() const;

    const Clock *m_clock;
    int m_freezeAfterMs;
    int m_discardAfterMs;
    bool m_shown = true;
    State m_state = State::Active;
    QDateTime m_since; // out of sight and free since
};

// A discarded page leaves its freed memory in the heap, where the C library
// keeps it for reuse; a client at rest has no use for it and gives it back.
// Nothing where the C library offers no way.
void releaseFreedHeap();

} // namespace lckb
