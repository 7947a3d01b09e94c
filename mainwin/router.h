#pragma once
// Where a page of the main window that asks for a new window opens: the
// marketplace in the system's default browser, everything else in a new
// secondary browser window of the program. The browser never opens a window
// of its own.
#include "form4.h" // complete, so Form4 * passes through queued connections and spies

#include <QObject>
#include <QUrl>

class QWebEngineNewWindowRequest;

namespace lckb {

class NewWindowRouter : public QObject
{
    Q_OBJECT
public:
    explicit NewWindowRouter(QObject *parent = nullptr);

    // For QWebEnginePage::newWindowRequested of the main page. A request for
    // the marketplace is handed to the system and otherwise dropped; any other
    // request is adopted by a new, visible Form4, so a posted form arrives
    // there with its method, data and headers.
    void route(QWebEngineNewWindowRequest &request);

    // The marketplace domain anywhere in the address, in any letter case.
    static bool isMarketplaceAddress(const QUrl &url);

signals:
    void secondaryWindowOpened(lckb::Form4 *w);
    void handedToSystem(const QUrl &url);
};

} // namespace lckb
