#include "reminder/pollhealth.h"

namespace lckb {

bool PollHealth::usable(PollOutcome outcome)
{
    return outcome == PollOutcome::Unchanged || outcome == PollOutcome::Compared;
}

bool PollHealth::record(PollOutcome outcome, const QDateTime &at)
{
    // A poll asked for while one runs is no answer of the server's.
    if (outcome == PollOutcome::Busy)
        return false;
    const bool was = interrupted();
    if (usable(outcome)) {
        m_failures = 0;
        m_since = {};
    } else if (m_failures++ == 0) {
        m_since = at;
    }
    return interrupted() != was;
}

QString PollHealth::notice() const
{
    if (!interrupted())
        return {};
    return QStringLiteral("提醒中断：自 %1 起未能取到提醒").arg(m_since.toString(QStringLiteral("HH:mm")));
}

void PageRecovery::pageLoaded(bool ok)
{
    m_pageFailed = !ok;
}

bool PageRecovery::pollEnded(PollOutcome outcome)
{
    if (outcome == PollOutcome::Busy)
        return false;
    if (!PollHealth::usable(outcome)) {
        m_reloaded = false;
        return false;
    }
    if (!m_pageFailed || m_reloaded)
        return false;
    m_reloaded = true;
    return true;
}

} // namespace lckb
