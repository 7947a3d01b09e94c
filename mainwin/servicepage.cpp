#include "mainwin/servicepage.h"

#include "app/session.h"
#include "mainwin/loginfill.h"
#include "windows/browser.h"

#include <QWebEngineScript>
#include <utility>

namespace lckb {

ServicePage::ServicePage(Session &session, QWidget *parent)
    : QWebEngineView(parent)
    , m_session(session)
    , m_page(new SilentPage(this))
{
    setObjectName(QStringLiteral("pageView"));
    setPage(m_page);
    connect(m_page, &QWebEnginePage::loadStarted, this, [this] { m_complete = false; });
    connect(m_page, &QWebEnginePage::loadFinished, this, [this](bool ok) {
        m_complete = true;
        // Only the service page's own load counts, not a page the user went on to.
        if (std::exchange(m_serviceLoading, false))
            m_recovery.pageLoaded(ok);
    });
    m_loginFill = new LoginFill(m_session, m_page, [this] { return m_complete; }, this);
    connect(m_loginFill, &LoginFill::filled, this, &ServicePage::loginFilled);
}

ServicePage::~ServicePage()
{
    // The page goes before the profile it belongs to. Deleting it runs its
    // pending script callbacks at once: they see that it is going.
    m_tearingDown = true;
    m_loginFill->detach();
    setPage(nullptr);
    delete m_page;
}

void ServicePage::loadService()
{
    // The page is silent by construction: its dialogs never show.
    m_serviceLoading = true;
    load(QUrl(m_session.mainPageUrl()));
}

void ServicePage::pollEnded(PollOutcome outcome)
{
    if (m_recovery.pollEnded(outcome))
        loadService();
}

void ServicePage::loadInFourthFrame(const QString &url, std::function<void(bool)> done)
{
    m_page->runJavaScript(frameNavigationScript(url), QWebEngineScript::ApplicationWorld,
                          [this, done = std::move(done)](const QVariant &v) {
                              if (!m_tearingDown)
                                  done(v.toBool());
                          });
}

} // namespace lckb
