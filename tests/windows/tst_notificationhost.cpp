// The alerts as desktop notifications, against a notification server of the
// test's own on a private session bus.
#include "app/session.h"
#include "desktop/notifications.h"
#include "windows/bulletinpopup.h"
#include "windows/mainlink.h"
#include "windows/notificationhost.h"
#include "sessionbus.h"
#include "testkit.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QTest>

using namespace lckb;

namespace {

// Records every call; notifications stay open until closed.
class FakeNotifications : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString method;
        uint id = 0;
        QStringList args; // app name, summary, body (Notify)
        QStringList actions;
        QVariantMap hints;
        int timeout = 0;
        int openBefore = 0; // notifications open when the call came
    };
    explicit FakeNotifications(const QDBusConnection &bus)
        : m_bus(bus)
    {
    }
    QList<Call> calls;
    QList<uint> open;

    QList<Call> of(const QString &method) const
    {
        QList<Call> out;
        for (const Call &c : calls)
            if (c.method == method)
                out << c;
        return out;
    }
    QStringList order() const
    {
        QStringList out;
        for (const Call &c : calls)
            out << c.method + u' ' + QString::number(c.id);
        return out;
    }
    void signal(const char *name, const QVariantList &args)
    {
        QDBusMessage s = QDBusMessage::createSignal(QStringLiteral("/org/freedesktop/Notifications"),
                                                    QStringLiteral("org.freedesktop.Notifications"),
                                                    QLatin1String(name));
        s.setArguments(args);
        m_bus.send(s);
    }
    void closeByUser(uint id)
    {
        open.removeAll(id);
        signal("NotificationClosed", {id, 2u});
    }

public slots:
    uint Notify(const QString &app, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int timeout)
    {
        calls << Call{QStringLiteral("Notify"), m_next, {app, summary, body}, actions, hints, timeout, int(open.size())};
        open << m_next;
        return m_next++;
    }
    void CloseNotification(uint id)
    {
        calls << Call{QStringLiteral("CloseNotification"), id, {}, {}, {}, 0, int(open.size())};
        if (open.removeAll(id))
            signal("NotificationClosed", {id, 3u});
    }

private:
    QDBusConnection m_bus;
    uint m_next = 7;
};

struct FakeMain : MainLink, AlertBackdrop
{
    Session s{QDir::tempPath() + u'/'};
    QStringList loaded;
    int restored = 0;
    Session &session() override { return s; }
    bool pageComplete() const override { return true; }
    void loadInFourthFrame(const QString &url, std::function<void(bool)> done) override
    {
        loaded << url;
        done(true);
    }
    void fillLogin(std::function<void(const LoginFillResult &)>) override {}
    void restoreAndShow() override { ++restored; }
    void stepAside() override {}
};

struct SilentPlayer : SoundPlayer
{
    void play(const QString &) override {}
};

QString address(int id)
{
    return QStringLiteral("http://127.0.0.1:9/nc/show.asp?id=%1").arg(id);
}

// The host has heard back from the server about every notification.
bool answered(const NotificationHost &host)
{
    return host.findChildren<QDBusPendingCallWatcher *>().isEmpty();
}

} // namespace

class TstNotificationHost : public QObject
{
    Q_OBJECT
private slots:
    void bulletinsAsNotifications();
    void withoutServerAPopupWindow();
};

