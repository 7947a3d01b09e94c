#pragma once
// What every window of the program needs to lay itself out as designed:
// the screen's DPI for converting twips, and Chinese fonts with fallbacks.
#include <QFont>
#include <QStringList>

class QWidget;

namespace lckb {

// The logical DPI of the screen `w` is on (the primary screen before it has
// one; 96 without any screen).
qreal screenDpi(const QWidget *w);

// A font preferring `preferred` (the families the windows were designed
// with), then whatever CJK font the system has, so Chinese text never shows
// as empty boxes.
QFont cjkFont(const QStringList &preferred, qreal pointSize, bool bold = false);

} // namespace lckb
