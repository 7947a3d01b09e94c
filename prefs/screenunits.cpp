#include "screenunits.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace lckb {

qreal screenDpi(const QWidget *w)
{
    const QScreen *s = (w && w->screen()) ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}

QFont cjkFont(const QStringList &preferred, qreal pointSize, bool bold)
{
    QFont f;
    f.setFamilies(preferred
                  + QStringList{QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                                QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Serif CJK SC")});
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    return f;
}

} // namespace lckb
