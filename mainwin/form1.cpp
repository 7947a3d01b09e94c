#include "form1.h"

#include "appicon.h"
#include "browser.h"
#include "channeldialog.h"
#include "cleartmp.h"
#include "form2.h"
#include "form3.h"
#include "preferences.h"
#include "router.h"
#include "runlimit.h"
#include "screenunits.h"
#include "session.h"
#include "settings.h"
#include "sound.h"
#include "tray.h"
#include "twips.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineView>

namespace lckb {

const QString Form1::kCaption = QStringLiteral("澜策快报 LC6.1.1");
const QString Form1::kSwitchLineQuestion = QStringLiteral("确定要更换线路并重新登录吗？");


Form1::Form1(Session &session, SoundPlayer *player, QWidget *parent)
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
    m_player = player;

    buildControls();

    m_alerts = std::make_unique<Alerts>(*this, *m_player);
    m_poll = std::make_unique<ReminderPoll>(m_session, *this, *m_alerts);
    m_runLimit = std::make_unique<RunningLimit>(m_session.clock, m_session.intervals.runLimit);
    m_channels = std::make_unique<ChannelDialog>(m_session.iniPath());
    m_prefs = std::make_unique<Preferences>(m_session,
                                            MainBoxes{Check1, Check2, Check3, Check4, shengyin, mima},
                                            *m_channels, [this] { showSavePasswordForm(); });

    m_router = new NewWindowRouter(m_session.intervals.systemBrowserGap, this);

    connect(m_runLimit.get(), &RunningLimit::limitReached, this, [this] {
        // Ends without a message and without the window's closing steps; the
        // icon goes first so no dead icon stays in the tray.
        m_tray->remove();
        endRun();
    });
    connect(m_tray.get(), &Tray::leftClicked, this, &Form1::trayLeftClick);
    connect(m_tray->mnuShow, &QAction::triggered, this, &Form1::mnuShow_Click);
    connect(m_tray->mnuQuit, &QAction::triggered, this, &Form1::mnuQuit_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);

    dl.setInterval(m_session.intervals.loginFill);
    connect(&dl, &QTimer::timeout, this, &Form1::dlTick);
}

Form1::~Form1()
{
    // Pages go before the profile they belong to. Pop-ups and secondary
    // windows have no parent; the entry procedure deletes those still open.
    // Deleting the page runs its pending script callbacks at once: it goes
    // here, while this window is still whole, and the callbacks see that
    // it is going.
    m_tearingDown = true;
    delete WebBrowser1;
    WebBrowser1 = nullptr;
    delete m_page;
    m_page = nullptr;
    delete m_form3;
}

