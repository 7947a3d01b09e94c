// The pop-ups as the main window raises them: placement, the three-pop-up
// rule with real windows, the click into the service page, the self-close.
#include "browser.h"
#include "fixture.h"
#include "form1.h"
#include "form2.h"
#include "testkit.h"
#include "twips.h"

#include <QAccessible>
#include <QTextDocument>
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalSpy>
#include <QWebEngineView>

using namespace lckb;

namespace {
using testkit::popups;
QList<int> popupIndexes()
{
    QList<int> out;
    for (Form2 *p : popups())
        out << p->index();
    std::sort(out.begin(), out.end());
    return out;
}
void clickTitle(QLabel *label)
{
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
}
} // namespace

class TstPopup : public QObject
{
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (Form2 *p : popups())
            p->close();
        for (QMessageBox *b : testkit::messageBoxes())
            b->close();
        QTest::qWait(20);
    }
    void placementAndLook();
    void threePopupsAtMostAndTheTitleFilter();
    void minimiseRule();
    void clickOpensTheBulletinInTheFourthFrame();
    void clickWithoutAFourthFrameSaysSoOnce();
    void clickWhileLoadingTouchesNoFrame();
    void thirdTickCloses();
};

void TstPopup::placementAndLook()
{
    // 50 twips from the right, 500 above the bottom, outer size counted.
    QCOMPARE(Form2::bottomRightPlace(QRect(0, 0, 1920, 1080), QSize(240, 130), 96),
             QPoint(1920 - 240 - 3, 1080 - 130 - 33));
    QCOMPARE(Form2::bottomRightPlace(QRect(1920, 0, 2880, 1620), QSize(360, 195), 144),
             QPoint(1920 + 2880 - 360 - 5, 1620 - 195 - 50));

    Fixture fx;
    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    w.ShowMsn(QStringLiteral("澜策公司"), QStringLiteral("<b>粗体</b>"), fx.session.serverBase() + "/nc/show.asp?id=1");
    QCOMPARE(popups().size(), 1);
    Form2 *p = popups().first();
    QCOMPARE(p->windowTitle(), QStringLiteral("有新信息，请注意查看！"));
    // The title is shown as text, never as markup.
    QCOMPARE(p->Label1->text(), QStringLiteral("><b>粗体</b><"));
    QCOMPARE(p->Label1->textFormat(), Qt::PlainText);
    QCOMPARE(p->Label2->text(), QStringLiteral("有新信息，请点击查看！"));
    QCOMPARE(p->Label1->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QVERIFY(p->Label1->font().bold());
    QCOMPARE(p->Label1->font().pointSizeF(), 14.25);
    QCOMPARE(p->Label2->font().pointSizeF(), 12.0);
    QCOMPARE(p->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(p->windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(p->windowFlags() & Qt::Tool); // no task-bar entry
    QVERIFY(p->testAttribute(Qt::WA_ShowWithoutActivating));
    QCOMPARE(p->lblIndex->text(), QStringLiteral("1"));
    QCOMPARE(p->ZuNameTxT->text(), QStringLiteral("澜策公司"));
    QVERIFY(!p->ZiUrlTxT->isVisible() && !p->lblIndex->isVisible());
    const qreal dpi = p->screen()->logicalDotsPerInchX();
    QCOMPARE(p->size(), QSize(twipsToPx(3450, dpi), twipsToPx(1530, dpi)));
    QTRY_COMPARE(p->frameGeometry().topLeft(),
                 Form2::bottomRightPlace(p->screen()->geometry(), p->frameGeometry().size(), dpi));
    // A screen reader finds the caption, the title and the invitation.
    auto name = [](QObject *o) { return QAccessible::queryAccessibleInterface(o)->text(QAccessible::Name); };
    QCOMPARE(name(p), QStringLiteral("有新信息，请注意查看！"));
    QCOMPARE(name(p->Label1), QStringLiteral("<b>粗体</b>"));
    QCOMPARE(name(p->Label2), QStringLiteral("有新信息，请点击查看！"));
    for (QWidget *c : {static_cast<QWidget *>(w.Check1), static_cast<QWidget *>(w.shengyin),
                       static_cast<QWidget *>(w.mima), static_cast<QWidget *>(w.Command2),
                       static_cast<QWidget *>(w.Option1[1])})
        QVERIFY2(!name(c).isEmpty() && name(c) == c->property("text").toString(), qPrintable(name(c)));
    // The tooltip too shows the server's text as it is, even markup without
    // a closing ">" that no filter of the reply stops. Rendered as a tooltip
    // label renders it: rich text when it looks like markup.
    for (const QString &title : {QStringLiteral("<b>粗体</b>"), QStringLiteral("<img src=\"/tmp/x.png\" width=300")}) {
        Form2 q(w, 60000);
        q.setData(9, QStringLiteral("澜策公司"), title, fx.session.serverBase() + "/nc/show.asp?id=9");
        QTextDocument shown;
        if (Qt::mightBeRichText(q.toolTip()))
            shown.setHtml(q.toolTip());
        else
            shown.setPlainText(q.toolTip());
        QCOMPARE(shown.toPlainText(), QStringLiteral("澜策公司：") + title);
    }
    // No other window of the program bears the pop-up's caption.
    for (QWidget *top : QApplication::topLevelWidgets())
        if (top != p)
            QVERIFY(top->windowTitle() != Form2::kCaption);
}

void TstPopup::threePopupsAtMostAndTheTitleFilter()
{
    Fixture fx;
    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    for (const char *t : {"Arial font test", "ARIAL", "xarialx"})
        w.ShowMsn("g", QString::fromLatin1(t), "http://x/");
    QVERIFY(popups().isEmpty());
    QCOMPARE(w.alerts().MsnCount(), 0);

    for (int i = 1; i <= 5; ++i)
        w.ShowMsn("g", i == 1 ? QStringLiteral("Aria") : QStringLiteral("title %1").arg(i), "http://x/");
    QCOMPARE(popupIndexes(), QList<int>({3, 4, 5}));
    QCOMPARE(w.alerts().MsnCount(), 5);

    // One the user closed is simply not there any more; the next still
    // closes only what is older than the two before it.
    for (Form2 *p : popups())
        if (p->index() == 4)
            p->close();
    w.ShowMsn("g", "six", "http://x/");
    QCOMPARE(popupIndexes(), QList<int>({5, 6}));
}

void TstPopup::minimiseRule()
{
    Fixture fx;
    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    // Active: left as it is.
    w.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &w);
    w.ShowMsn("g", "a", "http://x/");
    QVERIFY(!w.isMinimized());

    // Visible but another window has the focus: minimised.
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &other);
    w.ShowMsn("g", "b", "http://x/");
    QTRY_VERIFY(w.isMinimized());

    // Hidden in the tray: stays hidden.
    w.hide();
    w.ShowMsn("g", "c", "http://x/");
    QVERIFY(w.isHidden());
}

void TstPopup::clickOpensTheBulletinInTheFourthFrame()
{
    Fixture fx;
    Form1 w(fx.session, &fx.player);
    fx.load(w, false);
    w.showMinimized();
    const QString url = fx.session.serverBase() + "/nc/show.asp?id=4242";
    w.ShowMsn("g", "t", url);
    Form2 *p = popups().first();
    QPointer<Form2> guard(p);
    fx.sim.clearRequests();

    // A click on the empty part of the window does nothing.
    QTest::mouseClick(p, Qt::LeftButton, {}, QPoint(p->width() - 2, p->height() - 2));
    QTest::qWait(100);
    QVERIFY(guard);
    QVERIFY(fx.sim.requests("/nc/show.asp").isEmpty());

    clickTitle(p->Label2);
    QTRY_VERIFY(!guard);
    QTRY_COMPARE(fx.sim.requests("/nc/show.asp").size(), 1);
    QCOMPARE(fx.sim.requests("/nc/show.asp").first().query.queryItemValue("id"), QStringLiteral("4242"));
    QTRY_COMPARE(testkit::runJs(w.page(), "window.frames[3].location.href").toString(), url);
    QVERIFY(w.isVisible());
    QVERIFY(!w.isMinimized());
    QVERIFY(testkit::messageBoxes().isEmpty());
}

void TstPopup::clickWithoutAFourthFrameSaysSoOnce()
{
    Fixture fx;
    fx.sim.setFrameCount(3);
    Form1 w(fx.session, &fx.player);
    fx.load(w, false);
    w.hide();
    w.ShowMsn("g", "t", fx.session.serverBase() + "/nc/show.asp?id=1");
    QPointer<Form2> p = popups().first();
    clickTitle(p->Label1);
    QTRY_COMPARE(testkit::messageBoxes(Form2::kMainNotLoadedText).size(), 1);
    QCOMPARE(testkit::messageBoxes().first()->windowTitle(), lckb::kAppTitle);
    // The rest waits for the message to be answered.
    QVERIFY(p);
    QVERIFY(w.isHidden());
    // A second click meanwhile does not say it twice.
    if (p)
        p->Click();
    QTest::qWait(100);
    QCOMPARE(testkit::messageBoxes(Form2::kMainNotLoadedText).size(), 1);
    QVERIFY(testkit::answer(Form2::kMainNotLoadedText, QMessageBox::Ok));
    QTRY_VERIFY(!p);
    QVERIFY(w.isVisible());
    QVERIFY(fx.sim.requests("/nc/show.asp").isEmpty());
}

void TstPopup::clickWhileLoadingTouchesNoFrame()
{
    Fixture fx;
    fx.sim.setMainPageDelay(60000);
    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    w.showMinimized();
    QTest::qWait(200);
    QVERIFY(!w.pageComplete());
    w.ShowMsn("g", "t", fx.session.serverBase() + "/nc/show.asp?id=1");
    QPointer<Form2> p = popups().first();
    clickTitle(p->Label1);
    QTRY_VERIFY(!p);
    QVERIFY(!w.isMinimized());
    QVERIFY(testkit::messageBoxes().isEmpty());
    QVERIFY(fx.sim.requests("/nc/show.asp").isEmpty());
    w.page()->triggerAction(QWebEnginePage::Stop);
}

void TstPopup::thirdTickCloses()
{
    Fixture fx;
    fx.session.intervals.popupTick = 100;
    Form1 w(fx.session, &fx.player);
    w.Form_Load();
    w.ShowMsn("g", "t", "http://x/");
    QPointer<Form2> p = popups().first();
    QTRY_COMPARE_WITH_TIMEOUT(p ? p->lngTicks : -1, 2, 2000);
    QVERIFY(p && p->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!p, 2000);
    QCOMPARE(w.alerts().openPopupIndexes(), QList<int>());
}

QTEST_MAIN(TstPopup)
#include "tst_mainwin_popup.moc"
