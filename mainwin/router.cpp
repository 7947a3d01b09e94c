#include "router.h"

#include "external.h"

#include <QDesktopServices>
#include <QWebEngineNewWindowRequest>
#include <QWebEngineView>

namespace lckb {

NewWindowRouter::NewWindowRouter(QObject *parent)
    : QObject(parent)
{
}

bool NewWindowRouter::isMarketplaceAddress(const QUrl &url)
{
    return url.toString().contains(QLatin1String(kMarketplaceDomain), Qt::CaseInsensitive);
}

void NewWindowRouter::route(QWebEngineNewWindowRequest &request)
{
    const QUrl url = request.requestedUrl();
    if (isMarketplaceAddress(url)) {
        // Whether a browser was found is not our concern; the request itself
        // is left unadopted, so nothing opens inside the program.
        QDesktopServices::openUrl(url);
        emit handedToSystem(url);
        return;
    }
    // A window of its own, no parent: it lives until the user closes it.
    auto *w = new Form4;
    w->show();
    request.openIn(w->WebBrowser1->page());
    emit secondaryWindowOpened(w);
}

} // namespace lckb
