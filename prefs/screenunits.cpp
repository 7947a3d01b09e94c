#include "prefs/screenunits.h"

#include "app/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace lckb {

qreal screenDpi(const QWidget *w)
{
    const QScreen *s = (w && w->screen()) ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->logicalDotsPerInchX() : 96.0;
}

int twipsOn(const QWidget *w, int twips)
{
    return twipsToPx(twips, screenDpi(w));
}

void placeTwips(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(twipsOn(w, left), twipsOn(w, top), twipsOn(w, width), twipsOn(w, height));
}

void placeOnRow(QWidget *w, int left, int top, int width, int height)
{
    const int hPx = qMax(twipsOn(w, height), w->sizeHint().height());
    const int mid = twipsOn(w, top) + twipsOn(w, height) / 2;
    w->setGeometry(twipsOn(w, left), mid - hPx / 2, twipsOn(w, width), hPx);
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
