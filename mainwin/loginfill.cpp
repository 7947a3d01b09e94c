#include "mainwin/loginfill.h"

#include "app/session.h"

#include <QPointer>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <utility>

namespace lckb {

LoginFill::LoginFill(Session &session, SilentPage *page, std::function<bool()> pageComplete, QObject *parent)
    : QObject(parent)
    , m_session(session)
    , m_page(page)
    , m_pageComplete(std::move(pageComplete))
{
    QWebEngineScript routine;
    routine.setName(QStringLiteral("lckb-loginfill"));
    routine.setInjectionPoint(QWebEngineScript::DocumentReady);
    routine.setWorldId(QWebEngineScript::ApplicationWorld);
    routine.setRunsOnSubFrames(false);
    routine.setSourceCode(pageFillRoutine());
    page->scripts().insert(routine);

    // A new document starts without a login, whatever the one before had.
    connect(page, &QWebEnginePage::loadStarted, this, [this] { m_handed = {}; });
    connect(page, &QWebEnginePage::loadFinished, this, &LoginFill::tick);
    connect(page, &SilentPage::consoleMessage, this,
            [this](int, const QString &message, int, const QString &) { pageMessage(message); });

    m_timer.setObjectName(QStringLiteral("loginFillTimer"));
    m_timer.setInterval(m_session.intervals.loginFill);
    connect(&m_timer, &QTimer::timeout, this, &LoginFill::tick);
}

void LoginFill::start()
{
    m_started = true;
    if (!m_paused)
        m_timer.start();
}

void LoginFill::stop()
{
    m_started = false;
    m_timer.stop();
}

void LoginFill::pause(bool paused)
{
    m_paused = paused;
    if (paused)
        m_timer.stop();
    else if (m_started && !m_timer.isActive())
        m_timer.start();
}

LoginFill::Handed LoginFill::wanted() const
{
    const UserChoices &c = m_session.choices;
    if (!m_page || !c.rememberLogin() || c.user().isEmpty() || c.pass().isEmpty() || !m_pageComplete())
        return {};
    // The login goes only to the service: a page that a frame's script, a
    // redirect or a link moved the main window to gets nothing.
    const QString origin = webOrigin(QUrl(m_session.serverBase()));
    if (origin.isEmpty() || webOrigin(m_page->url()) != origin)
        return {};
    return {c.user(), c.pass(), origin};
}

void LoginFill::tick()
{
    const Handed want = wanted();
    if (!m_page || want == m_handed)
        return;
    m_handed = want;
    const QString token = m_channel.tokenScript();
    m_page->runJavaScript(want.origin.isEmpty() ? pageFillStop()
                                                : pageFillStart(want.user, want.pass, want.origin, token, m_timer.interval()),
                          QWebEngineScript::ApplicationWorld);
}

void LoginFill::pageMessage(const QString &message)
{
    // The page's own console output is ignored.
    const QJsonDocument said = m_channel.read(message);
    if (!said.isNull())
        emit filled(LoginFillResult::fromVariant(said.toVariant()));
}

void LoginFill::fillOnce(std::function<void(const LoginFillResult &)> done)
{
    const QString origin = webOrigin(QUrl(m_session.serverBase()));
    if (!m_page || origin.isEmpty() || webOrigin(m_page->url()) != origin) {
        LoginFillResult r;
        r.error = QStringLiteral("origin");
        done(r);
        return;
    }
    const UserChoices &c = m_session.choices;
    QPointer<LoginFill> self(this);
    m_page->runJavaScript(loginFillScript(c.user(), c.pass(), origin), QWebEngineScript::ApplicationWorld,
                          [self, done = std::move(done)](const QVariant &v) {
                              if (self && self->m_page)
                                  done(LoginFillResult::fromVariant(v));
                          });
}

} // namespace lckb
