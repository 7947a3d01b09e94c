// New-window requests of the main page, from the simulator's banner frame.
#include "windows/browser.h"
#include "bulletinserver.h"
#include "mainwin/router.h"
#include "testkit.h"

#include <QDesktopServices>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QWebEngineView>

using namespace lckb;
using namespace testkit;

class TstRouter : public QObject
{
    Q_OBJECT
public slots:
    void systemOpen(const QUrl &url) { m_systemOpened << url; } // the system's default browser

private slots:
    void initTestCase();
    void cleanup() { qDeleteAll(forms()); }
    void cleanupTestCase();
    void marketplaceGoesToTheSystem();
    void ordinaryRequestsOpenSecondaryWindows();
    void postedFormArrivesUnchanged();

private:
    void clickInBanner(const QString &id) { clickIn(m_view->page(), 0, id); }
    static QList<BrowserWindow *> forms();
    // Only the main browser is a window of its own; every other one sits in a BrowserWindow.
    static bool noBrowserWindowOfItsOwn()
    {
        return countOf<QWebEngineView>(true) == 1 && countOf<QWebEngineView>(false) == 1 + forms().size();
    }

    sim::BulletinServer m_sim;
    NewWindowRouter m_router{kHandOffGapMs};
    static constexpr int kHandOffGapMs = 1000;
    QWebEngineView *m_view = nullptr;
    QList<QUrl> m_systemOpened;
};

QList<BrowserWindow *> TstRouter::forms()
{
    QList<BrowserWindow *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *f = qobject_cast<BrowserWindow *>(w))
            out << f;
    return out;
}

void TstRouter::initTestCase()
{
    QVERIFY(m_sim.listen({0}));
    QDesktopServices::setUrlHandler("http", this, "systemOpen");
    m_view = new QWebEngineView;
    m_view->setPage(new SilentPage(m_view));
    connect(m_view->page(), &QWebEnginePage::newWindowRequested, &m_router, &NewWindowRouter::route);
    QSignalSpy loaded(m_view, &QWebEngineView::loadFinished);
    m_view->resize(1000, 700);
    m_view->show();
    m_view->load(QUrl(m_sim.baseUrl(0) + kMainPagePath));
    QVERIFY(waitFor([&] { return loaded.size() == 1; }, 15000));
    QVERIFY(loaded.first().first().toBool());
}

void TstRouter::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler("http");
    delete m_view;
}

void TstRouter::marketplaceGoesToTheSystem()
{
    QVERIFY(NewWindowRouter::isMarketplaceAddress(QUrl("http://www.MARKET.EXAMPLE.NET/shop?x=1")));
    QVERIFY(NewWindowRouter::isMarketplaceAddress(QUrl("http://a.test/r.asp?from=Market.Example.Net")));
    QVERIFY(!NewWindowRouter::isMarketplaceAddress(QUrl("http://market.example.com/shop")));
    QVERIFY(!NewWindowRouter::isMarketplaceAddress(QUrl("http://marketexample.net/")));

    QSignalSpy opened(&m_router, &NewWindowRouter::secondaryWindowOpened);
    clickInBanner("marketLink"); // the domain in capitals, as the host
    WAIT_COMPARE(m_systemOpened.size(), 1);
    QCOMPARE(m_systemOpened[0].host().toLower(), "www.market.example.net");
    // A page that hands addresses over in a loop starts one browser per gap.
    settle(kHandOffGapMs);
    runJs(m_view->page(), "for (var i = 0; i < 20; i++) window.open('http://market.example.net/x?' + i);");
    settle(kHandOffGapMs / 3);
    QCOMPARE(m_systemOpened.size(), 2);
    QCOMPARE(m_systemOpened[1].query(), "0");
    settle(kHandOffGapMs);
    clickInBanner("marketRefLink"); // the domain in the query of one of the service's own pages
    WAIT_COMPARE(m_systemOpened.size(), 3);
    QVERIFY(m_systemOpened[2].query().contains("Market.Example.Net"));

    settle(500);
    QVERIFY(opened.isEmpty() && forms().isEmpty());
    QVERIFY(m_sim.requests("/nc/report.asp").isEmpty()); // nothing inside the program fetched it
    QVERIFY(noBrowserWindowOfItsOwn());
}

void TstRouter::ordinaryRequestsOpenSecondaryWindows()
{
    QSignalSpy opened(&m_router, &NewWindowRouter::secondaryWindowOpened);
    QSignalSpy handed(&m_router, &NewWindowRouter::handedToSystem);
    clickInBanner("reportLink");
    clickInBanner("reportLink");
    WAIT_COMPARE(forms().size(), 2);
    QCOMPARE(opened.size(), 2);
    for (BrowserWindow *f : forms()) {
        QVERIFY(f->isVisible());
        WAIT_COMPARE(textOf(f->page(), "reportTitle"), "研究报告 1");
    }
    QVERIFY(handed.isEmpty());
    QVERIFY(noBrowserWindowOfItsOwn());

    // A burst of window.open without a click: ten windows at most, and a
    // request beyond that loads nothing.
    qDeleteAll(forms());
    const int before = quietCount([&] { return m_sim.requests("/nc/report.asp").size(); });
    runJs(m_view->page(), "for (var i = 0; i < 50; i++) window.open('/nc/report.asp?id=' + (100 + i));");
    WAIT_COMPARE(forms().size(), NewWindowRouter::kMaxSecondaryWindows);
    settle(1000);
    QCOMPARE(forms().size(), NewWindowRouter::kMaxSecondaryWindows);
    QCOMPARE(m_router.openWindows(), NewWindowRouter::kMaxSecondaryWindows);
    WAIT_COMPARE(m_sim.requests("/nc/report.asp").size() - before, NewWindowRouter::kMaxSecondaryWindows);
    // Closing one makes room for one more.
    forms().first()->close();
    WAIT_COMPARE(m_router.openWindows(), NewWindowRouter::kMaxSecondaryWindows - 1);
    clickInBanner("reportLink");
    WAIT_COMPARE(m_router.openWindows(), NewWindowRouter::kMaxSecondaryWindows);
}

void TstRouter::postedFormArrivesUnchanged()
{
    clickInBanner("echoSubmit");
    WAIT_COMPARE(forms().size(), 1);
    QWebEnginePage *page = forms().first()->page();
    WAIT_COMPARE(textOf(page, "method"), "POST");

    // The banner page is GBK, and so are the fields it posts.
    QStringEncoder gbk("GBK");
    const QByteArray body = "kind=" + QByteArray(gbk.encode(QStringLiteral("订阅"))).toPercentEncoding()
        + "&note=" + QByteArray(gbk.encode(QStringLiteral("澜策 快报&测试"))).toPercentEncoding().replace("%20", "+");
    const QList<sim::RequestRecord> posts = m_sim.requests("/nc/echo.asp");
    QCOMPARE(posts.size(), 1);
    QCOMPARE(posts[0].method, "POST");
    QCOMPARE(posts[0].body, body);
    QCOMPARE(posts[0].header("Content-Type"), "application/x-www-form-urlencoded");
    QCOMPARE(posts[0].header("Referer"), (m_sim.baseUrl(0) + "/nc/banner.asp").toLatin1());
    QCOMPARE(textOf(page, "body"), QString::fromLatin1(body));
    QVERIFY(noBrowserWindowOfItsOwn());
}

QTEST_MAIN(TstRouter)
#include "tst_mainwin_router.moc"
