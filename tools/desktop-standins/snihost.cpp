// lckb-sni-host: a StatusNotifier tray for scripts. `serve` owns the watcher
// service a StatusNotifier desktop runs (KDE, DDE, GNOME with its extension)
// and logs what registers with it; the other commands read an item and its
// menu over D-Bus and press them, as a tray would on a user's click.
#include "dbusjson.h"
#include "standin.h"

#include <QCoreApplication>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>

namespace lckb::standins {

namespace {

const char *const kProgram = "lckb-sni-host";
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");
const QString kMenuInterface = QStringLiteral("com.canonical.dbusmenu");
const QString kDefaultItemPath = QStringLiteral("/StatusNotifierItem");

} // namespace

// The object at /StatusNotifierWatcher. Items are kept as "service/path",
// the way the desktops' own watchers list them.
class Watcher : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    Watcher(QDBusConnection bus, EventLog &log)
        : m_bus(bus)
        , m_log(log)
        , m_owners(QString(), bus, QDBusServiceWatcher::WatchForUnregistration)
    {
        connect(&m_owners, &QDBusServiceWatcher::serviceUnregistered, this, &Watcher::ownerGone);
    }

    QStringList registeredItems() const { return m_items; }
    bool hostRegistered() const { return true; } // this program is the host
    int protocolVersion() const { return 0; }

public slots:
    void RegisterStatusNotifierItem(const QString &serviceOrPath)
    {
        const QString sender = message().service();
        // An item names either its bus name (its object then sits at the
        // usual path) or only an object path on the caller's connection.
        QString service = serviceOrPath;
        QString path = kDefaultItemPath;
        if (serviceOrPath.startsWith(QLatin1Char('/'))) {
            service = sender;
            path = serviceOrPath;
        }
        const QString item = service + path;
        const bool known = m_items.contains(item);
        if (!known) {
            m_items.append(item);
            m_owners.addWatchedService(service);
        }
        m_log.write({{QStringLiteral("event"), QStringLiteral("RegisterStatusNotifierItem")},
                     {QStringLiteral("sender"), sender},
                     {QStringLiteral("arg"), serviceOrPath},
                     {QStringLiteral("item"), item},
                     {QStringLiteral("again"), known}});
        if (!known)
            emit StatusNotifierItemRegistered(item);
    }

    void RegisterStatusNotifierHost(const QString &service)
    {
        m_log.write({{QStringLiteral("event"), QStringLiteral("RegisterStatusNotifierHost")},
                     {QStringLiteral("sender"), message().service()},
                     {QStringLiteral("arg"), service}});
        emit StatusNotifierHostRegistered();
    }

signals:
    void StatusNotifierItemRegistered(const QString &item);
    void StatusNotifierItemUnregistered(const QString &item);
    void StatusNotifierHostRegistered();
    void StatusNotifierHostUnregistered();

private:
    void ownerGone(const QString &service)
    {
        m_owners.removeWatchedService(service);
        const QStringList items = m_items;
        for (const QString &item : items) {
            if (!item.startsWith(service + QLatin1Char('/')))
                continue;
            m_items.removeAll(item);
            m_log.write({{QStringLiteral("event"), QStringLiteral("ItemGone")}, {QStringLiteral("item"), item}});
            emit StatusNotifierItemUnregistered(item);
        }
    }

    QDBusConnection m_bus;
    EventLog &m_log;
    QDBusServiceWatcher m_owners;
    QStringList m_items;
};

