#pragma once
// BrowserWindow: the secondary browser window. Pages that the service page opens in a
// new window are shown here; every further page stays inside the same
// window, and the program's small back/forward/refresh menu replaces the
// browser's own on the documents it has hooked.
#include "windows/browser.h"
#include "windows/domhooks.h"

#include <QWebEngineView>
#include <QWidget>

class QAction;
class QMenu;
class QWebEngineNewWindowRequest;

namespace lckb {

class BrowserWindow;

// The browser of a BrowserWindow; it asks the window before showing a menu.
class BrowserView : public QWebEngineView
{
    Q_OBJECT
public:
    explicit BrowserView(BrowserWindow *window);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    BrowserWindow *m_window;
};

class BrowserWindow : public QWidget
{
    Q_OBJECT
public:
    static const QString kCaption;

    // A silent page sharing the program's profile, the hook script, the menu.
    // Show it, then load an address (or openIn() its page) to use it.
    explicit BrowserWindow(QWidget *parent = nullptr);

    DomHooks &hooks() { return m_hooks; }
    const DomHooks &hooks() const { return m_hooks; }
    // The quote site whose two pages get hooks of their own.
    void setQuoteSiteBase(const QString &base) { m_hooks.setQuoteSiteBase(base); }

    // The window's page, where the routing adopts a request or tests load.
    QWebEnginePage *page() const { return m_view->page(); }

signals:
    // A document of the top page or of a frame finished loading (after the
    // hooks took note of it). docId is empty for a document that is not HTML.
    void documentCompleted(const QString &docId, const QString &url);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend class BrowserView;

    // True when the program's menu was shown for the document the user just
    // right-clicked; false leaves the menu to the browser.
    bool popupForClickedDocument(const QPoint &globalPos);
    void scriptMessage(const QString &message);
    void newWindow(QWebEngineNewWindowRequest &request);
    void resizeBrowser();

    QWebEngineView *m_view = nullptr;
    QMenu *m_pageMenu = nullptr; // back, forward, refresh: the menu of hooked documents
    DomHooks m_hooks;
    ScriptChannel m_channel; // from the hook script
    QString m_menuDoc; // document of the right click under way
};

} // namespace lckb
