#pragma once
// What the reminder poll makes of a reply, apart from fetching it and raising
// the alerts: whether the reply counts at all, and which channels changed and
// how each change is to be announced. Pure functions of their arguments, so
// that every odd reply can be tried on them without a server or a window.
#include <QList>
#include <QString>
#include <functional>

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

// One changed line of a subscribed channel.
struct Announcement
{
    int channel = -1;
    bool popup = false; // false: the baseline line names no item on this server
    QString group;     // group name of the item replaced
    QString title;     // its title
    QString url;      // serverBase followed by the item's path
    bool sound = false;
    QString soundFile;  // the channel row's sound in programDir
};

// The announcements for the change from baseline `baseline` to reply `latest`, in
// channel order. channelOn is asked only while the reminder is on, and only
// for the channels in turn.
QList<Announcement> planAnnouncements(const QString &baseline, const QString &latest, const QString &serverBase,
                                      bool reminderOn, const std::function<bool(int)> &channelOn,
                                      bool soundOn, const QString &programDir);

} // namespace lckb
