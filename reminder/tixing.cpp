#include "tixing.h"

#include "external.h"

namespace lckb {

PollSwitches::~PollSwitches() = default;

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
    const PollOutcome outcome = classifyReply(reply, store.bak);
    if (outcome == PollOutcome::Markup || outcome == PollOutcome::Empty)
        return finish(outcome);
    // An error status means the server had no reply to give. Its body, even
    // as plain text, must not become the baseline: the next real change
    // would be compared with an error message and lost.
    if (r.httpStatus >= 400)
        return finish(PollOutcome::FetchFailed);

    store.seed(reply);
    store.takeLatest(reply);
    if (outcome == PollOutcome::Unchanged)
        return finish(outcome);

    compare();
    // Whatever was announced or skipped, each change is taken in exactly once.
    store.promote(reply);
    finish(PollOutcome::Compared);
}

void ReminderPoll::compare()
{
    // The switches are read as the comparison starts; none of them is asked
    // while the reminder is off.
    const bool on = m_sw.reminderOn();
    const QList<Announcement> plan = planAnnouncements(
        store.bak, store.tmp, m_s.serverBase(), on, [this](int k) { return m_sw.channelOn(k); },
        on && m_sw.soundOn(), m_s.appDir);
    for (const Announcement &a : plan) {
        if (a.popup)
            m_alerts.ShowMsn(a.ZuName, a.Ziname, a.ZiUrl);
        if (a.sound)
            m_alerts.PlayWavFile(a.soundFile, 1, 5);
    }
}

void ReminderPoll::finish(PollOutcome outcome)
{
    m_running = false;
    t = 0;
    emit pollFinished(outcome);
}

} // namespace lckb
