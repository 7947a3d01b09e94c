#include "form2.h"

#include "mainlink.h"
#include "screenunits.h"
#include "startup.h"
#include "twips.h"

#include <QAccessible>
#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

namespace lckb {

const QString Form2::kCaption = QStringLiteral("有新信息，请注意查看！");
const QString Form2::kMainNotLoadedText = QStringLiteral("主窗口未正常加载，请尝试重启软件或检查网络！");

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

Form2::Form2(MainLink &main, int tickMs, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
    , m_main(main)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // The user is working in another program: announce, do not take the keyboard.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(kCaption);
    setAccessibleName(kCaption);
    setCursor(Qt::PointingHandCursor);

    const qreal dpi = screenDpi(this);
    auto tw = [dpi](int twips) { return twipsToPx(twips, dpi); };
    setFixedSize(tw(3450), tw(1530));

    Label1 = new TitleLabel(QStringLiteral("新信息"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(0, tw(360), tw(3735), tw(495));
    Label1->setTextFormat(Qt::PlainText); // a title is the server's data, never markup
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setFont(cjkFont({QStringLiteral("新宋体"), QStringLiteral("NSimSun")}, 14.25, true));
    Label1->setAutoFillBackground(true);
    QPalette p1 = Label1->palette();
    p1.setColor(QPalette::WindowText, QColor(255, 0, 0));
    p1.setColor(QPalette::Window, QApplication::palette("QMenu").color(QPalette::Window));
    Label1->setPalette(p1);

    Label2 = new QLabel(QStringLiteral("有新信息，请点击查看！"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(0, tw(960), tw(3735), tw(255));
    Label2->setTextFormat(Qt::PlainText);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setFont(cjkFont({QStringLiteral("宋体"), QStringLiteral("SimSun")}, 12));
    Label2->setAccessibleName(Label2->text());

    lblIndex = new QLabel(this);
    lblIndex->setObjectName(QStringLiteral("lblIndex"));
    lblIndex->setGeometry(tw(3120), tw(1320), tw(375), tw(255));
    lblIndex->hide();
    ZuNameTxT = new QLineEdit(this);
    ZuNameTxT->setObjectName(QStringLiteral("ZuNameTxT"));
    ZuNameTxT->setGeometry(0, 0, tw(2295), tw(375));
    ZuNameTxT->hide();
    ZiNameTxT = new QLineEdit(this);
    ZiNameTxT->setObjectName(QStringLiteral("ZiNameTxT"));
    ZiNameTxT->setGeometry(0, tw(480), tw(2295), tw(375));
    ZiNameTxT->hide();
    ZiUrlTxT = new QLineEdit(this);
    ZiUrlTxT->setObjectName(QStringLiteral("ZiUrlTxT"));
    ZiUrlTxT->setGeometry(0, tw(960), tw(1695), tw(375));
    ZiUrlTxT->hide();
    for (QLineEdit *e : {ZuNameTxT, ZiNameTxT, ZiUrlTxT})
        e->setMaxLength(32767);

    Label1->installEventFilter(this);
    Label2->installEventFilter(this);

    // Load step.
    lngTicks = 0;
    place();
    setWindowState(Qt::WindowNoState);
    connect(&Timer1, &QTimer::timeout, this, [this] {
        ++lngTicks;
        if (lngTicks == 3)
            close();
    });
    Timer1.start(tickMs);
}

void Form2::setData(int index, const QString &zuName, const QString &ziName, const QString &ziUrl)
{
    lblIndex->setText(QString::number(index));
    ZuNameTxT->setText(zuName);
    ZiNameTxT->setText(ziName);
    ZiUrlTxT->setText(ziUrl);
    Label1->setText(u'>' + ziName + u'<');
    Label1->setAccessibleName(ziName);
    // A tooltip is shown as rich text whenever it looks like markup; the
    // server's text is escaped so it always shows as the characters it is.
    const QString tip = zuName.isEmpty() ? ziName : zuName + QStringLiteral("：") + ziName;
    setToolTip(QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(tip.toHtmlEscaped()));
    setAccessibleDescription(zuName + u' ' + ziName);
}

QPoint Form2::bottomRightPlace(const QRect &screen, const QSize &outer, qreal dpi)
{
    return QPoint(screen.right() + 1 - outer.width() - twipsToPx(50, dpi),
                  screen.bottom() + 1 - outer.height() - twipsToPx(500, dpi));
}

void Form2::place()
{
    const QScreen *s = QGuiApplication::primaryScreen();
    if (!s)
        return;
    // The outer size counts the frame; before the first show it is not known
    // yet, and showEvent places the window again once it is.
    const QSize outer = frameGeometry().size();
    const QPoint at = bottomRightPlace(s->geometry(), outer, s->logicalDotsPerInchX());
    move(at + (pos() - frameGeometry().topLeft()));
}

void Form2::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The pop-up does not take the focus, so tell screen readers about it.
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    QTimer::singleShot(0, this, [this] { place(); });
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    if ((watched == Label1 || watched == Label2) && event->type() == QEvent::MouseButtonRelease) {
        auto *me = static_cast<QMouseEvent *>(event);
        if (me->button() == Qt::LeftButton && static_cast<QWidget *>(watched)->rect().contains(me->position().toPoint())) {
            Click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::Click()
{
    if (m_clicking)
        return;
    m_clicking = true;
    if (!m_main.pageComplete()) {
        // Still loading: no frame is touched and nothing is said.
        finishClick(true);
        return;
    }
    QPointer<Form2> self(this);
    MainLink *main = &m_main;
    main->loadInFourthFrame(ZiUrlTxT->text(), [self, main](bool ok) {
        if (self) {
            self->finishClick(ok);
            return;
        }
        // The pop-up closed itself meanwhile; the main window still comes forward.
        main->restoreAndShow();
    });
}

void Form2::finishClick(bool frameLoaded)
{
    MainLink *main = &m_main;
    QPointer<Form2> self(this);
    auto rest = [main, self] {
        main->restoreAndShow();
        if (self)
            self->close();
    };
    if (frameLoaded) {
        rest();
        return;
    }
    // Not a child of the pop-up: the pop-up may close itself while the
    // message is open, and the rest of the click must still happen.
    auto *box = new QMessageBox(QMessageBox::NoIcon, kAppTitle,
                                kMainNotLoadedText, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    QObject::connect(box, &QMessageBox::finished, box, rest);
    box->open();
}

} // namespace lckb
