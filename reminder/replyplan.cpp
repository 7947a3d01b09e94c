#include "reminder/replyplan.h"

#include "reminder/replystore.h"

#include <QStringList>

namespace lckb {

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

namespace {

// A title or a group is shown on one line of a small window, a menu or a
// notification: a few hundred characters are more than any of them shows, and
// a megabyte of text measured at every paint would stop the program.
QString shortened(const QString &text)
{
    if (text.size() <= kMaxFieldLength)
        return text;
    qsizetype n = kMaxFieldLength - 1;
    if (text.at(n - 1).isHighSurrogate())
        --n;
    return text.left(n) + QChar(0x2026);
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

QList<Bulletin> planAnnouncements(const QString &baseline, const QString &latest, const QString &serverBase,
                                  const PlanSwitches &on, const QString &programDir)
{
    QList<Bulletin> out;
    if (!on.reminderOn)
        return out;
    const QStringList baselineLines = ReplyStore::firstLines(baseline, kChannelCount);
    const QStringList latestLines = ReplyStore::firstLines(latest, kChannelCount);
    // Only the first eight lines belong to channels; the rest is never read.
    for (const Channel &ch : channelTable()) {
        const int k = ch.index;
        if (!on.channels[size_t(k)])
            continue;
        // A line missing from a reply counts as empty: a short reply says
        // nothing about that channel.
        const QString was = baselineLines.value(k);
        const QString now = latestLines.value(k);
        if (was.isEmpty() || now.isEmpty() || was == now)
            continue;
        Bulletin b;
        b.channel = k;
        // The pop-up shows the item that has just arrived.
        const QStringList f = now.split(QLatin1Char(','));
        // A line too short for an item, or whose address is not a path on
        // this server, raises no pop-up; its sound still tells of the change.
        if (f.size() >= 4 && isServerPath(f.at(3))) {
            b.group = shortened(f.at(2));
            b.title = shortened(f.at(1));
            b.url = serverBase + f.at(3);
            b.path = f.at(3);
            // Items titled with this word are the server's font tests, never news.
            b.popup = !b.title.contains(QLatin1String("arial"), Qt::CaseInsensitive);
        }
        if (on.soundOn)
            b.sound = programDir + QString::fromLatin1(ch.sound);
        out.append(b);
    }
    return out;
}

} // namespace lckb
