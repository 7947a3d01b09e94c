#include "mainwin/mainwindow.h"

#include "app/session.h"
#include "app/twips.h"
#include "desktop/accessibility.h"
#include "desktop/windowhints.h"
#include "mainwin/lineswitch.h"
#include "prefs/appicon.h"
#include "prefs/channeldialog.h"
#include "prefs/choiceboxes.h"
#include "prefs/screenunits.h"
#include "windows/saveloginform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <utility>

namespace lckb {

const QString MainWindow::kCaption = QStringLiteral("澜策快报 LC" LCKB_VERSION);

MainWindow::MainWindow(Session &session, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_rest(session.clock, session.intervals.pageFreeze, session.intervals.pageDiscard)
{
    // A frame to screen readers, as top-level windows of other programs are.
    exposeWindowsAs(staticMetaObject, QAccessible::Window, this);
    setWindowTitle(kCaption);
    setWindowIcon(appIcon());
    setFont(cjkFont({QStringLiteral("宋体"), QStringLiteral("SimSun")}, 9));

    m_lineSwitch = new LineSwitch(m_session.choices, this);
    placeOnRow(new QLabel(QStringLiteral("提醒设置："), this), 5520, 120, 900, 300);
    m_choiceBoxes = new ChoiceBoxes(m_session.choices, this, [this] { showSaveLoginForm(); });

    m_quitButton = new QPushButton(QStringLiteral("关闭退出"), this);
    m_quitButton->setObjectName(QStringLiteral("quitButton"));
    m_quitButton->setAccessibleName(m_quitButton->text());
    placeOnRow(m_quitButton, 14340, 60, 975, 315);
    m_promotionButton = new QPushButton(QStringLiteral("推广设置"), this);
    m_promotionButton->setObjectName(QStringLiteral("promotionButton"));
    placeOnRow(m_promotionButton, 13320, 960, 975, 315);
    m_promotionButton->hide();

    // Started in the tray, the browser engine waits for the first opening.
    if (!m_session.startInTray)
        makePage();
    connect(m_quitButton, &QPushButton::clicked, this, &MainWindow::quitClicked);
    connect(m_choiceBoxes, &ChoiceBoxes::channelDialogClosed, this, &MainWindow::takeFocusBack);
    connect(m_lineSwitch, &LineSwitch::answered, this, &MainWindow::takeFocusBack);
    m_restTimer.setSingleShot(true);
    connect(&m_restTimer, &QTimer::timeout, this, &MainWindow::lookAtRest);
}

void MainWindow::makePage()
{
    if (m_pageView)
        return;
    m_pageView = new ServicePage(m_session, this);
    connect(m_pageView, &ServicePage::loginFilled, this, &MainWindow::loginFilled);
    connect(m_lineSwitch, &LineSwitch::lineChanged, m_pageView, &ServicePage::loadService);
    // Turned off, the page stops filling at once, not at the next tick.
    connect(m_choiceBoxes, &ChoiceBoxes::rememberLoginChanged, &m_pageView->loginFill(), &LoginFill::tick);
    // After the page's own handlers: it is complete when the bulletins go on.
    connect(m_pageView->silentPage(), &QWebEnginePage::loadFinished, this, [this] {
        const QList<std::function<void()>> waiting = std::exchange(m_awaitingPage, {});
        for (const auto &then : waiting)
            then();
    });
    if (m_loaded) {
        // Made after the load steps: the page's share of them now.
        m_pageView->setGeometry(m_pageRect);
        m_pageView->show();
        if (m_pageNotice)
            m_pageNotice->raise();
        m_pageView->loadService();
        m_pageView->loginFill().start();
    }
    emit pageMade(m_pageView->silentPage());
}

MainWindow::~MainWindow()
{
    // The page goes while this window is still whole, and the form with it.
    // Pop-ups and secondary windows have no parent; the program has their
    // owners delete those still open before this window.
    delete std::exchange(m_pageView, nullptr);
    delete m_saveLoginForm;
}

void MainWindow::load()
{
    if (m_loaded)
        return;
    m_loaded = true;
    UserChoices &choices = m_session.choices;
    choices.load();
    m_choiceBoxes->showChoices();
    setOuterSizeTwips(kLoadWidthTwips, kLoadHeightTwips);
    centreOnScreen();
    m_lineSwitch->showLineInUse();
    m_lineSwitch->focusLineInUse();
    if (m_pageView)
        m_pageView->loadService();
    choices.loadLogin();
    if (m_pageView)
        m_pageView->loginFill().start();
    choices.setChoicesLoaded(true);
}

QSize MainWindow::frameExtra()
{
    // Between two states a window manager may report no frame at all (an
    // empty frame geometry): sized from that, the window would grow by its
    // own size. The frame last seen whole counts instead.
    const QSize extra = frameGeometry().size() - geometry().size();
    if (extra.width() >= 0 && extra.height() >= 0)
        m_frameExtra = extra;
    return m_frameExtra;
}

void MainWindow::setOuterSizeTwips(int widthTwips, int heightTwips)
{
    const QSize extra = frameExtra();
    resize(twipsOn(this, widthTwips) - extra.width(), twipsOn(this, heightTwips) - extra.height());
}

void MainWindow::centreOnScreen()
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    // The load size, the height raised to the minimum.
    const QSize outer(twipsOn(this, kLoadWidthTwips), twipsOn(this, qMax(kLoadHeightTwips, kMinHeightTwips)));
    const QRect sg = s->geometry();
    // move() places the frame's top-left corner.
    move(sg.x() + (sg.width() - outer.width()) / 2, sg.y() + (sg.height() - outer.height()) / 2);
}

void MainWindow::applyResizeRule()
{
    if (m_resizing || isMinimized())
        return;
    const qreal d = screenDpi(this);
    const QSize extra = frameExtra();
    // The window manager keeps a normal window from being made smaller.
    setMinimumSize(twipsToPx(kMinWidthTwips, d) - extra.width(), twipsToPx(kMinHeightTwips, d) - extra.height());
    int W = pxToTwips(width() + extra.width(), d);
    int H = pxToTwips(height() + extra.height(), d);
    if (!isMaximized() && !isFullScreen() && (W < kMinWidthTwips || H < kMinHeightTwips)) {
        m_resizing = true;
        setOuterSizeTwips(qMax(W, kMinWidthTwips), qMax(H, kMinHeightTwips));
        m_resizing = false;
        W = pxToTwips(width() + extra.width(), d);
        H = pxToTwips(height() + extra.height(), d);
    }
    const auto tw = [d](int twips) { return twipsToPx(twips, d); };
    // The rule counts on a frame about 140 twips wide; inside a thicker one
    // (xfwm4's) 关闭退出 and the page would reach past the window's edge, so
    // they stop at it.
    m_quitButton->move(qMin(tw(W - 1100), width() - m_quitButton->width()), m_quitButton->y());
    m_promotionButton->move(tw(W - 2245), m_promotionButton->y());
    QWidget *remember = m_choiceBoxes->rememberLoginBox();
    remember->move(tw(W - 3570), remember->y());
    m_pageRect = QRect(0, tw(400), qBound(0, tw(W - 140), width()), qBound(0, tw(H - 900), height() - tw(400)));
    if (m_pageView)
        m_pageView->setGeometry(m_pageRect);
    if (m_pageNotice)
        m_pageNotice->setGeometry(m_pageRect);
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyResizeRule();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    lookAtRest();
    if (!m_firstShow || !m_loaded)
        return;
    m_firstShow = false;
    // The load step sized and centred the window before it had a frame; the
    // sizes count the frame, so once it is known, do it again. The window
    // manager tells the frame when it likes: looked at when it says so, when
    // framing moves the window and when it is activated.
    watchFrameExtents(this, [this] { sizeForLoadOnceFramed(); });
    QTimer::singleShot(0, this, [this] { sizeForLoadOnceFramed(); });
}

void MainWindow::moveEvent(QMoveEvent *event)
{
    QWidget::moveEvent(event);
    sizeForLoadOnceFramed();
}

void MainWindow::sizeForLoadOnceFramed()
{
    // Framing may pass through a frame smaller than the window: not a frame.
    const QSize extra = frameGeometry().size() - size();
    if (m_firstShow || m_framed || !isVisible() || extra.width() < 0 || extra.height() < 0 || extra.isNull())
        return;
    m_framed = true;
    if (isMinimized() || isMaximized() || isFullScreen())
        return;
    setOuterSizeTwips(kLoadWidthTwips, kLoadHeightTwips);
    centreOnScreen();
    // Laid out with the frame counted, as every later state change lays it
    // out: a window brought back from the tray comes back as it left.
    applyResizeRule();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        applyResizeRule();
        lookAtRest();
    } else if (event->type() == QEvent::ActivationChange) {
        sizeForLoadOnceFramed();
    }
}

void MainWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    lookAtRest();
}

void MainWindow::lookAtRest()
{
    if (m_quitting)
        return;
    const bool shown = isVisible() && !isMinimized();
    // Started in the tray, the first opening makes the page.
    if (shown)
        makePage();
    if (!m_pageView)
        return;
    m_rest.setShown(shown);
    // A question of the program's open anywhere: whatever it is about, the
    // page stays as the user left it until it is answered.
    bool asking = false;
    for (const QWidget *w : QApplication::topLevelWidgets())
        asking = asking || (w->isVisible() && qobject_cast<const QMessageBox *>(w));
    const bool held = asking || ownDialogOpen() || !m_awaitingPage.isEmpty() || (m_restHold && m_restHold());
    m_pageView->rest(m_rest.check(held));
    const int next = m_rest.nextCheckInMs();
    if (next >= 0)
        m_restTimer.start(next);
    else
        m_restTimer.stop();
}

void MainWindow::whenPageAwake(std::function<void()> then)
{
    // A page that is there (or only frozen) takes the bulletin at once.
    const bool ready = m_pageView && !m_pageView->discarded();
    makePage();
    m_rest.wake();
    m_pageView->rest(PageRest::State::Active);
    if (!ready)
        m_awaitingPage << std::move(then);
    lookAtRest();
    if (ready)
        then();
}

