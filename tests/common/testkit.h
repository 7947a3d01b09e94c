#pragma once
// Helpers for tests that drive real windows and pages headless.
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>

namespace testkit {

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

// Runs `js` in the page (main world unless told) and waits for its value.
inline QVariant runJs(QWebEnginePage *page, const QString &js, int timeoutMs = 10000,
                      quint32 world = QWebEngineScript::MainWorld)
{
    QVariant out;
    bool done = false;
    page->runJavaScript(js, world, [&](const QVariant &v) {
        out = v;
        done = true;
    });
    for (int waited = 0; !done && waited < timeoutMs; waited += 10)
        QTest::qWait(10);
    return out;
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

} // namespace testkit
