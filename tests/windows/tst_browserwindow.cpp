// The secondary browser window against the simulator's pages.
#include "bulletinserver.h"
#include "windows/browserwindow.h"
#include "app/twips.h"
#include "testkit.h"

#include <QAction>
#include <QMenu>
#include <QPointer>
#include <QRegularExpression>
#include <QWebEngineView>

using namespace lckb;
using namespace testkit;

namespace {
QWebEngineView *view(const BrowserWindow *w) { return testkit::child<QWebEngineView>(w, "view"); }
QMenu *pageMenu(const BrowserWindow *w) { return testkit::child<QMenu>(w, "pageMenu"); }
QAction *menuAction(const BrowserWindow *w, const QString &text)
{
    for (QAction *a : pageMenu(w)->actions())
        if (a->text() == text)
            return a;
    return nullptr;
}
} // namespace

class TstBrowserWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_sim.listen({0})); }
    void cleanup();
    void newWindowLinksStayInTheWindow();
    void nowhereToGoDoesNothing();
    void menuOnHookedDocumentsOnly();
    void quotePagesGetTheirOwnHooks();
    void captionAndShrinking();

private:
    // A new window showing `path` of the simulator, once its top page completed.
    BrowserWindow *open(const QString &path);
    QString url(const QString &path) const { return m_sim.baseUrl(0) + path; }
    bool completed(const QString &path) const { return m_doc.contains(url(path)); }
    // Right-clicks the browser at `pos`; the menu that came up, or nullptr.
    QMenu *rightClick(BrowserWindow *w, QPoint pos);

    sim::BulletinServer m_sim;
    QHash<QString, QString> m_doc; // address -> id of its last completed document
    QString m_lastDone;            // address of the last completed document
    QList<QPointer<BrowserWindow>> m_windows;
};

void TstBrowserWindow::cleanup()
{
    closeMenus();
    qDeleteAll(m_windows); // windows that closed themselves are null
    m_windows.clear();
    m_doc.clear();
}

BrowserWindow *TstBrowserWindow::open(const QString &path)
{
    auto *w = new BrowserWindow;
    m_windows << w;
    w->setQuoteSiteBase(m_sim.baseUrl(0));
    connect(w, &BrowserWindow::documentCompleted, this, [this](const QString &doc, const QString &address) {
        m_doc[address] = doc;
        m_lastDone = address;
    });
    w->show();
    view(w)->load(QUrl(url(path)));
    waitFor([&] { return completed(path); }, 15000);
    return w;
}

QMenu *TstBrowserWindow::rightClick(BrowserWindow *w, QPoint pos)
{
    // The browser drops input for about half a second after a page loads:
    // click again until some menu comes up. Which menu it is, is the test.
    closeMenus();
    for (int i = 0; i < 20 && !openMenu(); ++i) {
        QTest::mouseClick(view(w)->focusProxy(), Qt::RightButton, {}, pos);
        waitFor([] { return openMenu() != nullptr; }, 250);
    }
    return openMenu();
}

void TstBrowserWindow::newWindowLinksStayInTheWindow()
{
    BrowserWindow *w = open("/nc/report.asp?id=1");
    QVERIFY(completed("/nc/report.asp?id=1"));
    clickIn(w->page(), -1, "nextReport");
    WAIT_VERIFY(completed("/nc/report.asp?id=2"));
    QCOMPARE(view(w)->url(), QUrl(url("/nc/report.asp?id=2")));
    QCOMPARE(countOf<QWebEngineView>(false), 1);

    menuAction(w, "后退")->trigger();
    WAIT_COMPARE(view(w)->url(), QUrl(url("/nc/report.asp?id=1")));
    menuAction(w, "前进")->trigger();
    WAIT_COMPARE(view(w)->url(), QUrl(url("/nc/report.asp?id=2")));

    // A form posted into a new window is fetched here by its address alone.
    view(w)->load(QUrl(url("/nc/banner.asp")));
    WAIT_VERIFY(completed("/nc/banner.asp"));
    clickIn(w->page(), -1, "echoSubmit");
    WAIT_VERIFY(completed("/nc/echo.asp"));
    QCOMPARE(textOf(w->page(), "method"), "GET");
    QCOMPARE(m_sim.requests("/nc/echo.asp").size(), 1);
    QCOMPARE(countOf<QWebEngineView>(false), 1);
}

