#include "mainwin/servicepage.h"

#include "app/session.h"
#include "mainwin/loginfill.h"
#include "windows/browser.h"

#include <QTimer>
#include <QWebEngineScript>
#include <utility>

namespace lckb {

namespace {
// The engine tears the page down after the discard; what it frees is then in
// the heap.
constexpr int kTrimAfterDiscardMs = 5000;
} // namespace

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
    if (!m_recovery.pollEnded(outcome))
        return;
    // A resting page is not woken for it: it loads when it wakes.
    if (m_page->lifecycleState() == QWebEnginePage::LifecycleState::Active)
        loadService();
    else
        m_reloadOnWake = true;
}

bool ServicePage::discarded() const
{
    return m_page->lifecycleState() == QWebEnginePage::LifecycleState::Discarded;
}

void ServicePage::rest(PageRest::State state)
{
    using L = QWebEnginePage::LifecycleState;
    const L want = state == PageRest::State::Active ? L::Active
                   : state == PageRest::State::Frozen ? L::Frozen
                                                      : L::Discarded;
    const L now = m_page->lifecycleState();
    // Nothing to fill in a page that runs nothing; the load that wakes a
    // discarded page ticks the fill again.
    m_loginFill->pause(want != L::Active);
    if (want == L::Active) {
        // A page that never rested is left exactly as the view keeps it.
        if (now == L::Active && !m_restedHidden)
            return;
        // A page shown again is woken by the view itself already.
        if (std::exchange(m_restedHidden, false))
            m_page->setVisible(isVisible() && !window()->isMinimized());
        if (now != L::Active)
            m_page->setLifecycleState(L::Active);
        if (std::exchange(m_reloadOnWake, false))
            loadService();
        // The engine reloads a discarded page from its cache: frames minutes
        // old. Asked anew from the server instead.
        else if (std::exchange(m_wasDiscarded, false))
            m_page->triggerAction(QWebEnginePage::ReloadAndBypassCache);
        return;
    }
    if (want == now)
        return;
    // The engine rests no page it counts visible; where the platform told
    // the view nothing of the minimising, the window's word counts.
    m_page->setVisible(false);
    m_restedHidden = true;
    m_wasDiscarded = want == L::Discarded;
    if (want == L::Discarded && now == L::Active)
        m_page->setLifecycleState(L::Frozen);
    m_page->setLifecycleState(want);
    if (m_wasDiscarded)
        QTimer::singleShot(kTrimAfterDiscardMs, this, [this] {
            if (discarded())
                releaseFreedHeap();
        });
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
