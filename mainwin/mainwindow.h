#pragma once
// The main window. It embeds the service page, carries the line switch and
// the user's switches, owns the tray icon, and hosts the reminder engine:
// the poll, the pop-ups, the sounds and the running limit.
#include "windows/mainlink.h"

#include <QPointer>
#include <QWidget>
#include <memory>

class QPushButton;
class QWebEngineView;

namespace lckb {

class AlertHost;
class Alerts;
class ChoiceBoxes;
class LineSwitch;
class LoginFill;
class NewWindowRouter;
class ReminderPoll;
class RunLimit;
class SaveLoginForm;
class Session;
class SilentPage;
class SoundPlayer;
class Tray;

class MainWindow final : public QWidget, public MainLink
{
    Q_OBJECT
public:
    static const QString kCaption;

    // `player`: where sounds go (the system's audio output when null).
    explicit MainWindow(Session &session, SoundPlayer *player = nullptr, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The load steps: the user's choices, the clean-up of the scratch folder,
    // the poll, size and place, the service page, the remembered login, the
    // running limit, the tray icon. Run once, before show.
    void load();

    // Into the tray: the window hides, the program goes on.
    void hideToTray();
    // "关闭退出" on the window: remove the icon, close every window, end.
    void quitFromWindow();
    // "关闭退出" in the tray menu: remove the icon, end at once.
    void quitFromTray();
    // "显示程序": visible, then normal if minimised.
    void showFromTrayMenu();
    // The tray icon's left click: visible, normal, focused.
    void showFromTrayIcon();
    // An end that comes from outside (session end, SIGTERM): close every window, end.
    void endFromOutside();

    SilentPage *page() const { return m_page; }
    Tray *tray() const { return m_tray.get(); }
    NewWindowRouter *router() const { return m_router; }
    ReminderPoll &poll() { return *m_poll; }
    Alerts &alerts() { return *m_alerts; }
    RunLimit &runLimit() { return *m_runLimit; }
    ChoiceBoxes &choiceBoxes() { return *m_choiceBoxes; }
    SaveLoginForm *saveLoginForm() const;
    void showSaveLoginForm();

    // MainLink
    Session &session() override { return m_session; }
    bool pageComplete() const override { return m_pageComplete; }
    void loadInFourthFrame(const QString &url, std::function<void(bool)> done) override;
    void fillLogin(std::function<void(const LoginFillResult &)> done) override;
    void restoreAndShow() override;
    bool mainWindowVisible() const override;
    bool mainWindowIsActive() const override;
    void minimizeMainWindow() override;

    // The resize rule, in twips of the outer window size.
    static constexpr int kMinWidthTwips = 15360;
    static constexpr int kMinHeightTwips = 10680;

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
    void endRun();
    void closeAllWindows();

    Session &m_session;
    SilentPage *m_page = nullptr;
    QWebEngineView *m_pageView = nullptr;
    QPushButton *m_quitButton = nullptr;
    QPushButton *m_promotionButton = nullptr; // hidden, moved by the resize rule only
    LineSwitch *m_lineSwitch = nullptr;
    ChoiceBoxes *m_choiceBoxes = nullptr;
    std::unique_ptr<Tray> m_tray;
    std::unique_ptr<SoundPlayer> m_ownPlayer;
    std::unique_ptr<AlertHost> m_popups;
    std::unique_ptr<Alerts> m_alerts;
    std::unique_ptr<ReminderPoll> m_poll;
    std::unique_ptr<RunLimit> m_runLimit;
    NewWindowRouter *m_router = nullptr;
    QPointer<SaveLoginForm> m_saveLoginForm;
    LoginFill *m_loginFill = nullptr;
    bool m_pageComplete = false;
    bool m_quitting = false;
    bool m_resizing = false;
    bool m_loaded = false;
    bool m_firstShow = true;
    bool m_tearingDown = false;   // the destructor runs: script callbacks do nothing
};

} // namespace lckb
