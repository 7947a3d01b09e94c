#pragma once
// The scripts the program runs in the main window's service page: the one
// routine that types the remembered login into it (the login timer and the
// save-password form both use it), and the one that opens an address in its
// fourth frame.
#include <QString>
#include <QVariant>

class QUrl;

namespace lckb {

// The web origin of an address as a page's location.origin gives it:
// "http://host" or "http://host:port" (no default port). Empty when the
// address names no host.
QString webOrigin(const QUrl &url);

// JavaScript for the main page's top document: when the top document and the
// fourth frame are both of `origin` (the service's, see webOrigin) and the
// page has exactly four frames, every INPUT of the fourth frame whose type is
// exactly "text" or "password" gets `user` if its name is exactly "UserName"
// and `pass` if it is exactly "UserPassword". Nothing is submitted or
// clicked. The values travel JSON-encoded, never pasted into the source. The
// script evaluates to {ok, frames, set[, err]}.
QString loginFillScript(const QString &user, const QString &pass, const QString &origin);

// The login fill as the page repeats it itself: a script to inject into the
// isolated world of every top document (QWebEngineScript::ApplicationWorld,
// at DocumentReady). It holds no login; pageFillStart hands the login to one
// document, pageFillStop takes it back. Each run of the fill whose result
// differs from the run before is told as a console message: the token (the
// script expression `tokenScript`, see ScriptChannel), a blank, then the
// result as JSON ({ok, frames, set[, err]}).
QString pageFillRoutine();
// Run in the same world: the routine fills now and then every `intervalMs`.
QString pageFillStart(const QString &user, const QString &pass, const QString &origin, const QString &tokenScript,
                      int intervalMs);
QString pageFillStop();

// JavaScript for the main page's top document: when the page has at least
// four frames, the fourth one loads `url` (JSON-encoded into the source). The
// script evaluates to true when the frame was told to go there.
QString frameNavigationScript(const QString &url);

struct LoginFillResult
{
    bool ok = false;  // the fourth frame was reached and walked to the end
    int frames = -1;  // frames of the page; -1 when the script did not run
    int set = 0;      // fields given a value
    QString error;

    static LoginFillResult fromVariant(const QVariant &v);
};

} // namespace lckb
Q_DECLARE_METATYPE(lckb::LoginFillResult)
