#include "reminder/replyplan.h"

#include "app/keys.h"
#include "reminder/replystore.h"

#include <QStringList>

namespace lckb {
namespace {

// Field 3 must be a path on the server line, or the base address followed by
// it could name another host: "@evil" turns the base's host into a user name,
// ".evil.example" or ":81" extend it. A second slash or a backslash right
// after the first is refused too: wherever the address is taken as relative,
// it starts a host name.
bool isServerPath(const QString &field)
{
    if (!field.startsWith(QLatin1Char('/')))
        return false;
    return field.size() == 1 || (field.at(1) != QLatin1Char('/') && field.at(1) != QLatin1Char('\\'));
}

} // namespace

PollOutcome classifyReply(const QString &reply, const QString &baseline)
{
    // A web page (a server error page, a login page) is no reminder reply and
    // must not disturb the baseline.
    if (reply.contains(QLatin1Char('<')) && reply.contains(QLatin1Char('>')))
        return PollOutcome::Markup;
    if (reply.isEmpty())
        return PollOutcome::Empty;
    // The first valid reply only becomes the baseline.
    if (baseline.isEmpty() || reply == baseline)
        return PollOutcome::Unchanged;
    return PollOutcome::Compared;
}

QList<Announcement> planAnnouncements(const QString &baseline, const QString &latest, const QString &serverBase,
                                      bool reminderOn, const std::function<bool(int)> &channelOn,
                                      bool soundOn, const QString &programDir)
{
    QList<Announcement> out;
    if (!reminderOn)
        return out;
    const int channels = int(channelTable().size());
    const QStringList baselineLines = ReplyStore::firstLines(baseline, channels);
    const QStringList latestLines = ReplyStore::firstLines(latest, channels);
    // Only the first eight lines belong to channels; the rest is never read.
    for (const Channel &ch : channelTable()) {
        const int k = ch.index;
        if (!channelOn(k))
            continue;
        // A line missing from a reply counts as empty: a short reply says
        // nothing about that channel.
        const QString was = baselineLines.value(k);
        const QString now = latestLines.value(k);
        if (was.isEmpty() || now.isEmpty() || was == now)
            continue;
        Announcement a;
        a.channel = k;
        // The pop-up shows the item of the baseline line, the one that was
        // just replaced.
        const QStringList f = was.split(QLatin1Char(','));
        // A line too short for an item, or whose address is not a path on
        // this server, raises no pop-up; its sound still tells of the change.
        if (f.size() >= 4 && isServerPath(f.at(3))) {
            a.popup = true;
            a.group = f.at(2);
            a.title = f.at(1);
            a.url = serverBase + f.at(3);
        }
        a.sound = soundOn;
        if (soundOn)
            a.soundFile = programDir + QString::fromLatin1(ch.sound);
        out.append(a);
    }
    return out;
}

} // namespace lckb
