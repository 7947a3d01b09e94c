#pragma once
// Window geometry is laid out in twips, 1/1440 inch, and converted with the
// screen's logical DPI so the layout keeps its proportions on any screen.
#include <QtGlobal>

namespace lckb {

inline constexpr int kTwipsPerInch = 1440;

inline int twipsToPx(int twips, qreal dpi)
{
    return qRound(twips * dpi / kTwipsPerInch);
}

inline int pxToTwips(int px, qreal dpi)
{
    return dpi > 0 ? qRound(px * kTwipsPerInch / dpi) : px * 15;
}

} // namespace lckb
