#pragma once
// Helpers for the tests that drive real browser pages.
#include <QApplication>
#include <QEventLoop>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>

#include <memory>

// Waits in a real event loop: QTest::qWaitFor and QTRY_ sleep 10 ms between
// rounds of events, which slows the browser's many small tasks tenfold.
template<typename Pred>
bool waitFor(Pred pred, int ms = 10000)
{
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] { if (pred()) loop.quit(); });
    poll.start(5);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!pred())
        loop.exec();
    return pred();
}
inline void settle(int ms) { waitFor([] { return false; }, ms); }
#define WAIT_VERIFY(c) do { waitFor([&] { return bool(c); }); QVERIFY(c); } while (false)
#define WAIT_COMPARE(a, b) do { waitFor([&] { return (a) == (b); }); QCOMPARE(a, b); } while (false)

// Runs `js` in the top document and waits for its result.
inline QVariant runJs(QWebEnginePage *page, const QString &js)
{
    auto result = std::make_shared<std::pair<bool, QVariant>>();
    page->runJavaScript(js, [result](const QVariant &v) { *result = {true, v}; });
    waitFor([&] { return result->first; });
    return result->second;
}

// Clicks the element `id` of the top document (frame -1) or of frame `frame`.
inline void clickIn(QWebEnginePage *page, int frame, const QString &id)
{
    const QString doc = frame < 0 ? QStringLiteral("document") : QStringLiteral("frames[%1].document").arg(frame);
    runJs(page, QStringLiteral("%1.getElementById('%2').click()").arg(doc, id));
}

inline QString textOf(QWebEnginePage *page, const QString &id)
{
    return runJs(page, QStringLiteral("document.getElementById('%1').textContent").arg(id)).toString();
}

inline QMenu *openMenu() { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); }
inline void closeMenus()
{
    while (QWidget *p = QApplication::activePopupWidget())
        p->close();
}

// Widgets of type T (top-level windows only, or all).
template<typename T>
int countOf(bool windowsOnly)
{
    const QWidgetList all = windowsOnly ? QApplication::topLevelWidgets() : QApplication::allWidgets();
    return int(std::count_if(all.begin(), all.end(), [](QWidget *w) { return qobject_cast<T *>(w); }));
}
inline int visibleWindows()
{
    const QWidgetList all = QApplication::topLevelWidgets();
    return int(std::count_if(all.begin(), all.end(), [](QWidget *w) { return w->isVisible(); }));
}
