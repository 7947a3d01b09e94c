#include "tixing.h"

#include "channels.h"
#include "external.h"

namespace lckb {

PollSwitches::~PollSwitches() = default;

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

ReminderPoll::ReminderPoll(Session &s, PollSwitches &sw, AlertSink &alerts, QObject *parent)
    : QObject(parent), m_s(s), m_sw(sw), m_alerts(alerts)
{
    connect(&Timer1, &QTimer::timeout, this, &ReminderPoll::tick);
}

void ReminderPoll::start()
{
    Timer1.setInterval(m_s.intervals.poll);
    Timer1.start();
}

void ReminderPoll::tick()
{
    t += 1;
    if (t == 1)
        TiXing();
    // t goes back to 0 when the poll ends (finish).
}

QString ReminderPoll::requestUrl() const
{
    // The time only makes every address different, so that nothing between
    // here and the server answers from a cache.
    return m_s.serverBase() + QLatin1String(kReminderPath)
           + m_s.clock->now().toString(QStringLiteral("yyyy-M-d H:mm:ss"));
}

void ReminderPoll::TiXing()
{
    if (m_running) {
        // One fetch at a time; the running poll keeps its own reply.
        emit pollFinished(PollOutcome::Busy);
        return;
    }
    m_running = true;
    m_fetch.setTimeLimit(m_s.intervals.fetchLimit);
    m_fetch.GetUrlSource(requestUrl(), QStringLiteral("GB2312"),
                         [this](const FetchResult &r) { onReply(r); });
}

void ReminderPoll::onReply(const FetchResult &r)
{
    if (!r.ok)
        return finish(PollOutcome::FetchFailed);
    const QString &reply = r.text;
    // A web page (a server error page, a login page) is no reminder reply and
    // must not disturb the baseline.
    if (reply.contains(QLatin1Char('<')) && reply.contains(QLatin1Char('>')))
        return finish(PollOutcome::Markup);
    if (reply.isEmpty())
        return finish(PollOutcome::Empty);

    store.seed(reply);
    store.takeLatest(reply);
    if (store.unchanged())
        return finish(PollOutcome::Unchanged);

    compare();
    // Whatever was announced or skipped, each change is taken in exactly once.
    store.promote(reply);
    finish(PollOutcome::Compared);
}

void ReminderPoll::compare()
{
    const QStringList bakLines = ReplyStore::lines(store.bak);
    const QStringList tmpLines = ReplyStore::lines(store.tmp);
    if (!m_sw.reminderOn())
        return;
    // Only the first eight lines belong to channels; the rest is never read.
    for (const Channel &ch : channelTable()) {
        const int k = ch.index;
        if (!m_sw.channelOn(k))
            continue;
        // A line missing from a reply counts as empty: a short reply says
        // nothing about that channel.
        const QString was = bakLines.value(k);
        const QString now = tmpLines.value(k);
        if (was.isEmpty() || now.isEmpty() || was == now)
            continue;
        // The pop-up shows the item of the baseline line, the one that was
        // just replaced.
        const QStringList f = was.split(QLatin1Char(','));
        // A line too short for an item, or whose address is not a path on
        // this server, raises no pop-up; its sound still tells of the change.
        if (f.size() >= 4 && isServerPath(f.at(3)))
            m_alerts.ShowMsn(f.at(2), f.at(1), m_s.serverBase() + f.at(3));
        if (m_sw.soundOn())
            m_alerts.PlayWavFile(m_s.appDir + QString::fromLatin1(ch.sound), 1, 5);
    }
}

void ReminderPoll::finish(PollOutcome outcome)
{
    m_running = false;
    t = 0;
    emit pollFinished(outcome);
}

} // namespace lckb
