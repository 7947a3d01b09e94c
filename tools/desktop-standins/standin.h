#pragma once
// What the two stand-ins share: their log, their command line, and the calls
// a client command makes on the session bus.
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFile>
#include <QJsonObject>
#include <QStringList>

namespace lckb::standins {

// One JSON object per line, flushed at once, so a script can follow the file
// while the service runs. Every line carries "t", the time of day.
class EventLog
{
public:
    // An empty path logs to standard output.
    bool open(const QString &path);
    void write(QJsonObject event);

private:
    QFile m_file;
};

// The command line of a stand-in called `program`: its help (`description`
// lists the commands), --log for serve, the options in `extra`, then the
// command and its arguments, which it returns. Exits on --help or a wrong option.
QStringList parseCommandLine(QCommandLineParser &cl, const char *program, const QString &description,
                             const QList<QCommandLineOption> &extra = {});
// Where serve appends its log, from the command line parsed above.
inline QString logPath(const QCommandLineParser &cl) { return cl.value(QStringLiteral("log")); }

// Owns `name` on the session bus, or explains on standard error why not.
bool claimName(QDBusConnection &bus, const QString &name, const char *program);

// A method call that waits for its reply (up to `timeoutMs`).
QDBusMessage callMethod(const QString &service, const QString &path, const QString &interface,
                        const QString &method, const QVariantList &args = {}, int timeoutMs = 5000);

// Properties.Get of one property; an invalid QVariant when the call fails
// (`error` then holds the D-Bus error text).
QVariant getProperty(const QString &service, const QString &path, const QString &interface,
                     const QString &name, QString *error = nullptr);

// Prints the value as one JSON line on standard output.
void printJson(const QJsonValue &v);

// Writes "PROGRAM: message" to standard error and returns 1.
int failWith(const char *program, const QString &message);

} // namespace lckb::standins
