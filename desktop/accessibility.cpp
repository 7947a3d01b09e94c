#include "desktop/accessibility.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QHash>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace lckb {

namespace {

QHash<QString, QAccessible::Role> &roles()
{
    static QHash<QString, QAccessible::Role> byClass;
    return byClass;
}

// The application as a reader walks it: its visible windows only.
class VisibleWindowsApplication final : public QAccessibleApplication
{
public:
    int childCount() const override { return int(windows().size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QObjectList list = windows();
        return index >= 0 && index < list.size() ? QAccessible::queryAccessibleInterface(list.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child ? int(windows().indexOf(child->object())) : -1;
    }

private:
    static QObjectList windows()
    {
        QObjectList list;
        for (QWindow *w : QGuiApplication::topLevelWindows()) {
            if (!w->isVisible() || w->type() == Qt::Popup || w->type() == Qt::Desktop)
                continue;
            if (QAccessibleInterface *root = w->accessibleRoot())
                if (QObject *o = root->object())
                    list << o;
        }
        return list;
    }
};

QAccessibleInterface *factory(const QString &key, QObject *object)
{
    if (object == qApp)
        return new VisibleWindowsApplication;
    const auto it = roles().constFind(key);
    if (it != roles().constEnd() && object && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), *it);
    return nullptr;
}

} // namespace

void exposeWindowsAs(const QMetaObject &cls, QAccessible::Role role, QWidget *window)
{
    installAccessibility();
    roles().insert(QString::fromLatin1(cls.className()), role);
    // Qt may have made it already, on a change in its own constructor.
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(window); made && made->role() != role)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

void installAccessibility()
{
    static bool installed = false;
    if (std::exchange(installed, true))
        return;
    QAccessible::installFactory(factory);
}

} // namespace lckb