void Form1::buildControls()
{
    const qreal d = dpi();
    auto tw = [d](int twips) { return twipsToPx(twips, d); };
    // The top row was laid out for a 9-point font; where the system's font
    // needs more height, the control grows around the same middle line.
    auto place = [&](QWidget *w, int l, int t, int wd, int h) {
        const int hPx = qMax(tw(h), w->sizeHint().height());
        const int mid = tw(t) + tw(h) / 2;
        w->setGeometry(tw(l), mid - hPx / 2, tw(wd), hPx);
    };
    auto named = [](QWidget *w, const char *name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    Label2 = new QLabel(QStringLiteral("线路选择："), this);
    named(Label2, "Label2");
    place(Label2, 120, 120, 900, 180);

    auto *group = new QButtonGroup(this);
    const char *captions[5] = {"自动", "电信线路", "联通线路", "其它线路", "联通2"};
    const int geo[5][4] = {{960, 60, 795, 315}, {1800, 60, 1335, 315}, {3000, 60, 1335, 315},
                           {4200, 120, 1095, 180}, {3960, 1320, 855, 315}};
    for (int i = 0; i < 5; ++i) {
        Option1[size_t(i)] = new QRadioButton(QString::fromUtf8(captions[i]), this);
        Option1[size_t(i)]->setObjectName(QStringLiteral("Option1_%1").arg(i));
        Option1[size_t(i)]->setAccessibleName(Option1[size_t(i)]->text());
        place(Option1[size_t(i)], geo[i][0], geo[i][1], geo[i][2], geo[i][3]);
        group->addButton(Option1[size_t(i)], i);
    }
    // The fifth button has no server line behind it.
    Option1[4]->hide();
    Option1[4]->setEnabled(false);
    connect(group, &QButtonGroup::idToggled, this, &Form1::onLineToggled);

    Label1 = new QLabel(QStringLiteral("提醒设置："), this);
    named(Label1, "Label1");
    place(Label1, 5520, 120, 900, 300);

    auto box = [&](const char *name, const char *caption, bool checked, int l, int t, int w, int h) {
        auto *c = new QCheckBox(QString::fromUtf8(caption), this);
        named(c, name);
        c->setAccessibleName(c->text());
        c->setChecked(checked);
        place(c, l, t, w, h);
        return c;
    };
    Check1 = box("Check1", "右下角提示详细设置", true, 6480, 120, 2775, 180);
    Check1->setToolTip(QStringLiteral("开启/关闭提醒，点击弹出详细设置"));
    Check2 = box("Check2", "澜策宝系列", false, 8280, 120, 1275, 180);
    Check3 = box("Check3", "沛鑫VIP内参", false, 9000, 2160, 1815, 255);
    Check4 = box("Check4", "金名单", false, 11280, 2160, 1215, 255);
    for (QCheckBox *hidden : {Check2, Check3, Check4})
        hidden->hide();
    shengyin = box("shengyin", "声音总开/关", true, 9840, 120, 1335, 180);
    mima = box("mima", "记住登录密码", false, 12960, 60, 1455, 315);

    Command2 = new QPushButton(QStringLiteral("关闭退出"), this);
    named(Command2, "Command2");
    Command2->setAccessibleName(Command2->text());
    place(Command2, 14340, 60, 975, 315);
    Command1 = new QPushButton(QStringLiteral("推广设置"), this);
    named(Command1, "Command1");
    place(Command1, 13320, 960, 975, 315);
    Command1->hide();

    m_page = new SilentPage(this);
    WebBrowser1 = new QWebEngineView(this);
    named(WebBrowser1, "WebBrowser1");
    WebBrowser1->setPage(m_page);
    WebBrowser1->setGeometry(0, tw(400), tw(15500 - 140), tw(10680 - 900));
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_pageComplete = false; });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this] { m_pageComplete = true; });
}

qreal Form1::dpi() const
{
    return screenDpi(this);
}

void Form1::Form_Load()
{
    if (m_loaded)
        return;
    m_loaded = true;

    // 1. New-window requests of the service page come to the routing; the
    // browser never opens a window of its own.
    connect(m_page, &QWebEnginePage::newWindowRequested, m_router, &NewWindowRouter::route);
    // 2.
    blnLoading = true;
    // 3.
    config();
    ClearTmp();
    // 4., 5.
    m_poll->start();
    // 6., 7.
    setOuterSizeTwips(15500, pxToTwips(frameGeometry().height(), dpi()));
    setOuterSizeTwips(15500, 10400);
    centreOnScreen(loadOuterSize());
    // 8.
    selectLineButton(m_session.LineIndex);
    // 9. The page is silent by construction: its dialogs never show.
    WebBrowser1->load(QUrl(m_session.mainPageUrl()));
    // 10.
    m_session.strUser = ReadIni(QStringLiteral("mima"), QStringLiteral("user"), m_session.iniPath());
    m_session.strPass = ReadIni(QStringLiteral("mima"), QStringLiteral("pass"), m_session.iniPath());
    // 11.
    dl.start();
    // 12.
    m_prefs->blnTemp = true;
    m_runLimit->start();
    // 13.
    m_tray->add(m_session.intervals.trayRetry);
    // 14.
    blnLoading = false;
}