void MainWindow::fillLogin(std::function<void(const LoginFillResult &)> done)
{
    if (m_pageView)
        m_pageView->loginFill().fillOnce(std::move(done));
    else
        done(LoginFillResult());
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    // The user's close box only puts the program away; without a tray to
    // come back from, it goes to the task bar instead.
    event->ignore();
    if (m_trayUsable && m_trayUsable())
        hideToTray();
    else
        showMinimized();
}

void MainWindow::closeAllWindows()
{
    m_quitting = true;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (qsizetype i = windows.size() - 1; i >= 0; --i) {
        QWidget *w = windows.at(i);
        if (w && w != this && !w->isHidden())
            w->close();
    }
    close();
}

void MainWindow::showPageNotice(const QString &text)
{
    if (!m_pageNotice) {
        m_pageNotice = new QLabel(this);
        m_pageNotice->setObjectName(QStringLiteral("pageNotice"));
        m_pageNotice->setTextFormat(Qt::PlainText);
        m_pageNotice->setWordWrap(true);
        m_pageNotice->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_pageNotice->setMargin(twipsOn(this, 300));
        m_pageNotice->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_pageNotice->setAutoFillBackground(true);
        m_pageNotice->setBackgroundRole(QPalette::Base);
    }
    m_pageNotice->setText(text);
    m_pageNotice->setGeometry(m_pageRect);
    m_pageNotice->show();
    m_pageNotice->raise();
}

void MainWindow::showFromTrayMenu()
{
    if (isHidden())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void MainWindow::restoreAndShow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void MainWindow::showSaveLoginForm()
{
    if (!m_saveLoginForm) {
        m_saveLoginForm = new SaveLoginForm(*this);
        connect(m_saveLoginForm, &QObject::destroyed, this, &MainWindow::takeFocusBack);
    }
    m_saveLoginForm->show();
    m_saveLoginForm->raise();
    m_saveLoginForm->activateWindow();
}

void MainWindow::stepAside()
{
    // While one of the window's own dialogs is open the user works here, and
    // minimising the window would take the dialog along.
    if (isVisible() && QApplication::activeWindow() != this && !ownDialogOpen())
        setWindowState(windowState() | Qt::WindowMinimized);
}

bool MainWindow::ownDialogOpen() const
{
    const QWidget *channels = m_choiceBoxes->channelDialog();
    return m_lineSwitch->asking() || (channels && channels->isVisible())
           || (m_saveLoginForm && m_saveLoginForm->isVisible());
}

void MainWindow::takeFocusBack()
{
    // Window managers give the focus to whatever they like when a dialog
    // closes; left inactive, the window would step aside for the next bulletin.
    if (!m_quitting && isVisible() && !isMinimized()) {
        raise();
        activateWindow();
    }
}

} // namespace lckb
