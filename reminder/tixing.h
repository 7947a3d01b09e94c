#pragma once
// TiXing: the reminder poll. Every Timer1 tick asks the server line in use for
// the reminder reply (one CR LF line per channel), compares it with the reply
// taken in last, and raises a pop-up and a sound for every changed line of a
// subscribed channel. The first valid reply after start only becomes the
// baseline: what was there before the program started is never announced.
#include "alerts.h"
#include "pagefetch.h"
#include "replyplan.h"
#include "replystore.h"
#include "session.h"

#include <QObject>
#include <QString>
#include <QTimer>

namespace lckb {

// The user's switches, read at the moment the poll needs them.
class PollSwitches
{
public:
    virtual ~PollSwitches();
    // Check1 == 1: the reminder master switch.
    virtual bool reminderOn() = 0;
    // shengyin == 1: the sound master switch.
    virtual bool soundOn() = 0;
    // The box of channel k on the channel dialog == 1; touching it may create the dialog.
    virtual bool channelOn(int k) = 0;
};

class ReminderPoll : public QObject
{
    Q_OBJECT
public:
    ReminderPoll(Session &s, PollSwitches &sw, AlertSink &alerts, QObject *parent = nullptr);

    // Sets Timer1 to the poll interval and starts it.
    void start();
    // The Timer1 tick: polls unless a poll is still running. A tick that comes
    // during a poll is dropped, not made up later.
    void tick();
    // TiXing: one poll. It only starts the fetch; the comparison runs when the
    // reply arrives, and pollFinished tells the end.
    void TiXing();

    // The address of the next reminder request.
    QString requestUrl() const;
    bool running() const { return m_running; }

    int t = 0;         // busy counter: above 0 while a poll started by a tick runs
    ReplyStore store;  // the baseline and the latest reply
    QTimer Timer1;     // the reminder timer

signals:
    // Once for every TiXing call.
    void pollFinished(lckb::PollOutcome outcome);

private:
    void onReply(const FetchResult &r);
    void compare();
    void finish(PollOutcome outcome);

    Session &m_s;
    PollSwitches &m_sw;
    AlertSink &m_alerts;
    PageFetch m_fetch;
    bool m_running = false;
};

} // namespace lckb
