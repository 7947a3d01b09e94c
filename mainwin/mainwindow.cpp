#include "mainwin/mainwindow.h"

#include "app/session.h"
#include "app/twips.h"
#include "mainwin/lineswitch.h"
#include "mainwin/loginfill.h"
#include "mainwin/router.h"
#include "mainwin/tray.h"
#include "mainwin/traystatus.h"
#include "prefs/appicon.h"
#include "prefs/choiceboxes.h"
#include "prefs/screenunits.h"
#include "reminder/alerts.h"
#include "reminder/reminderpoll.h"
#include "reminder/runlimit.h"
#include "reminder/scratchfolder.h"
#include "reminder/sound.h"
#include "windows/browser.h"
#include "windows/popuphost.h"
#include "windows/saveloginform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace lckb {

const QString MainWindow::kCaption = QStringLiteral("澜策快报 LC6.1.1");

MainWindow::MainWindow(Session &session, SoundPlayer *player, QWidget *parent)
    : QWidget(parent)
    , m_session(session)
    , m_tray(std::make_unique<Tray>())
{
    setWindowTitle(kCaption);
    setWindowIcon(appIcon());
    setFont(cjkFont({QStringLiteral("宋体"), QStringLiteral("SimSun")}, 9));

    if (!player) {
        m_ownPlayer = std::make_unique<EffectPlayer>();
        player = m_ownPlayer.get();
    }

    buildControls();

    m_popups = makeAlertHost(*this, m_session.intervals.popupTick);
    m_alerts = std::make_unique<Alerts>(*m_popups, *player);
    m_poll = std::make_unique<ReminderPoll>(m_session, *m_alerts);
    m_runLimit = std::make_unique<RunLimit>(m_session.clock, m_session.intervals.runLimit);
    m_router = new NewWindowRouter(m_session.intervals.systemBrowserGap, this);
    new TrayStatus(*m_tray, *m_alerts, *m_poll, *this, this);

    connect(m_runLimit.get(), &RunLimit::limitReached, this, [this] {
        // Ends without a message and without the window's closing steps; the
        // icon goes first so no dead icon stays in the tray.
        m_tray->remove();
        endRun();
    });
    connect(m_tray.get(), &Tray::leftClicked, this, &MainWindow::showFromTrayIcon);
    connect(m_tray->showAction(), &QAction::triggered, this, &MainWindow::showFromTrayMenu);
    connect(m_tray->quitAction(), &QAction::triggered, this, &MainWindow::quitFromTray);
    connect(m_quitButton, &QPushButton::clicked, this, &MainWindow::quitFromWindow);
    connect(m_lineSwitch, &LineSwitch::lineChanged, this, [this] { m_pageView->load(QUrl(m_session.mainPageUrl())); });

    m_loginFill = new LoginFill(m_session, m_page, [this] { return m_pageComplete; }, this);
    connect(m_loginFill, &LoginFill::filled, this, &MainWindow::loginFilled);
    // Turned off, the page stops filling at once, not at the next tick.
    connect(m_choiceBoxes, &ChoiceBoxes::rememberLoginChanged, m_loginFill, &LoginFill::tick);
}

MainWindow::~MainWindow()
{
    // Pages go before the profile they belong to. Pop-ups and secondary
    // windows have no parent; the entry procedure deletes those still open.
    // Deleting the page runs its pending script callbacks at once: it goes
    // here, while this window is still whole, and the callbacks see that
    // it is going.
    m_tearingDown = true;
    m_loginFill->detach();
    delete m_pageView;
    m_pageView = nullptr;
    delete m_page;
    m_page = nullptr;
    delete m_saveLoginForm;
}

void MainWindow::buildControls()
{
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

    m_page = new SilentPage(this);
    m_pageView = new QWebEngineView(this);
    m_pageView->setObjectName(QStringLiteral("pageView"));
    m_pageView->setPage(m_page);
    m_pageView->setGeometry(0, twipsOn(this, 400), twipsOn(this, 15500 - 140), twipsOn(this, 10680 - 900));
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_pageComplete = false; });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this] { m_pageComplete = true; });
}

void MainWindow::load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    // New-window requests of the service page go to the routing; the
    // browser never opens a window of its own.
    connect(m_page, &QWebEnginePage::newWindowRequested, m_router, &NewWindowRouter::route);
    UserChoices &choices = m_session.choices;
    choices.load();
    m_choiceBoxes->showChoices();
    clearScratchFolder(m_session.dataDir());
    m_poll->start();
    setOuterSizeTwips(15500, pxToTwips(frameGeometry().height(), screenDpi(this)));
    setOuterSizeTwips(15500, 10400);
    centreOnScreen(loadOuterSize());
    m_lineSwitch->showLineInUse();
    // The page is silent by construction: its dialogs never show.
    m_pageView->load(QUrl(m_session.mainPageUrl()));
    choices.loadLogin();
    m_loginFill->start();
    choices.setChoicesLoaded(true);
    m_runLimit->start();
    m_tray->add(m_session.intervals.trayRetry);
}

