#pragma once
// Whether the reminder still gets through. A server that cannot be reached,
// answers with errors or with a maintenance page leaves the poll silent,
// and to the user a dead reminder would look like a quiet market. After
// kFailureLimit polls in a row without a usable reply the reminder counts as
// interrupted, since the first of them; the first usable reply ends that.
#include "reminder/replyplan.h"

#include <QDateTime>
#include <QString>

namespace lckb {

class PollHealth
{
public:
    static constexpr int kFailureLimit = 3;

    // Whether a poll that ended so got a reply the reminder can work with.
    // An empty body counts as none: it names no bulletin, and a server that
    // keeps answering nothing has stopped the reminder as surely as one that
    // answers errors. Busy is no poll of its own and is never passed here.
    static bool usable(PollOutcome outcome);

    // Takes in a poll that ended with `outcome` at `at`; Busy is ignored.
    // True when interrupted() changed.
    bool record(PollOutcome outcome, const QDateTime &at);

    bool interrupted() const { return m_failures >= kFailureLimit; }
    // Polls without a usable reply since the last usable one.
    int failures() const { return m_failures; }
    // When the first of them ended; null while there is none.
    QDateTime failingSince() const { return m_since; }
    // The tray tip's second line while interrupted, else empty.
    QString notice() const;

private:
    int m_failures = 0;
    QDateTime m_since;
};

} // namespace lckb
