// The secondary browser window against the simulator's pages.
#include "bulletinserver.h"
#include "form4.h"
#include "twips.h"
#include "testkit.h"

#include <QPointer>
#include <QRegularExpression>
#include <QWebEngineView>

using namespace lckb;
using namespace testkit;

class TstForm4 : public QObject
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
    Form4 *open(const QString &path);
    QString url(const QString &path) const { return m_sim.baseUrl(0) + path; }
    bool completed(const QString &path) const { return m_doc.contains(url(path)); }
    // Right-clicks the browser at `pos`; the menu that came up, or nullptr.
    QMenu *rightClick(Form4 *w, QPoint pos);

    sim::BulletinServer m_sim;
    QHash<QString, QString> m_doc; // address -> id of its last completed document
    QString m_lastDone;            // address of the last completed document
    QList<QPointer<Form4>> m_windows;
};

void TstForm4::cleanup()
{
    closeMenus();
    qDeleteAll(m_windows); // windows that closed themselves are null
    m_windows.clear();
    m_doc.clear();
}

Form4 *TstForm4::open(const QString &path)
{
    auto *w = new Form4;
    m_windows << w;
    w->setQuoteSiteBase(m_sim.baseUrl(0));
    connect(w, &Form4::documentCompleted, this, [this](const QString &doc, const QString &address) {
        m_doc[address] = doc;
        m_lastDone = address;
    });
    w->show();
    w->WebBrowser1->load(QUrl(url(path)));
    waitFor([&] { return completed(path); }, 15000);
    return w;
}

QMenu *TstForm4::rightClick(Form4 *w, QPoint pos)
{
    // The browser drops input for about half a second after a page loads:
    // click again until some menu comes up. Which menu it is, is the test.
    closeMenus();
    for (int i = 0; i < 20 && !openMenu(); ++i) {
        QTest::mouseClick(w->WebBrowser1->focusProxy(), Qt::RightButton, {}, pos);
        waitFor([] { return openMenu() != nullptr; }, 250);
    }
    return openMenu();
}

void TstForm4::newWindowLinksStayInTheWindow()
{
    Form4 *w = open("/nc/report.asp?id=1");
    QVERIFY(completed("/nc/report.asp?id=1"));
    clickIn(w->WebBrowser1->page(), -1, "nextReport");
    WAIT_VERIFY(completed("/nc/report.asp?id=2"));
    QCOMPARE(w->WebBrowser1->url(), QUrl(url("/nc/report.asp?id=2")));
    QCOMPARE(countOf<QWebEngineView>(false), 1);

    w->mnuBack->trigger();
    WAIT_COMPARE(w->WebBrowser1->url(), QUrl(url("/nc/report.asp?id=1")));
    w->mnuForw->trigger();
    WAIT_COMPARE(w->WebBrowser1->url(), QUrl(url("/nc/report.asp?id=2")));

    // A form posted into a new window is fetched here by its address alone.
    w->WebBrowser1->load(QUrl(url("/nc/banner.asp")));
    WAIT_VERIFY(completed("/nc/banner.asp"));
    clickIn(w->WebBrowser1->page(), -1, "echoSubmit");
    WAIT_VERIFY(completed("/nc/echo.asp"));
    QCOMPARE(textOf(w->WebBrowser1->page(), "method"), "GET");
    QCOMPARE(m_sim.requests("/nc/echo.asp").size(), 1);
    QCOMPARE(countOf<QWebEngineView>(false), 1);
}

void TstForm4::nowhereToGoDoesNothing()
{
    Form4 *w = open("/nc/report.asp?id=5");
    const int before = m_sim.requests().size();
    w->mnuBack->trigger();
    w->mnuForw->trigger();
    settle(700);
    QCOMPARE(w->WebBrowser1->url(), QUrl(url("/nc/report.asp?id=5")));
    QCOMPARE(m_sim.requests().size(), before);
    QCOMPARE(visibleWindows(), 1); // no message of any kind

    // Refresh, though, does reach the server.
    w->mnuRe->trigger();
    WAIT_COMPARE(m_sim.requests().size(), before + 1);
    QCOMPARE(m_sim.requests().last().target, "/nc/report.asp?id=5");
}

void TstForm4::menuOnHookedDocumentsOnly()
{
    Form4 *w = open("/nc/report.asp?id=1");
    QMenu *menu = rightClick(w, {200, 200});
    QCOMPARE(menu, w->mnuPop);
    const QList<QAction *> items = menu->actions();
    QCOMPARE(items.size(), 4);
    QVERIFY(items[0]->text() == "后退" && items[1]->text() == "前进" && items[3]->text() == "刷新");
    QVERIFY(items[2]->isSeparator());

    // The service's main page, a nested frameset: only the top page, the last
    // to complete, is hooked.
    Form4 *frames = open("/nc/i88-61.asp");
    for (const char *frame : {"/nc/banner.asp", "/nc/news.asp?p=1", "/nc/news.asp?p=2", "/nc/login.asp"})
        QVERIFY2(completed(frame) && !frames->hooks().hooked(m_doc[url(frame)]), frame);
    QCOMPARE(m_lastDone, url("/nc/i88-61.asp"));
    QCOMPARE(frames->hooks().M_Dom, m_doc[url("/nc/i88-61.asp")]);

    for (QPoint inFrame : {QPoint(60, 40), QPoint(60, 300)}) { // banner, first news frame
        menu = rightClick(frames, inFrame);
        QVERIFY(menu && menu != frames->mnuPop && menu != w->mnuPop); // the browser's own
    }
}

void TstForm4::quotePagesGetTheirOwnHooks()
{
    const QString index = kQuoteIndexPath, wisdom = kQuoteWisdomPath, news = "/wisdom.do?method=news";
    Form4 *w = open(index);
    WAIT_VERIFY(completed(wisdom) && completed(news));
    const DomHooks &h = w->hooks();
    QCOMPARE(h.M_Dom2, m_doc[url(index)]);
    QCOMPARE(h.M_Dom1, m_doc[url(wisdom)]);
    QCOMPARE(h.M_Dom, m_doc[url(news)]);
    QVERIFY(!h.M_Dom1.isEmpty() && !h.M_Dom2.isEmpty());

    // Both frames keep the program's menu at once: wisdom left, news right.
    QCOMPARE(rightClick(w, {100, 200}), w->mnuPop);
    QCOMPARE(rightClick(w, {w->WebBrowser1->width() - 100, 200}), w->mnuPop);

    // The same page with one more parameter shares the ordinary hook.
    Form4 *near = open(wisdom + "&x=1");
    QVERIFY(near->hooks().M_Dom == m_doc[url(wisdom + "&x=1")] && near->hooks().M_Dom1.isEmpty());
}

void TstForm4::captionAndShrinking()
{
    QPointer<Form4> w = open("/nc/report.asp?id=9");
    QCOMPARE(w->windowTitle(), "首席澜策" + QString(10, u' ') + "提示：全屏查看效果更佳");

    QTest::failOnWarning(QRegularExpression(".*"));
    w->resize(w->minimumSize());
    const int margin = twipsToPx(400, w->logicalDpiY());
    WAIT_VERIFY(w->frameGeometry().height() < margin && w->WebBrowser1->height() == 0);
    settle(300);
    QCOMPARE(visibleWindows(), 1);

    w->close();
    QTRY_VERIFY(w.isNull()); // QTRY runs deferred deletes, which a nested loop here does not
}

QTEST_MAIN(TstForm4)
#include "tst_form4.moc"
