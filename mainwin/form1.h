#pragma once
// Form1: the main window. It embeds the service page, carries the line
// buttons and the preference boxes, owns the tray icon, and hosts the
// reminder engine: the poll, the pop-ups, the sounds and the running limit.
#include "alerts.h"
#include "mainlink.h"
#include "tixing.h"

#include <QDateTime>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QWebEngineView;

namespace lckb {

class ChannelDialog;
class NewWindowRouter;
class Form3;
class Preferences;
class RunningLimit;
class SilentPage;
class SoundPlayer;
class Tray;
struct Session;

class Form1 : public QWidget, public MainLink, public AlertHost, public PollSwitches
{
    Q_OBJECT
public:
    static const QString kCaption;
    static const QString kSwitchLineQuestion;

    // `player`: where sounds go (the system's audio output when null).
    explicit Form1(Session &session, SoundPlayer *player = nullptr, QWidget *parent = nullptr);
    ~Form1() override;

    // The load step: preferences, clean-up, timers, size and place, the
    // service page, the remembered login, the tray icon. Run once, before show.
    void Form_Load();

    // Public procedures of the main window.
    void config();                                                         // preferences into the boxes
    void ShowMsn(const QString &ZuName, const QString &Ziname, const QString &ZiUrl); // raise a pop-up
    void ClearTmp();                                                       // empty the "dat" folder
    void TiXing();                                                         // one reminder poll
    void PlayWavFile(const QString &strFileName, int PlayCount, int JianGe); // play a sound
    void HideMain();                                                       // hide to the tray

    // Public members the other parts read and write.
    int t() const;                    // busy counter of the poll
    std::optional<bool> &blnTemp();   // the preferences have been loaded
    QDateTime Start() const;          // start of the running time
    int EndTime() const;              // running limit in minutes

    // The quit commands.
    void Command2_Click();            // "关闭退出" on the window: remove the icon, close every window, end
    void mnuQuit_Click();             // "关闭退出" in the tray menu: remove the icon, end at once
    void mnuShow_Click();             // "显示程序": visible, then normal if minimised
    void trayLeftClick();             // visible, normal, focused
    // An end that comes from outside (session end, SIGTERM): close every window, end.
    void unloadFromOutside();

    // Controls, by their designer names.
    QLabel *Label2;                          // "线路选择："
    std::array<QRadioButton *, 5> Option1;   // line buttons; index 4 has no line and stays hidden
    QLabel *Label1;                          // "提醒设置："
    QCheckBox *Check1;                       // reminder switch
    QCheckBox *Check2, *Check3, *Check4;     // hidden boxes, stored only
    QCheckBox *shengyin;                     // sound switch
    QCheckBox *mima;                         // remember the login password
    QPushButton *Command2;                   // "关闭退出"
    QPushButton *Command1;                   // "推广设置", hidden
    QWebEngineView *WebBrowser1;             // the service page
    QTimer dl;                               // login fill, every 2 s

    SilentPage *page() const { return m_page; }
    Tray *tray() const { return m_tray.get(); }
    NewWindowRouter *router() const { return m_router; }
    ReminderPoll &poll() { return *m_poll; }
    Alerts &alerts() { return *m_alerts; }
    ChannelDialog &channels() { return *m_channels; }
    RunningLimit &runningLimit() { return *m_runLimit; }
    Form3 *savePasswordForm() const;
    void showSavePasswordForm();

    // MainLink
    Session &session() override { return m_session; }
    bool pageComplete() const override { return m_pageComplete; }
    void loadInFourthFrame(const QString &url, std::function<void(bool)> done) override;
    void fillLogin(std::function<void(const LoginFillResult &)> done) override;
    void restoreAndShow() override;

    // AlertHost
    bool mainWindowVisible() const override;
    bool mainWindowIsActive() const override;
    void minimizeMainWindow() override;
    QObject *createPopup(const PopupData &d) override;
    void showPopup(QObject *popup) override;
    void closePopup(QObject *popup) override;

    // PollSwitches
    bool reminderOn() override;
    bool soundOn() override;
    bool channelOn(int k) override;

    // The resize rule, in twips of the outer window size.
    static constexpr int kMinWidthTwips = 15360;
    static constexpr int kMinHeightTwips = 10680;
    qreal dpi() const;

signals:
    // The whole run is over (quit, running limit, end from outside).
    void ended();
    // A fill of the login timer ran; frames and fields set, for tests and logs.
    void loginFilled(const lckb::LoginFillResult &result);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void applyResizeRule();
    void setOuterSizeTwips(int widthTwips, int heightTwips);
    void centreOnScreen(QSize outer);
    QSize loadOuterSize() const;
    void onLineToggled(int index, bool checked);
    void selectLineButton(int index);
    void dlTick();
    void endRun();
    void unloadAll();

    Session &m_session;
    SilentPage *m_page = nullptr;
    std::unique_ptr<Tray> m_tray;
    std::unique_ptr<SoundPlayer> m_ownPlayer;
    SoundPlayer *m_player = nullptr;
    std::unique_ptr<Alerts> m_alerts;
    std::unique_ptr<ReminderPoll> m_poll;
    std::unique_ptr<RunningLimit> m_runLimit;
    std::unique_ptr<ChannelDialog> m_channels;
    std::unique_ptr<Preferences> m_prefs;
    NewWindowRouter *m_router = nullptr;
    QPointer<Form3> m_form3;
    QWidget *m_lineGroupHost = nullptr;
    bool blnLoading = false;      // the load step is running: line clicks are its own
    bool m_pageComplete = false;  // ReadyState 4
    bool m_fillPending = false;
    bool m_quitting = false;
    bool m_resizing = false;
    bool m_loaded = false;
    bool m_firstShow = true;
    bool m_tearingDown = false;   // the destructor runs: script callbacks do nothing
};

} // namespace lckb
