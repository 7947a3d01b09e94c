#include "standin.h"

#include "dbusjson.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusVariant>
#include <cstdio>

namespace lckb::standins {

bool EventLog::open(const QString &path)
{
    if (path.isEmpty())
        return m_file.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void EventLog::write(QJsonObject event)
{
    event.insert(QStringLiteral("t"), timeNow());
    m_file.write(compact(event) + '\n');
    m_file.flush();
}

QStringList parseCommandLine(QCommandLineParser &cl, const char *program, const QString &description,
                             const QList<QCommandLineOption> &extra)
{
    QCoreApplication::setApplicationName(QString::fromLatin1(program));
    cl.setApplicationDescription(description);
    cl.addHelpOption();
    cl.addOption(QCommandLineOption(QStringLiteral("log"), QStringLiteral("serve: append the log to <file>."),
                                    QStringLiteral("file")));
    cl.addOptions(extra);
    cl.addPositionalArgument(QStringLiteral("command"), QStringLiteral("What to do (see above)."));
    cl.process(*QCoreApplication::instance());
    return cl.positionalArguments();
}

bool claimName(QDBusConnection &bus, const QString &name, const char *program)
{
    if (!bus.isConnected()) {
        failWith(program, QStringLiteral("no session bus: %1").arg(bus.lastError().message()));
        return false;
    }
    // No queueing and no replacement: a second stand-in on one bus is a mistake of the caller.
    const auto reply = bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        failWith(program, QStringLiteral("%1 is taken on this bus").arg(name));
        return false;
    }
    return true;
}

QDBusMessage callMethod(const QString &service, const QString &path, const QString &interface,
                        const QString &method, const QVariantList &args, int timeoutMs)
{
    QDBusMessage m = QDBusMessage::createMethodCall(service, path, interface, method);
    m.setArguments(args);
    return QDBusConnection::sessionBus().call(m, QDBus::Block, timeoutMs);
}

QVariant getProperty(const QString &service, const QString &path, const QString &interface,
                     const QString &name, QString *error)
{
    const QDBusMessage r = callMethod(service, path, QStringLiteral("org.freedesktop.DBus.Properties"),
                                      QStringLiteral("Get"), {interface, name});
    if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) {
        if (error)
            *error = r.errorName() + QStringLiteral(": ") + r.errorMessage();
        return {};
    }
    return r.arguments().constFirst().value<QDBusVariant>().variant();
}

void printJson(const QJsonValue &v)
{
    const QByteArray line = compact(v) + '\n';
    std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    std::fflush(stdout);
}

int failWith(const char *program, const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", program, message.toLocal8Bit().constData());
    return 1;
}

} // namespace lckb::standins
