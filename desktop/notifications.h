#pragma once
// The desktop's notification server (org.freedesktop.Notifications on a
// session bus): the one place that speaks its protocol.
#include <QDBusConnection>
#include <QObject>
#include <QStringList>

#include <functional>
#include <optional>

namespace lckb {

struct DesktopNotification
{
    QString summary;        // plain text by the protocol: goes as it is
    QString body;           // plain text, escaped on the way (bodyText)
    QStringList actions;    // key, label, key, label, ...
    bool soundless = false; // the program plays its own sound
    int expireMs = 0;       // 0: stays until the user closes it
};

class DesktopNotifications final : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifications(const QDBusConnection &bus, QObject *parent = nullptr);

    // Shows `n`; `done` gets the server's id for it, or nothing when the
    // server refused it, is missing or did not answer within `limitMs`.
    // `done` is not called once `context` has gone.
    void notify(const DesktopNotification &n, int limitMs, QObject *context,
                std::function<void(std::optional<uint>)> done);
    // Withdraws a notification, without waiting.
    void close(uint id);
    // The same, waiting for the server up to `limitMs`: for the end of the
    // run, when no event loop runs any more to send it later.
    void closeNow(uint id, int limitMs);

    // `text` as a notification's body: servers may read a body as markup,
    // so '&', '<' and '>' go as entities and show as themselves.
    static QString bodyText(const QString &text);

signals:
    void actionInvoked(uint id, const QString &key);
    void closed(uint id, uint reason);

private slots:
    void onActionInvoked(uint id, const QString &key) { emit actionInvoked(id, key); }
    void onClosed(uint id, uint reason) { emit closed(id, reason); }

private:
    QDBusConnection m_bus;
};

} // namespace lckb
