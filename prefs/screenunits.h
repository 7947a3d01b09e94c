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

// `twips` in pixels on the screen `w` is on.
int twipsOn(const QWidget *w, int twips);

// Places `w` in its parent at a rectangle given in twips.
void placeTwips(QWidget *w, int left, int top, int width, int height);
// The same for a control on a row of the main window. The rows of the
// main window were laid out for a 9-point font; where the system's font needs
// more height, the control grows around the same middle line.
void placeOnRow(QWidget *w, int left, int top, int width, int height);

// A font preferring `preferred` (the families the windows were designed
// with), then whatever CJK font the system has, so Chinese text never shows
// as empty boxes.
QFont cjkFont(const QStringList &preferred, qreal pointSize, bool bold = false);

} // namespace lckb
