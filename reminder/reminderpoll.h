#pragma once
// The reminder poll. Every tick of its timer asks the server line in use for
// the reminder reply (one CR LF line per channel), compares it with the reply
// taken in last, and raises a pop-up and a sound for every changed line of a
// subscribed channel. The first valid reply after start only becomes the
// baseline: what was there before the program started is never announced.
#include "app/pagefetch.h"
#include "app/session.h"
#include "reminder/alerts.h"
#include "reminder/replyplan.h"
#include "reminder/replystore.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace lckb {

class ReminderPoll : public QObject
{
    Q_OBJECT
public:
    // The switches and subscriptions are read from the session's choices at
    // the moment a reply is compared.
    ReminderPoll(Session &s, AlertSink &alerts, QObject *parent = nullptr);

    // Starts the timer at the session's poll interval.
    void start();
    void stop() { m_pollTimer.stop(); }
    bool timerRunning() const { return m_pollTimer.isActive(); }

    // A tick: polls unless a poll is still running. A tick that comes during
    // a poll is dropped, not made up later.
    void tick();
    // A tick now, the next interval counted from here: after a wake from
    // suspend, when the timer would still wait out the rest of its interval.
    void pollNow();
    // One poll. It only starts the fetch; the comparison runs when the reply
    // arrives, and pollFinished tells the end.
    void pollOnce();

    // The address of the next reminder request.
    QString requestUrl() const;
    bool running() const { return m_running; }
    // Above 0 while a poll started by a tick runs.
    int busy() const { return m_busy; }
    const ReplyStore &store() const { return m_store; }

signals:
    // Once for every pollOnce call.
    void pollFinished(lckb::PollOutcome outcome);

private:
    void onReply(const FetchResult &r);
    void compare(const QString &latest);
    void finish(PollOutcome outcome);

    Session &m_s;
    AlertSink &m_alerts;
    PageFetch m_fetch;
    QTimer m_pollTimer{this}; // a child named "pollTimer", so a watcher can find it
    ReplyStore m_store;
    int m_busy = 0;
    bool m_running = false;
};

} // namespace lckb