void TstNotificationHost::bulletinsAsNotifications()
{
    testkit::SessionBus bus;
    QVERIFY(bus.ok());
    QDBusConnection serverBus = QDBusConnection::connectToBus(bus.address(), QStringLiteral("server"));
    FakeNotifications server(serverBus);
    QVERIFY(serverBus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server,
                                     QDBusConnection::ExportAllSlots));
    QVERIFY(serverBus.registerService(QStringLiteral("org.freedesktop.Notifications")));
    FakeMain main;
    SilentPlayer player;
    auto host = std::make_unique<NotificationHost>(main, 1000,
                                                   QDBusConnection::connectToBus(bus.address(), QStringLiteral("client")));
    Alerts alerts(*host, main, player);

    // Four bulletins, a poll apart: the fourth closes the first, so never
    // more than three are open.
    // The title is the summary, plain text by the protocol: it goes as the
    // server sent it, markup and entities shown as they are.
    const QString markup = QStringLiteral("R&D <b>标题4</b> &amp;");
    for (int i = 1; i <= 4; ++i) {
        alerts.announce({0, QStringLiteral("澜策公司"), i == 4 ? markup : QStringLiteral("标题%1").arg(i), address(i), {}});
        QTRY_COMPARE(server.of("Notify").size(), i);
        QTRY_VERIFY(answered(*host));
    }
    const auto notes = server.of("Notify");
    QCOMPARE(notes.first().args,
             (QStringList{QCoreApplication::applicationName(), QStringLiteral("标题1"), QStringLiteral("有新信息，请点击查看！")}));
    QVERIFY(notes.first().actions.size() % 2 == 0);
    QVERIFY(notes.first().actions.indexOf(QStringLiteral("default")) % 2 == 0);
    QCOMPARE(notes.first().hints.value("suppress-sound").toBool(), true); // the program's own sound rule
    QCOMPARE(notes.first().hints.value("desktop-entry").toString(), QStringLiteral("lckb"));
    QCOMPARE(notes.first().timeout, 3000); // three ticks, as a pop-up lives
    QCOMPARE(notes.at(3).args.at(1), markup);
    // A body may be read as markup: what it says goes as entities.
    QCOMPARE(DesktopNotifications::bodyText(QStringLiteral("<i>R&D</i>")), QStringLiteral("&lt;i&gt;R&amp;D&lt;/i&gt;"));
    QCOMPARE(server.order(),
             (QStringList{"Notify 7", "Notify 8", "Notify 9", "CloseNotification 7", "Notify 10"}));
    for (const auto &n : notes)
        QVERIFY(n.openBefore <= 2);
    QCOMPARE(alerts.openPopupSequences(), (QList<int>{2, 3, 4}));

    // Dismissed by the user: gone from the count.
    server.closeByUser(8);
    QTRY_COMPARE(alerts.openPopupSequences(), (QList<int>{3, 4}));

    // The default action does what a click on the pop-up does, then the
    // notification goes.
    server.signal("ActionInvoked", {10u, QStringLiteral("other")});
    server.signal("ActionInvoked", {10u, QStringLiteral("default")});
    QTRY_COMPARE(main.loaded, QStringList{address(4)});
    QCOMPARE(main.restored, 1);
    QTRY_COMPARE(server.open, QList<uint>{9});
    QTRY_COMPARE(alerts.openPopupSequences(), QList<int>{3});

    // Four at once: the first of them is closed before the server has named
    // it, and goes as soon as it has.
    for (int i = 5; i <= 8; ++i)
        alerts.announce({0, QStringLiteral("澜策公司"), QStringLiteral("标题%1").arg(i), address(i), {}});
    QTRY_COMPARE(server.open, (QList<uint>{12, 13, 14}));
    QTRY_COMPARE(host->findChildren<QObject *>(QString(), Qt::FindDirectChildrenOnly).size(), 3);
    QCOMPARE(alerts.openPopupSequences(), (QList<int>{6, 7, 8}));
    QCOMPARE(server.order().last(), QStringLiteral("CloseNotification 11"));

    // The program ends: what is still open goes with it.
    host.reset();
    QTRY_VERIFY(server.open.isEmpty());
}

void TstNotificationHost::withoutServerAPopupWindow()
{
    testkit::SessionBus bus;
    QVERIFY(bus.ok());
    FakeMain main;
    SilentPlayer player;
    NotificationHost host(main, 3600 * 1000, QDBusConnection::connectToBus(bus.address(), QStringLiteral("empty")));
    Alerts alerts(host, main, player);
    alerts.announce({0, QStringLiteral("澜策公司"), QStringLiteral("标题"), address(1), {}});
    QTRY_COMPARE(testkit::popups().size(), 1);
    BulletinPopup *p = testkit::popups().first();
    QCOMPARE(p->bulletin().title, QStringLiteral("标题"));
    QCOMPARE(alerts.openPopupSequences(), QList<int>{1});
    p->open();
    QCOMPARE(main.loaded, QStringList{address(1)});
    QTRY_VERIFY(testkit::popups().isEmpty());
    QTRY_VERIFY(alerts.openPopupSequences().isEmpty());
}

QTEST_MAIN(TstNotificationHost)
#include "tst_notificationhost.moc"
