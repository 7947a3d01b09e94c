// lckb-notifyd: a desktop notification server for scripts. `serve` owns
// org.freedesktop.Notifications and logs every call and signal as a JSON
// line; the other commands list what is on screen and act on it the way a
// user would (press an action, dismiss). Notifications never expire by
// themselves here, so that a script decides when they go.
#include "dbusjson.h"
#include "standin.h"

#include <QCoreApplication>
#include <QDBusContext>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>

namespace lckb::standins {

namespace {

const char *const kProgram = "lckb-notifyd";
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kControlPath = QStringLiteral("/org/lckb/NotificationsControl");
const QString kControlInterface = QStringLiteral("org.lckb.NotificationsControl");

// Reasons of NotificationClosed.
enum Reason : uint { Expired = 1, Dismissed = 2, ClosedByCall = 3 };

} // namespace

class Notifications : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    explicit Notifications(EventLog &log) : m_log(log) {}

    // Open notifications, oldest first.
    QJsonArray open() const
    {
        QJsonArray out;
        for (const QJsonObject &n : m_open)
            out.append(n);
        return out;
    }

    // A user's press on an action: ActionInvoked, then the notification
    // closes as dismissed, unless it asked to stay ("resident").
    bool invoke(uint id, const QString &key)
    {
        if (!m_open.contains(id))
            return false;
        logSignal(QStringLiteral("ActionInvoked"), id, {{QStringLiteral("action"), key}});
        emit ActionInvoked(id, key);
        if (!m_open.value(id).value(QStringLiteral("hints")).toObject().value(QStringLiteral("resident")).toBool())
            close(id, Dismissed);
        return true;
    }

    bool close(uint id, uint reason)
    {
        if (!m_open.remove(id))
            return false;
        logSignal(QStringLiteral("NotificationClosed"), id, {{QStringLiteral("reason"), double(reason)}});
        emit NotificationClosed(id, reason);
        return true;
    }

public slots:
    uint Notify(const QString &appName, uint replacesId, const QString &appIcon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int expireTimeout)
    {
        const uint id = (replacesId && m_open.contains(replacesId)) ? replacesId : ++m_lastId;
        QJsonObject n{{QStringLiteral("id"), double(id)},
                      {QStringLiteral("app_name"), appName},
                      {QStringLiteral("replaces_id"), double(replacesId)},
                      {QStringLiteral("app_icon"), appIcon},
                      {QStringLiteral("summary"), summary},
                      {QStringLiteral("body"), body},
                      {QStringLiteral("actions"), QJsonArray::fromStringList(actions)},
                      {QStringLiteral("hints"), toJson(hints)},
                      {QStringLiteral("expire_timeout"), expireTimeout},
                      {QStringLiteral("sender"), message().service()}};
        m_open.insert(id, n);
        n.insert(QStringLiteral("call"), QStringLiteral("Notify"));
        n.insert(QStringLiteral("open"), double(m_open.size()));
        m_log.write(n);
        return id;
    }

    void CloseNotification(uint id)
    {
        const bool known = m_open.contains(id);
        m_log.write({{QStringLiteral("call"), QStringLiteral("CloseNotification")},
                     {QStringLiteral("id"), double(id)},
                     {QStringLiteral("known"), known},
                     {QStringLiteral("sender"), message().service()}});
        close(id, ClosedByCall);
    }

    QStringList GetCapabilities()
    {
        m_log.write({{QStringLiteral("call"), QStringLiteral("GetCapabilities")},
                     {QStringLiteral("sender"), message().service()}});
        return {QStringLiteral("body"), QStringLiteral("actions")};
    }

    QString GetServerInformation(QString &vendor, QString &version, QString &specVersion)
    {
        m_log.write({{QStringLiteral("call"), QStringLiteral("GetServerInformation")},
                     {QStringLiteral("sender"), message().service()}});
        vendor = QStringLiteral("lckb");
        version = QStringLiteral(LCKB_VERSION);
        specVersion = QStringLiteral("1.2");
        return QString::fromLatin1(kProgram);
    }

signals:
    void NotificationClosed(uint id, uint reason);
    void ActionInvoked(uint id, const QString &actionKey);

private:
    void logSignal(const QString &name, uint id, QJsonObject extra)
    {
        extra.insert(QStringLiteral("signal"), name);
        extra.insert(QStringLiteral("id"), double(id));
        m_log.write(extra);
    }

    EventLog &m_log;
    QMap<uint, QJsonObject> m_open;
    uint m_lastId = 0;
};