namespace {

QStringList items()
{
    return getProperty(kWatcherService, kWatcherPath, kWatcherService, QStringLiteral("RegisteredStatusNotifierItems"))
        .toStringList();
}

// "service/path" into its two halves; a unique name (":1.7") holds no slash.
// GNOME's AppIndicator extension lists its items as "service@/path".
std::pair<QString, QString> splitItem(const QString &item)
{
    const qsizetype slash = item.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return {item, kDefaultItemPath};
    QString service = item.left(slash);
    if (service.endsWith(QLatin1Char('@')))
        service.chop(1);
    return {service, item.mid(slash)};
}

// The dbusmenu layout node [id, {properties}, [children as variants]] as
// {"id":..., properties..., "children":[...]}.
QJsonObject menuNode(const QJsonValue &node)
{
    const QJsonArray a = node.toArray();
    QJsonObject out = a.at(1).toObject();
    out.insert(QStringLiteral("id"), a.at(0));
    QJsonArray children;
    const QJsonArray raw = a.at(2).toArray();
    for (const QJsonValue &c : raw)
        children.append(menuNode(c));
    out.insert(QStringLiteral("children"), children);
    return out;
}

struct ItemRef
{
    QString item, service, path;
};

int pickItem(const QString &wanted, ItemRef &ref)
{
    const QStringList all = items();
    if (all.isEmpty())
        return failWith(kProgram, QStringLiteral("no item is registered"));
    ref.item = wanted.isEmpty() ? all.constLast() : wanted;
    if (!all.contains(ref.item))
        return failWith(kProgram, QStringLiteral("no item %1 (registered: %2)").arg(ref.item, all.join(u' ')));
    std::tie(ref.service, ref.path) = splitItem(ref.item);
    return 0;
}

// Fetches the whole menu the way a tray does before showing it: AboutToShow
// on the root, then the layout of every level.
bool readMenu(const ItemRef &ref, QString &menuPath, QJsonObject &root, QString &error)
{
    const QVariant m = getProperty(ref.service, ref.path, kItemInterface, QStringLiteral("Menu"), &error);
    if (!m.isValid())
        return false;
    menuPath = toJson(m).toString();
    callMethod(ref.service, menuPath, kMenuInterface, QStringLiteral("AboutToShow"), {0});
    const QDBusMessage r = callMethod(ref.service, menuPath, kMenuInterface, QStringLiteral("GetLayout"),
                                      {0, -1, QStringList()});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().size() < 2) {
        error = r.errorName() + QStringLiteral(": ") + r.errorMessage();
        return false;
    }
    root = menuNode(toJson(r.arguments().at(1)));
    root.insert(QStringLiteral("revision"), toJson(r.arguments().at(0)));
    return true;
}

// The labels as the user reads them: dbusmenu marks mnemonics with '_' ("__" is a literal one).
QString plainLabel(const QString &label)
{
    QString out;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label.at(i) == QLatin1Char('_')) {
            if (i + 1 < label.size() && label.at(i + 1) == QLatin1Char('_'))
                out += label.at(++i);
            continue;
        }
        out += label.at(i);
    }
    return out;
}

int findLabel(const QJsonObject &node, const QString &label)
{
    if (plainLabel(node.value(QStringLiteral("label")).toString()) == label)
        return node.value(QStringLiteral("id")).toInt();
    const QJsonArray children = node.value(QStringLiteral("children")).toArray();
    for (const QJsonValue &c : children) {
        const int id = findLabel(c.toObject(), label);
        if (id >= 0)
            return id;
    }
    return -1;
}

int serve(const QString &logPath)
{
    EventLog log;
    if (!log.open(logPath))
        return failWith(kProgram, QStringLiteral("cannot write %1").arg(logPath));
    QDBusConnection bus = QDBusConnection::sessionBus();
    Watcher watcher(bus, log);
    if (!bus.registerObject(kWatcherPath, &watcher,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals
                                | QDBusConnection::ExportAllProperties))
        return failWith(kProgram, QStringLiteral("cannot export %1").arg(kWatcherPath));
    if (!claimName(bus, kWatcherService, kProgram))
        return 1;
    // A host announces itself under a name of its own, as the desktops' trays do.
    const QString hostName = QStringLiteral("org.kde.StatusNotifierHost-%1").arg(QCoreApplication::applicationPid());
    if (!claimName(bus, hostName, kProgram))
        return 1;
    log.write({{QStringLiteral("event"), QStringLiteral("ready")},
               {QStringLiteral("service"), kWatcherService},
               {QStringLiteral("host"), hostName},
               {QStringLiteral("bus"), bus.baseService()}});
    return QCoreApplication::exec();
}

int waitItem(double timeoutS)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const QStringList all = items();
        if (!all.isEmpty()) {
            printJson(QJsonArray::fromStringList(all));
            return 0;
        }
        if (clock.elapsed() > timeoutS * 1000)
            return failWith(kProgram, QStringLiteral("no item registered within %1 s").arg(timeoutS));
        QThread::msleep(100);
    }
}

