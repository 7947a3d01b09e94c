#pragma once
// A private X server for tests that check what the window system holds (the
// title in _NET_WM_NAME, frames, window types): Xvfb on a free display with
// openbox as window manager. Start it before the QApplication: it points
// DISPLAY and the Qt platform at itself. Everything it starts stops with it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QString>
#include <QThread>
#include <QWidget>

#include <memory>

namespace testkit {

class XServer
{
public:
    explicit XServer(const QString &screen = QStringLiteral("1280x800x24"))
    {
        // The server picks a free display itself and names it on standard
        // output: tests running side by side never meet on one display.
        auto x = std::make_unique<QProcess>();
        x->start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                           QStringLiteral("0"), screen, QStringLiteral("-nolisten"),
                                           QStringLiteral("tcp")});
        if (!x->waitForStarted(5000))
            return;
        while (!x->canReadLine() && x->waitForReadyRead(10000)) {
        }
        const QString number = QString::fromLatin1(x->readLine()).trimmed();
        if (number.isEmpty())
            return;
        m_xvfb = std::move(x);
        m_display = u':' + number;
        qputenv("DISPLAY", m_display.toLatin1());
        qputenv("QT_QPA_PLATFORM", "xcb");
        if (!QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty()) {
            m_wm = std::make_unique<QProcess>();
            m_wm->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            m_wm->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
            m_wm->waitForStarted(5000);
            // Until it has taken the screen, windows would be mapped without it.
            for (int i = 0; i < 100 && property(rootWindow(), "_NET_SUPPORTING_WM_CHECK").isEmpty(); ++i)
                QThread::msleep(50);
        }
    }
    ~XServer()
    {
        for (auto *p : {m_wm.get(), m_xvfb.get()}) {
            if (p && p->state() != QProcess::NotRunning) {
                p->terminate();
                if (!p->waitForFinished(3000))
                    p->kill();
                p->waitForFinished(3000);
            }
        }
    }
    bool ok() const { return !m_display.isEmpty(); }
    bool hasWindowManager() const { return m_wm && m_wm->state() == QProcess::Running; }
    QString display() const { return m_display; }

    static QString rootWindow() { return QStringLiteral("root"); }

    // The raw value of an X property of a window, as xprop prints it after
    // "=" or, for a window, after ":" (empty when the window has no such
    // property).
    static QString property(const QString &window, const char *name)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        p.setProcessEnvironment(env);
        QStringList args = window == rootWindow() ? QStringList{QStringLiteral("-root")}
                                                  : QStringList{QStringLiteral("-id"), window};
        args << QString::fromLatin1(name);
        p.start(QStringLiteral("xprop"), args);
        if (!p.waitForFinished(5000))
            return {};
        const QString out = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
        qsizetype at = out.indexOf(QStringLiteral(" = ")); // NAME(TYPE) = value
        if (at < 0 && (at = out.indexOf(QStringLiteral("): "))) >= 0 && !out.contains(u'\n'))
            return out.mid(at + 3); // NAME(WINDOW): window id # 0x...
        return at < 0 ? QString() : out.mid(at + 3);
    }
    static QString property(const QWidget *w, const char *name)
    {
        return property(QString::number(w->winId()), name);
    }
    // The window with the window manager's frame, in root coordinates, as
    // the X server holds it (xwininfo and _NET_FRAME_EXTENTS).
    static QRect outerGeometry(const QWidget *w)
    {
        QProcess p;
        p.start(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(w->winId())});
        if (!p.waitForFinished(5000))
            return {};
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        const auto value = [&out](const char *key) {
            const QRegularExpression re(QStringLiteral("^\\s*%1:\\s+(-?\\d+)$").arg(QLatin1String(key)),
                                        QRegularExpression::MultilineOption);
            return re.match(out).captured(1).toInt();
        };
        const QRect client(value("Absolute upper-left X"), value("Absolute upper-left Y"), value("Width"),
                           value("Height"));
        QList<int> e; // left, right, top, bottom
        static const QRegularExpression number(QStringLiteral("\\d+"));
        for (auto it = number.globalMatch(property(w, "_NET_FRAME_EXTENTS")); it.hasNext();)
            e << it.next().captured().toInt();
        if (e.size() != 4)
            return client;
        return client.adjusted(-e[0], -e[2], e[1], e[3]);
    }
    // A window's title as the window system shows it.
    static QString title(const QWidget *w)
    {
        const QString v = property(w, "_NET_WM_NAME");
        static const QRegularExpression quoted(QStringLiteral("^\"(.*)\"$"));
        const auto m = quoted.match(v);
        return m.hasMatch() ? m.captured(1) : QString();
    }

private:
    QString m_display;
    std::unique_ptr<QProcess> m_xvfb;
    std::unique_ptr<QProcess> m_wm;
};

} // namespace testkit
