#pragma once
// The service's own page in the main window: a silent page whose loading
// state is known, the remembered login kept typed into it, and the fourth
// frame where bulletins open.
#include "app/pagerest.h"
#include "reminder/pollhealth.h"
#include "windows/pagescripts.h"

#include <QWebEngineView>
#include <functional>

namespace lckb {

class LoginFill;
class Session;
class SilentPage;

class ServicePage final : public QWebEngineView
{
    Q_OBJECT
public:
    ServicePage(Session &session, QWidget *parent);
    ~ServicePage() override;

    SilentPage *silentPage() const { return m_page; }
    LoginFill &loginFill() { return *m_loginFill; }
    // Whether the page has finished loading.
    bool complete() const { return m_complete; }
    // The service's main page on the line in use.
    void loadService();
    // A poll ended so: a service page that could not load loads again once
    // the poll finds the server again (PageRecovery).
    void pollEnded(PollOutcome outcome);
    // Puts the page to rest or wakes it: frozen, discarded (its renderer
    // ends; it loads again when woken) or active. The login timer rests with it.
    void rest(PageRest::State state);
    // Whether the page is discarded: woken, it loads again.
    bool discarded() const;
    // Loads `url` into the fourth frame; `done(true)` when the frame was told
    // to go there, `done(false)` when the page has no such frame or refused.
    void loadInFourthFrame(const QString &url, std::function<void(bool)> done);

signals:
    // A fill of the login timer ran; frames and fields set, for tests and logs.
    void loginFilled(const lckb::LoginFillResult &result);

private:
    Session &m_session;
    SilentPage *m_page;
    LoginFill *m_loginFill;
    PageRecovery m_recovery;
    bool m_complete = false;
    bool m_serviceLoading = false; // a load of the service page itself runs
    bool m_reloadOnWake = false; // the recovery's load waits for the page to wake
    bool m_wasDiscarded = false; // woken, it loads anew from the server
    bool m_restedHidden = false; // hidden from the engine by a rest, not by the view
    bool m_tearingDown = false; // the destructor runs: script callbacks do nothing
};

} // namespace lckb