int dump(const QString &wanted)
{
    ItemRef ref;
    if (const int rc = pickItem(wanted, ref))
        return rc;
    const QDBusMessage r = callMethod(ref.service, ref.path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                      QStringLiteral("GetAll"), {kItemInterface});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty())
        return failWith(kProgram, QStringLiteral("GetAll on %1: %2").arg(ref.item, r.errorMessage()));
    QJsonObject out{{QStringLiteral("item"), ref.item},
                    {QStringLiteral("properties"), toJson(r.arguments().constFirst())}};
    QString menuPath, error;
    QJsonObject menu;
    if (readMenu(ref, menuPath, menu, error))
        out.insert(QStringLiteral("menu"), menu);
    else
        out.insert(QStringLiteral("menuError"), error);
    printJson(out);
    return 0;
}

int callItem(const QString &wanted, const QString &method, int x, int y)
{
    ItemRef ref;
    if (const int rc = pickItem(wanted, ref))
        return rc;
    const QDBusMessage r = callMethod(ref.service, ref.path, kItemInterface, method, {x, y});
    if (r.type() != QDBusMessage::ReplyMessage)
        return failWith(kProgram, QStringLiteral("%1 on %2: %3").arg(method, ref.item, r.errorMessage()));
    printJson(QJsonObject{{QStringLiteral("item"), ref.item}, {QStringLiteral("called"), method}});
    return 0;
}

int clickMenu(const QString &wanted, const QString &label)
{
    ItemRef ref;
    if (const int rc = pickItem(wanted, ref))
        return rc;
    QString menuPath, error;
    QJsonObject menu;
    if (!readMenu(ref, menuPath, menu, error))
        return failWith(kProgram, QStringLiteral("menu of %1: %2").arg(ref.item, error));
    const int id = findLabel(menu, label);
    if (id < 0)
        return failWith(kProgram, QStringLiteral("no menu entry \"%1\"").arg(label));
    const QDBusMessage r = callMethod(ref.service, menuPath, kMenuInterface, QStringLiteral("Event"),
                                      {id, QStringLiteral("clicked"), QVariant::fromValue(QDBusVariant(0)), 0u});
    if (r.type() != QDBusMessage::ReplyMessage)
        return failWith(kProgram, QStringLiteral("Event(%1, clicked): %2").arg(id).arg(r.errorMessage()));
    printJson(QJsonObject{{QStringLiteral("item"), ref.item}, {QStringLiteral("clicked"), id},
                          {QStringLiteral("label"), label}});
    return 0;
}

} // namespace

} // namespace lckb::standins

int main(int argc, char **argv)
{
    using namespace lckb::standins;
    QCoreApplication app(argc, argv);
    QCommandLineParser cl;
    const QCommandLineOption item(QStringLiteral("item"),
                                  QStringLiteral("The item (service/path); default: the latest registered."),
                                  QStringLiteral("item"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QStringLiteral("wait-item: give up after <s>."),
                                     QStringLiteral("s"), QStringLiteral("10"));
    const QStringList args = parseCommandLine(cl, kProgram, QStringLiteral(
        "A StatusNotifier tray on the session bus, for scripts.\n"
        "  serve               own org.kde.StatusNotifierWatcher; log registrations (JSON lines)\n"
        "  items               the registered items (JSON array)\n"
        "  wait-item           wait until an item is registered, then list them\n"
        "  dump                an item's properties and its whole menu (JSON)\n"
        "  activate [X Y]      Activate(x, y): the tray's left click\n"
        "  context-menu [X Y]  ContextMenu(x, y)\n"
        "  click-menu LABEL    press the menu entry reading LABEL"),
                                              {item, timeout});
    const QString command = args.value(0);
    const QString wanted = cl.value(item);
    if (command == QLatin1String("serve"))
        return serve(logPath(cl));
    if (command == QLatin1String("items")) {
        printJson(QJsonArray::fromStringList(items()));
        return 0;
    }
    if (command == QLatin1String("wait-item"))
        return waitItem(cl.value(timeout).toDouble());
    if (command == QLatin1String("dump"))
        return dump(wanted);
    if (command == QLatin1String("activate") || command == QLatin1String("context-menu"))
        return callItem(wanted, command == QLatin1String("activate") ? QStringLiteral("Activate")
                                                                       : QStringLiteral("ContextMenu"),
                        args.value(1, QStringLiteral("0")).toInt(), args.value(2, QStringLiteral("0")).toInt());
    if (command == QLatin1String("click-menu") && args.size() == 2)
        return clickMenu(wanted, args.at(1));
    cl.showHelp(2);
}

#include "snihost.moc"
