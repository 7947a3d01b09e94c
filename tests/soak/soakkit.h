#pragma once
// Shared pieces of the reliability tests: reminder replies written line by
// line, and a watch on every top-level window that appears.
#include "bulletinserver.h"
#include "form2.h"

#include <QApplication>
#include <QEvent>
#include <QMessageBox>
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

// Pop-ups on screen now.
inline QList<lckb::Form2 *> visiblePopups()
{
    QList<lckb::Form2 *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = qobject_cast<lckb::Form2 *>(w); p && p->isVisible())
            out << p;
    return out;
}

// Pop-ups belong to no window: whatever a test leaves open outlives the
// application object and counts as a leak. Deletes them, shown or not.
inline void deletePopups()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<lckb::Form2 *>(w))
            delete w;
}

// Message boxes on screen now.
inline int visibleMessageBoxes()
{
    int n = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        n += qobject_cast<QMessageBox *>(w) && w->isVisible();
    return n;
}

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
