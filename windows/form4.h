#pragma once
// Form4: the secondary browser window. Pages that the service page opens in a
// new window are shown here; every further page stays inside the same
// window, and the program's small back/forward/refresh menu replaces the
// browser's own on the documents it has hooked.
#include "domhooks.h"

#include <QWebEngineView>
#include <QWidget>

class QAction;
class QMenu;
class QWebEngineNewWindowRequest;

namespace lckb {

class Form4;

// The browser control of Form4; it asks the window before showing a menu.
class Form4View : public QWebEngineView
{
    Q_OBJECT
public:
    explicit Form4View(Form4 *window);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    Form4 *m_window;
};

class Form4 : public QWidget
{
    Q_OBJECT
public:
    static const QString kCaption;

    // Runs the load step: a silent page sharing the program's profile, the
    // hook script, the menu. Show it, then load an address (or openIn() its
    // page) to use it.
    explicit Form4(QWidget *parent = nullptr);

    DomHooks &hooks() { return m_hooks; }
    const DomHooks &hooks() const { return m_hooks; }
    // The quote site whose two pages get hooks of their own.
    void setQuoteSiteBase(const QString &base) { m_hooks.setQuoteSiteBase(base); }

    QWebEngineView *WebBrowser1; // the browser control
    QWebEnginePage *Web_V1;      // its page, the source of its new-window requests
    QMenu *mnuPop;               // the context menu of hooked documents
    QAction *mnuBack;            // "后退": back
    QAction *mnuForw;            // "前进": forward
    QAction *fg;                 // separator line
    QAction *mnuRe;              // "刷新": refresh

signals:
    // A document of the top page or of a frame finished loading (after the
    // hooks took note of it). docId is empty for a document that is not HTML.
    void documentCompleted(const QString &docId, const QString &url);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    friend class Form4View;

    // True when the program's menu was shown for the document the user just
    // right-clicked; false leaves the menu to the browser.
    bool popupForClickedDocument(const QPoint &globalPos);
    void scriptMessage(const QString &message);
    void newWindow(QWebEngineNewWindowRequest &request);
    void resizeBrowser();
    int tw(int twips) const;

    DomHooks m_hooks;
    QString m_token;   // proves a console message came from the hook script
    QString m_menuDoc; // document of the right click under way
};

} // namespace lckb
