#pragma once
// What the program says when the running limit ends it, so that a user does
// not wait for reminders that no longer come: one desktop notification, which
// stays with the notification server after the program has gone; where no
// server takes it, one message from the tray icon, shown for a while before
// the end; where neither can be shown, nothing, and the end comes at once.
#include <QObject>
#include <QTimer>
#include <functional>

namespace lckb {

class Tray;

class EndNotice final : public QObject
{
    Q_OBJECT
public:
    static const QString kText; // "澜策快报已连续运行12小时，..." with the running limit's hours

    explicit EndNotice(Tray &tray, QObject *parent = nullptr);

    // Where the notification server is looked for: the session bus, or the
    // connection of this name (made with QDBusConnection::connectToBus).
    void setBus(const QString &connectionName) { m_busName = connectionName; }
    // How long a tray message stays before the end.
    void setMessageMs(int ms) { m_messageTimer.setInterval(ms); }

    // Shows the notice, once, then runs `done`.
    void show(std::function<void()> done);

private:
    void showInTray();
    void finish();

    Tray &m_tray;
    QString m_busName;
    QTimer m_messageTimer;
    std::function<void()> m_done;
    bool m_shown = false;
};

} // namespace lckb
