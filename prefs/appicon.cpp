#include "prefs/appicon.h"

#include <QPainter>
#include <QPainterPath>

namespace lckb {

QImage appIconImage(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    // Tile.
    QLinearGradient bg(0, 0, 0, 64);
    bg.setColorAt(0, QColor(0xE5, 0x39, 0x35));
    bg.setColorAt(1, QColor(0xB7, 0x1C, 0x1C));
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);

    // Rising line of a quote chart.
    QPainterPath line;
    line.moveTo(10, 46);
    line.lineTo(24, 32);
    line.lineTo(33, 39);
    line.lineTo(52, 16);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(line);

    // The bulletin's bell dot.
    p.setPen(QPen(QColor(0xB7, 0x1C, 0x1C), 2));
    p.setBrush(QColor(0xFF, 0xD5, 0x4F));
    p.drawEllipse(QPointF(50, 48), 8, 8);
    return img;
}

namespace {

const int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QImage greyed(QImage img)
{
    // Premultiplied: a grey no brighter than its pixel's alpha stays valid.
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int g = qGray(line[x]);
            line[x] = qRgba(g, g, g, qAlpha(line[x]));
        }
    }
    return img;
}

} // namespace

QIcon appIcon(bool greyedOut)
{
    QIcon icon;
    for (int s : kIconSizes)
        icon.addPixmap(QPixmap::fromImage(greyedOut ? greyed(appIconImage(s)) : appIconImage(s)));
    return icon;
}

} // namespace lckb