void Form1::config()
{
    m_prefs->config();
}

void Form1::ShowMsn(const QString &ZuName, const QString &Ziname, const QString &ZiUrl)
{
    m_alerts->ShowMsn(ZuName, Ziname, ZiUrl);
}

void Form1::ClearTmp()
{
    lckb::ClearTmp(m_session.appDir);
}

void Form1::TiXing()
{
    m_poll->TiXing();
}

void Form1::PlayWavFile(const QString &strFileName, int PlayCount, int JianGe)
{
    m_alerts->PlayWavFile(strFileName, PlayCount, JianGe);
}

int Form1::t() const
{
    return m_poll->t;
}

std::optional<bool> &Form1::blnTemp()
{
    return m_prefs->blnTemp;
}

QDateTime Form1::Start() const
{
    return m_runLimit->Start;
}

int Form1::EndTime() const
{
    return m_runLimit->EndTime;
}

// ---- size and place -------------------------------------------------------

void Form1::setOuterSizeTwips(int widthTwips, int heightTwips)
{
    const QSize extra = frameGeometry().size() - geometry().size();
    resize(twipsToPx(widthTwips, dpi()) - extra.width(), twipsToPx(heightTwips, dpi()) - extra.height());
}

QSize Form1::loadOuterSize() const
{
    // 15,500 x 10,400 twips, the height raised to the minimum.
    return QSize(twipsToPx(15500, dpi()), twipsToPx(qMax(10400, kMinHeightTwips), dpi()));
}

void Form1::centreOnScreen(QSize outer)
{
    const QScreen *s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect sg = s->geometry();
    // move() places the frame's top-left corner.
    move(sg.x() + (sg.width() - outer.width()) / 2, sg.y() + (sg.height() - outer.height()) / 2);
}

void Form1::applyResizeRule()
{
    if (m_resizing || isMinimized())
        return;
    const qreal d = dpi();
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
    auto tw = [d](int twips) { return twipsToPx(twips, d); };
    Command2->move(tw(W - 1100), Command2->y());
    Command1->move(tw(W - 2245), Command1->y());
    mima->move(tw(W - 3570), mima->y());
    WebBrowser1->setGeometry(0, tw(400), qMax(0, tw(W - 140)), qMax(0, tw(H - 900)));
}

void Form1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    applyResizeRule();
}

void Form1::showEvent(QShowEvent *event)
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

void Form1::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        applyResizeRule();
}

// ---- closing and quitting -------------------------------------------------

void Form1::HideMain()
{
    hide();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    // The user's close box only puts the program away; without a tray to
    // come back from, it goes to the task bar instead.
    event->ignore();
    if (m_tray->usable())
        HideMain();
    else
        showMinimized();
}

void Form1::unloadAll()
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

void Form1::endRun()
{
    dl.stop();
    m_poll->Timer1.stop();
    m_runLimit->Timer2.stop();
    emit ended();
}

void Form1::Command2_Click()
{
    m_tray->remove();
    unloadAll();
    endRun();
}

void Form1::mnuQuit_Click()
{
    m_tray->remove();
    endRun();
}

void Form1::unloadFromOutside()
{
    unloadAll();
    endRun();
}

void Form1::mnuShow_Click()
{
    if (isHidden())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
}

