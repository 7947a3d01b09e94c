#include "mainwin/router.h"

#include "app/external.h"
#include "app/webaddress.h"

#include <QDesktopServices>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineView>

#include <algorithm>
#include <utility>

namespace lckb {

NewWindowRouter::NewWindowRouter(int handOffGapMs, QObject *parent)
    : QObject(parent)
    , m_handOffGapMs(handOffGapMs)
{
}

NewWindowRouter::~NewWindowRouter()
{
    const QList<QPointer<BrowserWindow>> windows = std::exchange(m_windows, {});
    for (const QPointer<BrowserWindow> &w : windows)
        delete w.data();
}

bool NewWindowRouter::isMarketplaceAddress(const QUrl &url)
{
    return isWebAddress(url) && url.toString().contains(QLatin1String(kMarketplaceDomain), Qt::CaseInsensitive);
}

int NewWindowRouter::openWindows() const
{
    // A closed window counts no more, even before it is deleted.
    return int(std::count_if(m_windows.begin(), m_windows.end(),
                             [](const QPointer<BrowserWindow> &w) { return w && !w->isHidden(); }));
}

void NewWindowRouter::route(QWebEngineNewWindowRequest &request)
{
    // A request left unadopted opens nothing and loads nothing. That is the
    // answer to a page that asks for windows in a loop, with or without a
    // click: each window costs a browser page's memory, each hand-off a
    // browser started by the system.
    const QUrl url = request.requestedUrl();
    // Any other scheme would reach whatever program the desktop keeps for it
    // (a file share, a shell, a mail with an attachment): the service opens
    // web pages only. A new window without an address is a blank page.
    if (!isWebAddress(url) && !url.isEmpty() && url != QUrl(QStringLiteral("about:blank")))
        return;
    if (isMarketplaceAddress(url)) {
        if (m_lastHandOff.isValid() && !m_lastHandOff.hasExpired(m_handOffGapMs))
            return;
        m_lastHandOff.start();
        // Whether a browser was found is not our concern.
        QDesktopServices::openUrl(url);
        emit handedToSystem(url);
        return;
    }
    m_windows.removeAll(QPointer<BrowserWindow>());
    if (openWindows() >= kMaxSecondaryWindows)
        return;
    // A window of its own, no parent: it lives until the user closes it or
    // the router goes.
    auto *w = new BrowserWindow;
    m_windows.append(w);
    w->show();
    request.openIn(w->page());
    emit secondaryWindowOpened(w);
}

} // namespace lckb