void TstBrowserWindow::nowhereToGoDoesNothing()
{
    BrowserWindow *w = open("/nc/report.asp?id=5");
    const int before = quietCount([&] { return m_sim.requests().size(); });
    menuAction(w, "后退")->trigger();
    menuAction(w, "前进")->trigger();
    settle(700);
    QCOMPARE(view(w)->url(), QUrl(url("/nc/report.asp?id=5")));
    QCOMPARE(m_sim.requests().size(), before);
    QCOMPARE(visibleWindows(), 1); // no message of any kind

    // Refresh, though, does reach the server.
    menuAction(w, "刷新")->trigger();
    WAIT_COMPARE(m_sim.requests().size(), before + 1);
    QCOMPARE(m_sim.requests().last().target, "/nc/report.asp?id=5");
}

void TstBrowserWindow::menuOnHookedDocumentsOnly()
{
    BrowserWindow *w = open("/nc/report.asp?id=1");
    QMenu *menu = rightClick(w, {200, 200});
    QCOMPARE(menu, pageMenu(w));
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.size(), 4);
    QVERIFY(items[0]->text() == "后退" && items[1]->text() == "前进" && items[3]->text() == "刷新");
    QVERIFY(items[2]->isSeparator());

    // The service's main page, a nested frameset: only the top page, the last
    // to complete, is hooked.
    BrowserWindow *frames = open("/nc/i88-61.asp");
    for (const char *frame : {"/nc/banner.asp", "/nc/news.asp?p=1", "/nc/news.asp?p=2", "/nc/login.asp"})
        QVERIFY2(completed(frame) && !frames->hooks().hooked(m_doc[url(frame)]), frame);
    QCOMPARE(m_lastDone, url("/nc/i88-61.asp"));
    QCOMPARE(frames->hooks().ordinary, m_doc[url("/nc/i88-61.asp")]);

    for (QPoint inFrame : {QPoint(60, 40), QPoint(60, 300)}) { // banner, first news frame
        menu = rightClick(frames, inFrame);
        QVERIFY(menu && menu != pageMenu(frames) && menu != pageMenu(w)); // the browser's own
    }
}

void TstBrowserWindow::quotePagesGetTheirOwnHooks()
{
    const QString index = kQuoteIndexPath, wisdom = kQuoteWisdomPath, news = "/wisdom.do?method=news";
    BrowserWindow *w = open(index);
    WAIT_VERIFY(completed(wisdom) && completed(news));
    const DomHooks &h = w->hooks();
    QCOMPARE(h.quoteIndex, m_doc[url(index)]);
    QCOMPARE(h.quoteWisdom, m_doc[url(wisdom)]);
    QCOMPARE(h.ordinary, m_doc[url(news)]);
    QVERIFY(!h.quoteWisdom.isEmpty() && !h.quoteIndex.isEmpty());

    // Both frames keep the program's menu at once: wisdom left, news right.
    QCOMPARE(rightClick(w, {100, 200}), pageMenu(w));
    QCOMPARE(rightClick(w, {view(w)->width() - 100, 200}), pageMenu(w));

    // The same page with one more parameter shares the ordinary hook.
    BrowserWindow *near = open(wisdom + "&x=1");
    QVERIFY(near->hooks().ordinary == m_doc[url(wisdom + "&x=1")] && near->hooks().quoteWisdom.isEmpty());
}

void TstBrowserWindow::captionAndShrinking()
{
    QPointer<BrowserWindow> w = open("/nc/report.asp?id=9");
    QCOMPARE(w->windowTitle(), "首席澜策" + QString(10, u' ') + "提示：全屏查看效果更佳");

    QTest::failOnWarning(QRegularExpression(".*"));
    w->resize(w->minimumSize());
    const int margin = twipsToPx(400, w->logicalDpiY());
    WAIT_VERIFY(w->frameGeometry().height() < margin && view(w)->height() == 0);
    settle(300);
    QCOMPARE(visibleWindows(), 1);

    w->close();
    QTRY_VERIFY(w.isNull()); // QTRY runs deferred deletes, which a nested loop here does not
}

QTEST_MAIN(TstBrowserWindow)
#include "tst_browserwindow.moc"
