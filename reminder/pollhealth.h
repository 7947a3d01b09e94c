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

// When the service page is loaded again by itself. A page that could not
// load (a morning's start before the network, the server down) would stay on
// the engine's error page all day, while the poll finds the server again on
// its own. Once a poll gets a usable reply after the page failed, the page
// loads again, once: should that fail too, the next recovery of the poll
// tries again, never a loop against a server that answers polls but not the
// page.
class PageRecovery
{
public:
    // The service page's own load ended (not a page the user went on to).
    void pageLoaded(bool ok);
    // A poll ended so; true when the page is to be loaded again now.
    bool pollEnded(PollOutcome outcome);

private:
    bool m_pageFailed = false;
    bool m_reloaded = false; // since the poll last failed
};

} // namespace lckb