// ---- size and place -------------------------------------------------------

void MainWindow::setOuterSizeTwips(int widthTwips, int heightTwips)
{
    const QSize extra = frameGeometry().size() - geometry().size();
    resize(twipsOn(this, widthTwips) - extra.width(), twipsOn(this, heightTwips) - extra.height());
}

QSize MainWindow::loadOuterSize() const
{
    // 15,500 x 10,400 twips, the height raised to the minimum.
    return QSize(twipsOn(this, 15500), twipsOn(this, qMax(10400, kMinHeightTwips)));
}

void MainWindow::centreOnScreen(QSize outer)
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect sg = s->geometry();
    // move() places the frame's top-left corner.
    move(sg.x() + (sg.width() - outer.width()) / 2, sg.y() + (sg.height() - outer.height()) / 2);
}

void MainWindow::applyResizeRule()
{
    if (m_resizing || isMinimized())
        return;
    const qreal d = screenDpi(this);
    const QSize extra = frameGeometry().size() - geometry().size();
    // The window manager keeps a normal window from being made smaller.
    setMinimumSize(twipsToPx(kMinWidthTwips, d) - extra.width(), twipsToPx(kMinHeightTwips, d) - extra.height());
    int W = pxToTwips(frameGeometry().width(), d);
    int H = pxToTwips(frameGeometry().height(), d);
    if (!isMaximized() && !isFullScreen() && (W < kMinWidthTwips || H < kMinHeightTwips)) {
        m_resizing = true;
        setOuterSizeTwips(qMax(W, kMinWidthTwips), qMax(H, kMinHeightTwips));
        m_resizing = false;
        W = pxToTwips(frameGeometry().width(), d);
        H = pxToTwips(frameGeometry().height(), d);
    }
    const auto tw = [d](int twips) { return twipsToPx(twips, d); };
    m_quitButton->move(tw(W - 1100), m_quitButton->y());
    m_promotionButton->move(tw(W - 2245), m_promotionButton->y());
    QWidget *remember = m_choiceBoxes->rememberLoginBox();
    remember->move(tw(W - 3570), remember->y());
    m_pageView->setGeometry(0, tw(400), qMax(0, tw(W - 140)), qMax(0, tw(H - 900)));
}

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyResizeRule();
}

void MainWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_firstShow || !m_loaded)
        return;
    m_firstShow = false;
    // The load step sized and centred the window before it had a frame; the
    // sizes count the frame, so once it is known, do it again.
    QTimer::singleShot(0, this, [this] {
        if (isMinimized() || isMaximized() || isFullScreen())
            return;
        setOuterSizeTwips(15500, 10400);
        centreOnScreen(loadOuterSize());
    });
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        applyResizeRule();
}

// ---- closing and quitting -------------------------------------------------

void MainWindow::hideToTray()
{
    hide();
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
    if (m_tray->usable())
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

void MainWindow::endRun()
{
    m_loginFill->stop();
    m_poll->stop();
    m_runLimit->stop();
    emit ended();
}

void MainWindow::quitFromWindow()
{
    m_tray->remove();
    closeAllWindows();
    endRun();
}

void MainWindow::quitFromTray()
{
    m_tray->remove();
    endRun();
}

void MainWindow::endFromOutside()
{
    closeAllWindows();
    endRun();
}

void MainWindow::showFromTrayMenu()
{
    if (isHidden())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void MainWindow::showFromTrayIcon()
{
    showFromTrayMenu();
    raise();
    activateWindow();
}

// ---- the service page -----------------------------------------------------

void MainWindow::fillLogin(std::function<void(const LoginFillResult &)> done)
{
    m_loginFill->fillOnce(std::move(done));
}

void MainWindow::loadInFourthFrame(const QString &url, std::function<void(bool)> done)
{
    m_page->runJavaScript(frameNavigationScript(url), QWebEngineScript::ApplicationWorld,
                          [this, done = std::move(done)](const QVariant &v) {
                              if (!m_tearingDown)
                                  done(v.toBool());
                          });
}

void MainWindow::restoreAndShow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

SaveLoginForm *MainWindow::saveLoginForm() const
{
    return m_saveLoginForm;
}

void MainWindow::showSaveLoginForm()
{
    if (!m_saveLoginForm)
        m_saveLoginForm = new SaveLoginForm(*this);
    m_saveLoginForm->show();
    m_saveLoginForm->raise();
    m_saveLoginForm->activateWindow();
}

bool MainWindow::mainWindowVisible() const
{
    return isVisible();
}

bool MainWindow::mainWindowIsActive() const
{
    return QApplication::activeWindow() == this;
}

void MainWindow::minimizeMainWindow()
{
    setWindowState(windowState() | Qt::WindowMinimized);
}

} // namespace lckb
