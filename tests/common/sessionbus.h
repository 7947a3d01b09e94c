#pragma once
// A private session bus for tests that talk to desktop services: a
// dbus-daemon of its own, with no services to start on demand, so only what
// the test puts on it answers. It stops with the object.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

namespace testkit {

class SessionBus
{
public:
    SessionBus()
    {
        if (!m_dir.isValid())
            return;
        const QString conf = m_dir.filePath(QStringLiteral("bus.conf"));
        QFile f(conf);
        if (!f.open(QIODevice::WriteOnly))
            return;
        QTextStream(&f) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                           " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig><type>session</type><listen>unix:path="
                        << m_dir.filePath(QStringLiteral("bus"))
                        << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                           "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>\n";
        f.close();
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--config-file"), conf, QStringLiteral("--nofork"), QStringLiteral("--print-address")});
        if (!m_daemon.waitForStarted(5000))
            return;
        while (!m_daemon.canReadLine() && m_daemon.waitForReadyRead(5000)) {
        }
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    }
    ~SessionBus()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(3000))
                m_daemon.kill();
            m_daemon.waitForFinished(3000);
        }
    }
    bool ok() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }

private:
    // Named in ASCII: a bus address cannot carry the application's Chinese name.
    QTemporaryDir m_dir{QDir::tempPath() + QStringLiteral("/lckb-bus-XXXXXX")};
    QProcess m_daemon;
    QString m_address;
};

} // namespace testkit
