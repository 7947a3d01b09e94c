#pragma once
// Shared pieces of the reliability tests: reminder replies written line by
// line, and a watch on every top-level window that appears.
#include "bulletinserver.h"

#include <QApplication>
#include <QEvent>
#include <QStringList>
#include <QWidget>

#include <functional>

namespace soak {

// The line of channel k announcing bulletin `id`, as the service writes it.
inline QString bulletinLine(int k, int id, const QString &title)
{
    return QStringLiteral("%1,%2,%3,/nc/show.asp?id=%1")
        .arg(id)
        .arg(title, QString::fromUtf8(lckb::sim::kChannelCaptions[k]));
}

// Eight lines, bulletins 100..107 unless replaced.
inline QStringList baseLines()
{
    QStringList l;
    for (int k = 0; k < 8; ++k)
        l << bulletinLine(k, 100 + k, QStringLiteral("第%1条快报").arg(k));
    return l;
}

inline QString joined(const QStringList &lines) { return lines.join(QStringLiteral("\r\n")); }

// Sees every top-level window that is shown, whoever shows it, even one that
// is closed again before the test looks.
class WindowWatch : public QObject
{
public:
    explicit WindowWatch(const QWidget *ignore = nullptr) : m_ignore(ignore) { qApp->installEventFilter(this); }
    ~WindowWatch() override { qApp->removeEventFilter(this); }

    // "Class|title" of each window shown, in order.
    QStringList shown;
    std::function<void(QWidget *)> onShow;
    std::function<void(QWidget *)> onHide;

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (e->type() == QEvent::Show && o->isWidgetType()) {
            auto *w = static_cast<QWidget *>(o);
            if (w->isWindow() && w != m_ignore) {
                shown << QString::fromLatin1(w->metaObject()->className()) + u'|' + w->windowTitle();
                if (onShow)
                    onShow(w);
            }
        } else if (e->type() == QEvent::Hide && o->isWidgetType() && static_cast<QWidget *>(o)->isWindow()) {
            if (onHide)
                onHide(static_cast<QWidget *>(o));
        }
        return false;
    }

private:
    const QWidget *m_ignore;
};

} // namespace soak
