#pragma once
// What every embedded browser of the program shares: one profile kept in
// memory (cookies of the service live as long as the run and are shared by
// the main window and the secondary windows; nothing is written to disk), and
// pages that never show a dialog of their own.
#include <QJsonDocument>
#include <QWebEnginePage>

class QWebEngineProfile;

namespace lckb {

// The profile of every page of the program, created on first use and owned
// by the application object, so it outlives every page.
QWebEngineProfile *browserProfile();

// How the program's own scripts in a page talk back: they prefix their
// console messages with a random token that the page's scripts cannot know,
// followed by a blank and JSON.
class ScriptChannel
{
public:
    ScriptChannel();
    // The token as a JavaScript expression, for a script's source.
    QString tokenScript() const;
    // What a console message says, or a null document when it is not ours.
    QJsonDocument read(const QString &message) const;

private:
    QString m_token;
};

// A page whose script dialogs, errors and messages never reach the user, and
// whose documents go only where isNavigableAddress lets them: every page of
// the program is one.
class SilentPage : public QWebEnginePage
{
    Q_OBJECT
public:
    explicit SilentPage(QObject *parent = nullptr);

signals:
    // The page's console messages, for the program's own injected scripts.
    void consoleMessage(int level, const QString &message, int line, const QString &source);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    void javaScriptAlert(const QUrl &, const QString &) override {}
    bool javaScriptConfirm(const QUrl &, const QString &) override { return false; }
    bool javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *) override { return false; }
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override
    {
        emit consoleMessage(int(level), message, line, source);
    }
};

} // namespace lckb
