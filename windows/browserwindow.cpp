#include "windows/browserwindow.h"

#include "app/webaddress.h"
#include "prefs/screenunits.h"

#include <QContextMenuEvent>
#include <QJsonObject>
#include <QMenu>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <algorithm>
#include <utility>

namespace lckb {

const QString BrowserWindow::kCaption = QStringLiteral("首席澜策          提示：全屏查看效果更佳");

namespace {

// Runs in every document, the frames' included, in a world of its own that
// the page's scripts cannot see or replace. It names the document with a
// random id and reports, prefixed by the window's token, when the document
// has finished loading (a frameset's frames finish before the page holding
// them) and when it is right-clicked. A document that is not HTML gets no
// id: it cannot be hooked.
const char kHookScript[] = R"JS(
(function () {
    var token = %1;
    var id = '';
    if (document instanceof HTMLDocument) {
        var words = new Uint32Array(4);
        crypto.getRandomValues(words);
        id = Array.prototype.map.call(words, function (n) { return n.toString(16); }).join('-');
    }
    function report(what) {
        console.log(token + ' ' + JSON.stringify({what: what, doc: id, url: document.URL}));
    }
    window.addEventListener('contextmenu', function () { report('menu'); }, true);
    if (document.readyState === 'complete')
        report('completed');
    else
        window.addEventListener('load', function () { report('completed'); });
})();
)JS";

} // namespace

BrowserView::BrowserView(BrowserWindow *window)
    : QWebEngineView(window)
    , m_window(window)
{
}

void BrowserView::contextMenuEvent(QContextMenuEvent *event)
{
    if (!m_window->popupForClickedDocument(event->globalPos()))
        QWebEngineView::contextMenuEvent(event);
}

BrowserWindow::BrowserWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
                          | Qt::WindowCloseButtonHint)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(kCaption);
    resize(twipsOn(this, 16740), twipsOn(this, 10170));

    m_view = new BrowserView(this);
    m_view->setObjectName(QStringLiteral("view"));
    auto *page = new SilentPage(m_view);
    m_view->setPage(page);
    m_view->move(twipsOn(this, 15), 0);

    QWebEngineScript hook;
    hook.setName(QStringLiteral("lckb-domhooks"));
    hook.setInjectionPoint(QWebEngineScript::DocumentReady);
    hook.setWorldId(QWebEngineScript::ApplicationWorld);
    hook.setRunsOnSubFrames(true);
    hook.setSourceCode(QString::fromLatin1(kHookScript).arg(m_channel.tokenScript()));
    page->scripts().insert(hook);

    connect(page, &SilentPage::consoleMessage, this,
            [this](int, const QString &message, int, const QString &) { scriptMessage(message); });
    connect(page, &QWebEnginePage::newWindowRequested, this, &BrowserWindow::newWindow);

    m_pageMenu = new QMenu(this);
    m_pageMenu->setObjectName(QStringLiteral("pageMenu"));
    QAction *back = m_pageMenu->addAction(QStringLiteral("后退"));
    QAction *forward = m_pageMenu->addAction(QStringLiteral("前进"));
    m_pageMenu->addSeparator();
    QAction *reload = m_pageMenu->addAction(QStringLiteral("刷新"));
    // With nowhere to go, back and forward simply do nothing.
    connect(back, &QAction::triggered, m_view, &QWebEngineView::back);
    connect(forward, &QAction::triggered, m_view, &QWebEngineView::forward);
    connect(reload, &QAction::triggered, m_view, &QWebEngineView::reload);

    resizeBrowser();
}

void BrowserWindow::scriptMessage(const QString &message)
{
    // The page's own console output is ignored.
    const QJsonObject o = m_channel.read(message).object();
    const QString what = o.value(QLatin1String("what")).toString();
    const QString doc = o.value(QLatin1String("doc")).toString();
    if (what == QLatin1String("menu")) {
        m_menuDoc = doc;
    } else if (what == QLatin1String("completed")) {
        const QString url = o.value(QLatin1String("url")).toString();
        m_hooks.documentCompleted(doc, url);
        emit documentCompleted(doc, url);
    }
}

bool BrowserWindow::popupForClickedDocument(const QPoint &globalPos)
{
    // The document's own contextmenu report arrives before the browser asks
    // for a menu; take it once so a later click never reuses it.
    const QString doc = std::exchange(m_menuDoc, QString());
    if (!m_hooks.hooked(doc))
        return false;
    m_pageMenu->popup(globalPos);
    return true;
}

void BrowserWindow::newWindow(QWebEngineNewWindowRequest &request)
{
    // Stay in this window; only the address is kept, so a form posted into a
    // new window is fetched here again by address alone. Any other address
    // goes nowhere, as from the main window: loaded from here it would put a
    // local file or a page's data: document in this window, or run a
    // javascript: address of a frame in the window's own page.
    if (isWebAddress(request.requestedUrl()))
        m_view->load(request.requestedUrl());
}

void BrowserWindow::resizeBrowser()
{
    // The outer size includes the frame; the browser keeps a margin below and
    // to the right. A window shrunk below the margins leaves it empty.
    const QSize outer = frameGeometry().size();
    m_view->resize(std::max(0, outer.width() - twipsOn(this, 50)), std::max(0, outer.height() - twipsOn(this, 400)));
}

void BrowserWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    resizeBrowser();
}

void BrowserWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    resizeBrowser();
}

} // namespace lckb
