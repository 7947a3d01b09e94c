#include "reminder/reminderpoll.h"

#include "app/external.h"

namespace lckb {

ReminderPoll::ReminderPoll(Session &s, AlertSink &alerts, QObject *parent)
    : QObject(parent), m_s(s), m_alerts(alerts)
{
    m_pollTimer.setObjectName(QStringLiteral("pollTimer"));
    connect(&m_pollTimer, &QTimer::timeout, this, &ReminderPoll::tick);
}

void ReminderPoll::start()
{
    m_pollTimer.setInterval(m_s.intervals.poll);
    m_pollTimer.start();
}

void ReminderPoll::tick()
{
    m_busy += 1;
    if (m_busy == 1)
        pollOnce();
    // Back to 0 when the poll ends (finish).
}

void ReminderPoll::pollNow()
{
    if (m_pollTimer.isActive())
        m_pollTimer.start();
    tick();
}

QString ReminderPoll::requestUrl() const
{
    // The time only makes every address different, so that nothing between
    // here and the server answers from a cache.
    return m_s.serverBase() + QLatin1String(kReminderPath)
           + m_s.clock->now().toString(QStringLiteral("yyyy-M-d H:mm:ss"));
}

void ReminderPoll::pollOnce()
{
    if (m_running) {
        // One fetch at a time; the running poll keeps its own reply.
        emit pollFinished(PollOutcome::Busy);
        return;
    }
    m_running = true;
    m_fetch.setTimeLimit(m_s.intervals.fetchLimit);
    m_fetch.fetchText(requestUrl(), QStringLiteral("GB2312"), [this](const FetchResult &r) { onReply(r); });
}

void ReminderPoll::onReply(const FetchResult &r)
{
    if (!r.ok)
        return finish(PollOutcome::FetchFailed);
    const QString &reply = r.text;
    const PollOutcome outcome = classifyReply(reply, m_store.baseline);
    if (outcome == PollOutcome::Markup || outcome == PollOutcome::Empty)
        return finish(outcome);
    // An error status means the server had no reply to give. Its body, even
    // as plain text, must not become the baseline: the next real change
    // would be compared with an error message and lost.
    if (r.httpStatus >= 400)
        return finish(PollOutcome::FetchFailed);

    m_store.seed(reply);
    if (outcome == PollOutcome::Unchanged)
        return finish(outcome);

    compare(reply);
    // Whatever was announced or skipped, each change is taken in exactly once.
    m_store.promote(reply);
    finish(PollOutcome::Compared);
}

void ReminderPoll::compare(const QString &latest)
{
    // The switches are read as the comparison starts; no subscription is
    // looked at (nor config.ini read for it) while the reminder is off.
    UserChoices &c = m_s.choices;
    PlanSwitches on;
    on.reminderOn = c.reminderOn();
    if (on.reminderOn) {
        on.soundOn = c.soundOn();
        for (int k = 0; k < kChannelCount; ++k)
            on.channels[size_t(k)] = c.channelOn(k);
    }
    for (const Bulletin &b : planAnnouncements(m_store.baseline, latest, m_s.serverBase(), on, m_s.programDir())) {
        if (b.popup)
            m_alerts.announce(b);
        if (!b.sound.isEmpty())
            m_alerts.playSound(b.sound);
    }
}

void ReminderPoll::finish(PollOutcome outcome)
{
    m_running = false;
    m_busy = 0;
    emit pollFinished(outcome);
}

} // namespace lckb