void Form1::trayLeftClick()
{
    if (isHidden())
        show();
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

// ---- the line switch ------------------------------------------------------

void Form1::selectLineButton(int index)
{
    const bool wasLoading = blnLoading;
    blnLoading = true;
    if (index >= 0 && index <= 3)
        Option1[size_t(index)]->setChecked(true);
    blnLoading = wasLoading;
}

void Form1::onLineToggled(int index, bool checked)
{
    if (!checked || blnLoading)
        return;
    if (index == validLineIndex(m_session.LineIndex) && index == m_session.LineIndex)
        return; // the line in use, selected again
    auto *box = new QMessageBox(QMessageBox::Question, kReminderTitle, kSwitchLineQuestion,
                                QMessageBox::Ok | QMessageBox::Cancel, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this, [this, box, index] {
        if (box->clickedButton() != box->button(QMessageBox::Ok)) {
            // Keep showing the line that is really in use.
            selectLineButton(m_session.LineIndex);
            return;
        }
        m_session.LineIndex = index;
        WriteIni(QStringLiteral("config"), QStringLiteral("xianlu"), QString::number(index), m_session.iniPath());
        WebBrowser1->load(QUrl(m_session.mainPageUrl()));
    });
    box->open();
}

// ---- the login fill -------------------------------------------------------

void Form1::dlTick()
{
    if (!mima->isChecked())
        return;
    if (m_session.strUser.isEmpty() || m_session.strPass.isEmpty())
        return;
    if (!m_pageComplete || m_fillPending)
        return;
    m_fillPending = true;
    fillLogin([this](const LoginFillResult &r) {
        m_fillPending = false;
        emit loginFilled(r);
    });
}

void Form1::fillLogin(std::function<void(const LoginFillResult &)> done)
{
    // The login goes only to the service: a page that a frame's script, a
    // redirect or a link moved the main window to gets nothing.
    const QString origin = webOrigin(QUrl(m_session.serverBase()));
    if (origin.isEmpty() || webOrigin(m_page->url()) != origin) {
        LoginFillResult r;
        r.error = QStringLiteral("origin");
        done(r);
        return;
    }
    // The isolated world keeps the page's own scripts from changing what
    // the routine sees; the DOM it fills is the page's.
    m_page->runJavaScript(loginFillScript(m_session.strUser, m_session.strPass, origin),
                          QWebEngineScript::ApplicationWorld,
                          [this, done = std::move(done)](const QVariant &v) {
                              if (!m_tearingDown)
                                  done(LoginFillResult::fromVariant(v));
                          });
}

void Form1::loadInFourthFrame(const QString &url, std::function<void(bool)> done)
{
    const QString js = QStringLiteral(R"JS((function (a) {
  try {
    if (window.frames.length < 4) return false;
    window.frames[3].location = a[0];
    return true;
  } catch (e) { return false; }
})(%1))JS")
                           .arg(QString::fromUtf8(QJsonDocument(QJsonArray{url}).toJson(QJsonDocument::Compact)));
    m_page->runJavaScript(js, QWebEngineScript::ApplicationWorld, [this, done = std::move(done)](const QVariant &v) {
        if (!m_tearingDown)
            done(v.toBool());
    });
}

void Form1::restoreAndShow()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

Form3 *Form1::savePasswordForm() const
{
    return m_form3;
}

void Form1::showSavePasswordForm()
{
    if (!m_form3)
        m_form3 = new Form3(*this);
    m_form3->show();
    m_form3->raise();
    m_form3->activateWindow();
}

// ---- alerts ---------------------------------------------------------------

bool Form1::mainWindowVisible() const
{
    return isVisible();
}

bool Form1::mainWindowIsActive() const
{
    return QApplication::activeWindow() == this;
}

void Form1::minimizeMainWindow()
{
    setWindowState(windowState() | Qt::WindowMinimized);
}

QObject *Form1::createPopup(const PopupData &d)
{
    auto *p = new Form2(*this, m_session.intervals.popupTick);
    p->setData(d.lblIndex, d.ZuName, d.Ziname, d.ZiUrl);
    return p;
}

void Form1::showPopup(QObject *popup)
{
    if (auto *w = qobject_cast<QWidget *>(popup))
        w->show();
}

void Form1::closePopup(QObject *popup)
{
    if (auto *w = qobject_cast<QWidget *>(popup))
        w->close();
}

bool Form1::reminderOn()
{
    return Check1->isChecked();
}

bool Form1::soundOn()
{
    return shengyin->isChecked();
}

bool Form1::channelOn(int k)
{
    return m_channels->channelOn(k);
}

} // namespace lckb
