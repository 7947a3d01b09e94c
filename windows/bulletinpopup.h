#pragma once
// The pop-up that announces one new bulletin in the bottom-right corner of
// the screen. It stays on top, shows the bulletin's title, and offers one
// action: a click on its text opens the bulletin in the main window. Left
// alone it closes itself on the third tick of its timer, counting only time
// the program ran: it is still there for the user after a sleep.
#include "reminder/alerts.h"
#include "reminder/awaketicker.h"

#include <QWidget>
#include <functional>

class QLabel;

namespace lckb {

class MainLink;

class BulletinPopup : public QWidget
{
    Q_OBJECT
public:
    // Every pop-up, and nothing else, bears this caption.
    static const QString kCaption;
    static const QString kInvitation; // "有新信息，请点击查看！"

    // Pop-up number `sequence`, placed and set to stay on top; `tickMs` is
    // its timer's interval.
    BulletinPopup(MainLink &main, const Bulletin &bulletin, int sequence, int tickMs, QWidget *parent = nullptr);

    const Bulletin &bulletin() const { return m_bulletin; }
    int sequence() const { return m_sequence; }
    // Its timer has closed it (or is closing it now).
    bool expired() const { return m_ticks >= 3; }

    // The click on its text: opens the bulletin in the main page's fourth
    // frame, brings the main window forward and closes the pop-up.
    void open();

    // Where the pop-up goes on a screen of the given full geometry (pixels),
    // for a window of the given outer size and logical DPI: 50 twips from the
    // right edge, 500 twips above the bottom edge.
    static QPoint bottomRightPlace(const QRect &screen, const QSize &outer, qreal dpi);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    void place();

    MainLink &m_main;
    const Bulletin m_bulletin;
    const int m_sequence;
    QLabel *m_title = nullptr;      // ">title<"
    QLabel *m_invitation = nullptr; // "有新信息，请点击查看！"
    AwakeTicker m_closeTicker;      // closes the pop-up on its third tick
    int m_ticks = 0;
    bool m_opening = false;
    bool m_placedInFrame = false; // placed again once the window manager framed it
};

} // namespace lckb
