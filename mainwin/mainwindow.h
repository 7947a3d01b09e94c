#pragma once
// The main window: the service page with the line switch and the user's
// switches above it, its size rules, and what the other windows need of it.
// The engine behind it (poll, alerts, tray, running limit) is put together
// by Program.
#include "app/pagerest.h"
#include "mainwin/loginfill.h"
#include "mainwin/servicepage.h"
#include "reminder/alerts.h"
#include "windows/mainlink.h"
#include "windows/saveloginform.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

class QLabel;
class QPushButton;

namespace lckb {

class ChoiceBoxes;
class LineSwitch;
class Session;
class SilentPage;

class MainWindow final : public QWidget, public MainLink, public AlertBackdrop
{
    Q_OBJECT
public:
    static const QString kCaption;

    explicit MainWindow(Session &session, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The window's load steps: the user's choices, size and place, the line
    // in use, the service page, the remembered login and its fill. Run once,
    // before show.
    void load();

    // Whether a tray icon is there to come back from: only then does the
    // close box hide the window (else it minimises).
    void setTrayUsable(std::function<bool()> usable) { m_trayUsable = std::move(usable); }

    // Into the tray: the window hides, the program goes on.
    void hideToTray() { hide(); }
    // "显示程序": visible, then normal if minimised. The tray icon's left
    // click is restoreAndShow: visible, normal, focused.
    void showFromTrayMenu();
    // The end of the run: every window of the program closes, this one last.
    void closeAllWindows();
    void stopLoginFill()
    {
        if (m_pageView)
            m_pageView->loginFill().stop();
    }
    // The service page learns how each poll ended: one that could not load
    // loads again when the server is back.
    void pollEnded(PollOutcome outcome)
    {
        if (m_pageView)
            m_pageView->pollEnded(outcome);
    }
    // What else keeps the page awake while the window is out of sight (the
    // secondary browser windows, which the program's routing holds).
    void setRestHold(std::function<bool()> held) { m_restHold = std::move(held); }
    // Plain text over the page area, in place of the engine's error page,
    // when there is no service to show (no hosts).
    void showPageNotice(const QString &text);

    // The service page; null in a start in the tray until the window or a
    // bulletin is first opened (pageMade tells).
    SilentPage *page() const { return m_pageView ? m_pageView->silentPage() : nullptr; }
    PageRest::State pageRest() const { return m_rest.state(); }
    ChoiceBoxes &choiceBoxes() { return *m_choiceBoxes; }
    SaveLoginForm *saveLoginForm() const { return m_saveLoginForm; }
    void showSaveLoginForm();

    // MainLink
    Session &session() override { return m_session; }
    bool pageComplete() const override { return m_pageView && m_pageView->complete(); }
    void loadInFourthFrame(const QString &url, std::function<void(bool)> done) override
    {
        if (m_pageView)
            m_pageView->loadInFourthFrame(url, std::move(done));
        else
            done(false);
    }
    void fillLogin(std::function<void(const LoginFillResult &)> done) override;
    void whenPageAwake(std::function<void()> then) override;
    void restoreAndShow() override;
    // AlertBackdrop
    void stepAside() override;

    // The outer size at load and the resize rule's least outer size, in twips.
    static constexpr int kLoadWidthTwips = 15500;
    static constexpr int kLoadHeightTwips = 10400;
    static constexpr int kMinWidthTwips = 15360;
    static constexpr int kMinHeightTwips = 10680;

signals:
    // "关闭退出" on the window.
    void quitClicked();
    // A fill of the login timer ran; frames and fields set, for tests and logs.
    void loginFilled(const lckb::LoginFillResult &result);
    // The service page was made (at once, or in a start in the tray when first opened).
    void pageMade(lckb::SilentPage *page);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void makePage();
    // Whether the window itself asks the user something (line switch,
    // channel dialog, save-password form).
    bool ownDialogOpen() const;
    // The page to rest or wake as the window is seen now.
    void lookAtRest();
    void takeFocusBack();
    void applyResizeRule();
    QSize frameExtra();
    void setOuterSizeTwips(int widthTwips, int heightTwips);
    void centreOnScreen();

    Session &m_session;
    ServicePage *m_pageView = nullptr;
    QLabel *m_pageNotice = nullptr;
    QPushButton *m_quitButton = nullptr;
    QPushButton *m_promotionButton = nullptr; // hidden, moved by the resize rule only
    LineSwitch *m_lineSwitch = nullptr;
    ChoiceBoxes *m_choiceBoxes = nullptr;
    QPointer<SaveLoginForm> m_saveLoginForm;
    std::function<bool()> m_trayUsable;
    std::function<bool()> m_restHold;
    PageRest m_rest;
    QTimer m_restTimer;
    QList<std::function<void()>> m_awaitingPage; // bulletins waiting for the page to load
    QRect m_pageRect; // where the page goes, by the resize rule
    QSize m_frameExtra{0, 0}; // the frame's share of the outer size, as last seen whole
    bool m_quitting = false;
    bool m_resizing = false;
    bool m_loaded = false;
    bool m_firstShow = true;
};

} // namespace lckb
