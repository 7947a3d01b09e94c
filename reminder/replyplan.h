#pragma once
// What the reminder poll makes of a reply, apart from fetching it and raising
// the alerts: whether the reply counts at all, and which channels changed and
// how each change is to be announced. Pure functions of their arguments, so
// that every odd reply can be tried on them without a server or a window.
#include "app/keys.h"

#include <QList>
#include <QString>
#include <array>

namespace lckb {

// How a poll ended.
enum class PollOutcome {
    Busy,        // a poll was asked for while one was still waiting for its reply
    FetchFailed, // no reply could be had
    Markup,      // the reply holds "<" and ">": a web page, not a reminder reply
    Empty,       // the server answered with nothing
    Unchanged,   // the reply equals the baseline (or is the first one)
    Compared,    // the lines were compared and the reply is the new baseline
};

// Markup, Empty, Unchanged or Compared for a reply that arrived while the
// baseline was `baseline` (empty before the first valid reply).
PollOutcome classifyReply(const QString &reply, const QString &baseline);

// Characters of a title or a group a bulletin keeps; a longer one is cut
// and ends in an ellipsis.
inline constexpr qsizetype kMaxFieldLength = 256;

// One changed line of a subscribed channel, as the plan makes it. The same
// value goes on, unchanged, to the pop-up or notification and the recent list.
struct Bulletin
{
    int channel = -1;
    QString group; // group name of the item that arrived, at most kMaxFieldLength long
    QString title; // its title, likewise
    QString url;   // serverBase followed by the item's path; empty: the line
                   // names no item on this server
    QString sound; // the channel row's sound in programDir; empty: silent
    QString path{}; // the item's path on the service (url without serverBase)
    bool popup{false}; // announced with a pop-up (or notification) and kept
                       // in the recent list; false: only its sound tells
};

// Whether a reply's address field is a path on the server line, so that the
// base address followed by it stays on that server.
bool isServerPath(const QString &field);

// What the plan needs of the user's choices.
struct PlanSwitches
{
    bool reminderOn = false;
    bool soundOn = false;
    std::array<bool, kChannelCount> channels{}; // subscribed, by channel index
};

// The bulletins for the change from baseline `baseline` to reply `latest`, in
// channel order; nothing while the reminder is off.
QList<Bulletin> planAnnouncements(const QString &baseline, const QString &latest, const QString &serverBase,
                                  const PlanSwitches &on, const QString &programDir);

} // namespace lckb
