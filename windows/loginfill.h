#pragma once
// The one routine that types the remembered login into the service page. The
// login timer of the main window and the save-password form both use it.
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
