#include "windows/bulletinpopup.h"

#include "app/twips.h"
#include "desktop/accessibility.h"
#include "desktop/windowhints.h"
#include "prefs/messagebox.h"
#include "prefs/screenunits.h"
#include "windows/mainlink.h"
#include "windows/openbulletin.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

namespace lckb {

const QString BulletinPopup::kCaption = QStringLiteral("有新信息，请注意查看！");
const QString BulletinPopup::kInvitation = QStringLiteral("有新信息，请点击查看！");

namespace {

// The title line: long titles first get a smaller font, down to a floor,
// then an ellipsis, so the whole line stays readable in the small window. The
// label's text stays the whole title; the window's tooltip shows it too.
class TitleLabel : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), palette().color(QPalette::Window));
        const QRect area = rect().intersected(parentWidget()->rect().translated(-pos())).adjusted(2, 0, -2, 0);
        QFont f = font();
        QFontMetrics fm(f);
        while (fm.horizontalAdvance(text()) > area.width() && f.pointSizeF() > 9.5) {
            f.setPointSizeF(f.pointSizeF() - 0.5);
            fm = QFontMetrics(f);
        }
        p.setFont(f);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(area, Qt::AlignCenter, fm.elidedText(text(), Qt::ElideMiddle, area.width()));
    }
};

} // namespace

BulletinPopup::BulletinPopup(MainLink &main, const Bulletin &bulletin, int sequence, int tickMs, QWidget *parent)
    : QWidget(parent)
    , m_main(main)
    , m_bulletin(bulletin)
    , m_sequence(sequence)
    , m_closeTicker(tickMs)
{
    // To a screen reader an alert, which it speaks as it appears: the
    // bulletin's title first, the caption and the invitation after. First
    // of all: a change of the window (its title) may already have made the
    // reader's view of it.
    exposeWindowsAs(staticMetaObject, QAccessible::AlertMessage, this);
    markAsAnnouncement(this);
    setAttribute(Qt::WA_DeleteOnClose);
    // The user is working in another program: announce, do not take the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(kCaption);
    setAccessibleName(bulletin.title);
    setCursor(Qt::PointingHandCursor);
    setFixedSize(twipsOn(this, 3450), twipsOn(this, 1530));

    m_title = new TitleLabel(u'>' + bulletin.title + u'<', this);
    m_title->setObjectName(QStringLiteral("titleLabel"));
    // The labels span the window's width, no more.
    placeTwips(m_title, 0, 360, 3450, 495);
    m_title->setTextFormat(Qt::PlainText); // a title is the server's data, never markup
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setFont(cjkFont({QStringLiteral("新宋体"), QStringLiteral("NSimSun")}, 14.25, true));
    m_title->setAutoFillBackground(true);
    m_title->setAccessibleName(bulletin.title);
    QPalette p1 = m_title->palette();
    p1.setColor(QPalette::WindowText, QColor(255, 0, 0));
    p1.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
    m_title->setPalette(p1);

    m_invitation = new QLabel(kInvitation, this);
    m_invitation->setObjectName(QStringLiteral("invitationLabel"));
    placeTwips(m_invitation, 0, 960, 3450, 255);
    m_invitation->setTextFormat(Qt::PlainText);
    m_invitation->setAlignment(Qt::AlignCenter);
    m_invitation->setFont(cjkFont({QStringLiteral("宋体"), QStringLiteral("SimSun")}, 12));
    m_invitation->setAccessibleName(m_invitation->text());

    m_title->installEventFilter(this);
    m_invitation->installEventFilter(this);

    // A tooltip is shown as rich text whenever it looks like markup; the
    // server's text is escaped so it always shows as the characters it is.
    const QString tip = bulletin.group.isEmpty() ? bulletin.title : bulletin.group + QStringLiteral("：") + bulletin.title;
    setToolTip(QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(tip.toHtmlEscaped()));
    setAccessibleDescription(kCaption + u' ' + bulletin.group + u' ' + kInvitation);

    place();
    setWindowState(Qt::WindowNoState);
    connect(&m_closeTicker, &AwakeTicker::ticked, this, [this] {
        if (++m_ticks == 3)
            close();
    });
    m_closeTicker.start();
}

QPoint BulletinPopup::bottomRightPlace(const QRect &screen, const QSize &outer, qreal dpi)
{
    return QPoint(screen.right() + 1 - outer.width() - twipsToPx(50, dpi),
                  screen.bottom() + 1 - outer.height() - twipsToPx(500, dpi));
}

void BulletinPopup::place()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return;
    // The outer size counts the frame. Before the window manager has framed
    // the window it is the bare window's size, and moveEvent places the
    // window again once the frame is there. move() places the frame's corner.
    // The corner is the screen's; a panel there (a tall one at the bottom,
    // one on the right) moves the pop-up off it, never under it. The panels
    // are those of this monitor: Qt's own work area is the whole screen as
    // soon as there is a second one.
    const QSize outer = frameGeometry().size();
    move(keepInWorkArea(bottomRightPlace(s->geometry(), outer, s->logicalDotsPerInchX()), outer, workAreaOf(s)));
}

void BulletinPopup::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The pop-up does not take the focus, so tell screen readers about it.
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    QTimer::singleShot(0, this, [this] { place(); });
}

void BulletinPopup::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    // Framing moves the window inside its new frame: the first move with a
    // frame is when the outer size is known.
    if (!m_placedInFrame && isVisible() && frameGeometry().size() != size()) {
        m_placedInFrame = true;
        place();
    }
}

bool BulletinPopup::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == m_title || watched == m_invitation) && event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && static_cast<QWidget *>(watched)->rect().contains(me->position().toPoint())) {
            open();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void BulletinPopup::open()
{
    if (m_opening)
        return;
    m_opening = true;
    QPointer<BulletinPopup> self(this);
    openBulletin(m_main, m_bulletin.url, [self] {
        if (self)
            self->close();
    });
}

} // namespace lckb
