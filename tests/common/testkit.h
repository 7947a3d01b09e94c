#pragma once
// Helpers for tests that drive real windows and pages headless.
#include "windows/bulletinpopup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVariant>
#include <QWebEnginePage>

#include <algorithm>
#include <memory>

namespace testkit {

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

// The value of `count()` once it has stayed the same for `quietMs` (waiting
// `ms` at most): a page may still have requests of its own in flight (icons,
// frames) after it reported itself complete, and a count taken then is off
// by those.
template<typename Count>
auto quietCount(Count count, int quietMs = 500, int ms = 10000)
{
    QElapsedTimer total, quiet;
    total.start();
    quiet.start();
    auto last = count();
    waitFor([&] {
        const auto now = count();
        if (now != last) {
            last = now;
            quiet.restart();
        }
        return quiet.elapsed() >= quietMs || total.elapsed() >= ms;
    }, ms + 100);
    return count();
}

// Runs `js` in the page's top document and waits for its value.
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

// The value of the element with `id` inside frame `frame` of the page.
inline QString frameValue(QWebEnginePage *page, int frame, const QString &id)
{
    return runJs(page, QStringLiteral("(function(){try{return window.frames[%1].document.getElementById('%2').value;}"
                                      "catch(e){return '<error ' + e + '>';}})()")
                           .arg(frame)
                           .arg(id))
        .toString();
}

// The child of `parent` named `name`, as the window names its controls.
template<typename T = QWidget>
T *child(const QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
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

// The open message boxes whose text is `text` (all of them when empty).
inline QList<QMessageBox *> messageBoxes(const QString &text = {})
{
    QList<QMessageBox *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *b = qobject_cast<QMessageBox *>(w))
            if (b->isVisible() && (text.isEmpty() || b->text() == text))
                out << b;
    return out;
}

// Presses `button` on the one open box with `text`; false when there is none.
inline bool answer(const QString &text, QMessageBox::StandardButton button)
{
    const auto boxes = messageBoxes(text);
    if (boxes.size() != 1 || !boxes.first()->button(button))
        return false;
    boxes.first()->button(button)->click();
    return true;
}

// Pop-ups on screen now.
inline QList<lckb::BulletinPopup *> popups()
{
    QList<lckb::BulletinPopup *> out;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *p = qobject_cast<lckb::BulletinPopup *>(w); p && p->isVisible())
            out << p;
    return out;
}

// Pop-ups belong to no window: whatever a test leaves open outlives the
// application object and counts as a leak. Deletes them, shown or not.
inline void deletePopups()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<lckb::BulletinPopup *>(w))
            delete w;
}

} // namespace testkit

#define WAIT_VERIFY(c) do { testkit::waitFor([&] { return bool(c); }); QVERIFY(c); } while (false)
#define WAIT_COMPARE(a, b) do { testkit::waitFor([&] { return (a) == (b); }); QCOMPARE(a, b); } while (false)
