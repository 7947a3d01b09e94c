// The hook rule of the secondary browser window, without a browser.
#include "windows/domhooks.h"

#include <QTest>

using namespace lckb;

class TstDomHooks : public QObject
{
    Q_OBJECT
private slots:
    void completionOrderDecidesHooks();
    void onlyExactQuoteAddressesGetTheirOwnHook();
};

static const QString base = QStringLiteral("http://quote.test");

void TstDomHooks::completionOrderDecidesHooks()
{
    // A frameset with neither quote page: frames finish first, the top page last.
    DomHooks plain(base);
    for (const char *doc : {"f1", "f2", "top"})
        plain.documentCompleted(doc, base + "/" + doc);
    QVERIFY(plain.hooked("top") && !plain.hooked("f1") && !plain.hooked("f2") && !plain.hooked(""));
    QVERIFY(plain.quoteWisdom.isEmpty() && plain.quoteIndex.isEmpty());

    // The quote index page holding the wisdom page and one more frame.
    DomHooks h(base);
    h.documentCompleted("w", base + kQuoteWisdomPath);
    h.documentCompleted("n", base + "/wisdom.do?method=news");
    h.documentCompleted("i", base + kQuoteIndexPath);
    const QStringList all{"n", "w", "i"};
    QCOMPARE(QStringList({h.ordinary, h.quoteWisdom, h.quoteIndex}), all);

    // Documents that are not HTML change nothing.
    h.documentCompleted("", base + kQuoteWisdomPath);
    h.documentCompleted("", base + "/picture.png");
    QCOMPARE(QStringList({h.ordinary, h.quoteWisdom, h.quoteIndex}), all);

    // A hook that takes a new document lets the old one go; the others stay.
    h.documentCompleted("w2", base + kQuoteWisdomPath);
    QVERIFY(!h.hooked("w") && h.hooked("w2") && h.hooked("i") && h.hooked("n"));
    h.clear();
    QVERIFY(!h.hooked("w2") && !h.hooked("i") && !h.hooked("n"));
}

void TstDomHooks::onlyExactQuoteAddressesGetTheirOwnHook()
{
    const QString nearMisses[] = {
        base + kQuoteWisdomPath + "&x=1",                         // extra parameter
        base + "/wisdom.do?method=getwisdom&no=777&typ=4",        // letter case
        "http://QUOTE.test" + QString(kQuoteIndexPath),           // letter case of the host
        "http://other.test" + QString(kQuoteWisdomPath),          // another host
        base + "/wisdom.do?userId=20261&method=index",            // parameters reordered
        base + kQuoteIndexPath + "#top",
    };
    for (const QString &url : nearMisses) {
        DomHooks h(base);
        h.documentCompleted("d", url);
        QVERIFY2(h.ordinary == "d" && h.quoteWisdom.isEmpty() && h.quoteIndex.isEmpty(), qPrintable(url));
    }

    // By default the outside quote site is the one recognised.
    DomHooks real;
    real.documentCompleted("i", QString(kQuoteSiteBase) + kQuoteIndexPath);
    real.documentCompleted("w", QString(kQuoteSiteBase) + kQuoteWisdomPath);
    QVERIFY(real.quoteIndex == "i" && real.quoteWisdom == "w" && real.ordinary.isEmpty());
}

QTEST_GUILESS_MAIN(TstDomHooks)
#include "tst_domhooks.moc"
