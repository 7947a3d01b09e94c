#pragma once
// The remembered login, kept typed into the service page. Every tick the
// program decides afresh, from the user's choices and the page's address,
// whether the page may have the login; only when that answer changes is a
// script sent into the page, which then repeats the fill on its own timer.
#include "windows/browser.h"
#include "windows/pagescripts.h"

#include <QObject>
#include <QTimer>

#include <functional>

namespace lckb {

class Session;

class LoginFill : public QObject
{
    Q_OBJECT
public:
    // `pageComplete` tells whether the page has finished loading.
    LoginFill(Session &session, SilentPage *page, std::function<bool()> pageComplete, QObject *parent = nullptr);

    // The ticks start; the first one comes at once.
    void start();
    void stop();
    // While the page rests the ticks pause; started, they go on after.
    void pause(bool paused);
    // Decides now, as a tick does.
    void tick();

    // One fill now, whatever the ticks do: for the save-password form.
    void fillOnce(std::function<void(const LoginFillResult &)> done);

    // Before the page goes: its script callbacks then do nothing.
    void detach() { m_page = nullptr; }

signals:
    // A fill in the page gave a result that differs from the one before.
    void filled(const lckb::LoginFillResult &result);

private:
    struct Handed
    {
        QString user, pass, origin; // empty origin: nothing handed
        bool operator==(const Handed &o) const { return user == o.user && pass == o.pass && origin == o.origin; }
        bool operator!=(const Handed &o) const { return !(*this == o); }
    };
    // What the page may have now: nothing unless the login is remembered and
    // the page, completely loaded, is on the service's own origin.
    Handed wanted() const;
    void pageMessage(const QString &message);

    Session &m_session;
    SilentPage *m_page;
    std::function<bool()> m_pageComplete;
    QTimer m_timer{this}; // a child named "loginFillTimer"
    ScriptChannel m_channel; // from the routine in the page
    Handed m_handed;      // what the document shown now was given
    bool m_started = false;
    bool m_paused = false;
};

} // namespace lckb
