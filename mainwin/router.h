#pragma once
// Where a page of the main window that asks for a new window opens: the
// marketplace in the system's default browser, everything else in a new
// secondary browser window of the program. The browser never opens a window
// of its own.
#include "windows/browserwindow.h" // complete, so BrowserWindow * passes through queued connections and spies

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>

class QWebEngineNewWindowRequest;

namespace lckb {

class NewWindowRouter : public QObject
{
    Q_OBJECT
public:
    // Secondary windows open at once, at most.
    static constexpr int kMaxSecondaryWindows = 10;

    // `handOffGapMs`: the least time between two addresses handed to the
    // system's browser.
    explicit NewWindowRouter(int handOffGapMs = 1000, QObject *parent = nullptr);
    // The secondary windows still open go with the router, their pages
    // before the browser profile.
    ~NewWindowRouter() override;

    // For QWebEnginePage::newWindowRequested of the main page. A request for
    // the marketplace is handed to the system (at most one per gap) and
    // otherwise dropped; a request for anything but a web address (or a
    // blank page) is dropped; any other request is adopted by a new, visible BrowserWindow,
    // so a posted form arrives there with its method, data and headers, as
    // long as fewer than kMaxSecondaryWindows are open. A request beyond either
    // limit opens and loads nothing.
    void route(QWebEngineNewWindowRequest &request);

    // Secondary windows of this router still open.
    int openWindows() const;

    // The marketplace domain anywhere in a web address, in any letter case.
    static bool isMarketplaceAddress(const QUrl &url);

signals:
    void secondaryWindowOpened(lckb::BrowserWindow *w);
    void handedToSystem(const QUrl &url);

private:
    int m_handOffGapMs;
    QElapsedTimer m_lastHandOff;
    QList<QPointer<BrowserWindow>> m_windows;
};

} // namespace lckb