// What the client commands call, on a path of its own beside the server's.
class Control : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.lckb.NotificationsControl")

public:
    explicit Control(Notifications &n) : m_n(n) {}

public slots:
    QString List() { return QString::fromUtf8(compact(m_n.open())); }
    bool Invoke(uint id, const QString &key) { return m_n.invoke(id, key); }
    bool Dismiss(uint id) { return m_n.close(id, Dismissed); }
    bool Expire(uint id) { return m_n.close(id, Expired); }

private:
    Notifications &m_n;
};

namespace {

int serve(const QString &logPath)
{
    EventLog log;
    if (!log.open(logPath))
        return failWith(kProgram, QStringLiteral("cannot write %1").arg(logPath));
    QDBusConnection bus = QDBusConnection::sessionBus();
    Notifications server(log);
    Control control(server);
    if (!bus.registerObject(kPath, &server, QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals)
        || !bus.registerObject(kControlPath, &control, QDBusConnection::ExportAllSlots))
        return failWith(kProgram, QStringLiteral("cannot export the objects"));
    if (!claimName(bus, kService, kProgram))
        return 1;
    log.write({{QStringLiteral("event"), QStringLiteral("ready")},
               {QStringLiteral("service"), kService},
               {QStringLiteral("bus"), bus.baseService()}});
    return QCoreApplication::exec();
}

QJsonArray listOpen(QString &error)
{
    const QDBusMessage r = callMethod(kService, kControlPath, kControlInterface, QStringLiteral("List"));
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        error = r.errorMessage();
        return {};
    }
    return QJsonDocument::fromJson(r.arguments().constFirst().toString().toUtf8()).array();
}

// "last" names the newest open notification.
bool resolveId(const QString &text, uint &id)
{
    if (text != QLatin1String("last")) {
        bool ok = false;
        id = text.toUInt(&ok);
        return ok;
    }
    QString error;
    const QJsonArray open = listOpen(error);
    if (open.isEmpty())
        return false;
    id = uint(open.last().toObject().value(QStringLiteral("id")).toDouble());
    return true;
}

int control(const QString &method, const QString &idText, const QString &key)
{
    uint id = 0;
    if (!resolveId(idText, id))
        return failWith(kProgram, QStringLiteral("no notification %1").arg(idText));
    QVariantList args{id};
    if (method == QLatin1String("Invoke"))
        args << key;
    const QDBusMessage r = callMethod(kService, kControlPath, kControlInterface, method, args);
    if (r.type() != QDBusMessage::ReplyMessage)
        return failWith(kProgram, r.errorMessage());
    if (!r.arguments().value(0).toBool())
        return failWith(kProgram, QStringLiteral("notification %1 is not open").arg(id));
    printJson(QJsonObject{{QStringLiteral("id"), double(id)}, {QStringLiteral("done"), method}});
    return 0;
}

} // namespace

} // namespace lckb::standins

int main(int argc, char **argv)
{
    using namespace lckb::standins;
    QCoreApplication app(argc, argv);
    QCommandLineParser cl;
    const QStringList args = parseCommandLine(cl, kProgram, QStringLiteral(
        "A desktop notification server on the session bus, for scripts.\n"
        "  serve              own org.freedesktop.Notifications; log calls and signals (JSON lines)\n"
        "  list               the open notifications, oldest first (JSON array)\n"
        "  invoke ID [KEY]    press action KEY (default \"default\") of notification ID (or \"last\")\n"
        "  dismiss ID         close it as the user would (NotificationClosed reason 2)\n"
        "  expire ID          close it as timed out (reason 1)"));
    const QString command = args.value(0);
    if (command == QLatin1String("serve"))
        return serve(logPath(cl));
    if (command == QLatin1String("list")) {
        QString error;
        const QJsonArray open = listOpen(error);
        if (!error.isEmpty())
            return failWith(kProgram, error);
        printJson(open);
        return 0;
    }
    if (command == QLatin1String("invoke") && args.size() >= 2)
        return control(QStringLiteral("Invoke"), args.at(1), args.value(2, QStringLiteral("default")));
    if (command == QLatin1String("dismiss") && args.size() == 2)
        return control(QStringLiteral("Dismiss"), args.at(1), {});
    if (command == QLatin1String("expire") && args.size() == 2)
        return control(QStringLiteral("Expire"), args.at(1), {});
    cl.showHelp(2);
}

#include "notifyd.moc"
