#include "app/pagerest.h"

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace lckb {

PageRest::PageRest(const Clock *clock, int freezeAfterMs, int discardAfterMs)
    : m_clock(clock)
    , m_freezeAfterMs(qMax(0, freezeAfterMs))
    , m_discardAfterMs(qMax(0, discardAfterMs))
{
}

void PageRest::setShown(bool shown)
{
    if (shown == m_shown)
        return;
    m_shown = shown;
    if (shown)
        m_state = State::Active;
    m_since = m_clock->now();
}

void PageRest::wake()
{
    m_state = State::Active;
    m_since = m_clock->now();
}

qint64 PageRest::elapsedMs() const
{
    // A clock set back counts as no time.
    return qMax<qint64>(0, m_since.msecsTo(m_clock->now()));
}

PageRest::State PageRest::check(bool held)
{
    if (m_shown)
        return m_state = State::Active;
    if (held) {
        m_since = m_clock->now();
        return m_state;
    }
    const qint64 t = elapsedMs();
    const State due = t >= m_discardAfterMs ? State::Discarded : t >= m_freezeAfterMs ? State::Frozen : State::Active;
    // Out of sight a page only goes deeper; it wakes when shown or woken.
    m_state = std::max(m_state, due);
    return m_state;
}

int PageRest::nextCheckInMs() const
{
    if (m_shown || m_state == State::Discarded)
        return -1;
    const qint64 t = elapsedMs();
    const qint64 at = m_state == State::Active ? qMin(m_freezeAfterMs, m_discardAfterMs) : m_discardAfterMs;
    return int(qMax<qint64>(0, at - t)); // at most an interval, an int
}

void releaseFreedHeap()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

} // namespace lckb
