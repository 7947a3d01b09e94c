#include "windows/pagescripts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>
#include <QVariantMap>

namespace lckb {

QString webOrigin(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    QString host = url.host(QUrl::FullyEncoded).toLower();
    if (host.contains(u':'))
        host = u'[' + host + u']';
    const int defaultPort = scheme == u"https" ? 443 : scheme == u"http" ? 80 : -1;
    const int port = url.port(defaultPort);
    return scheme + QStringLiteral("://") + host + (port == defaultPort ? QString() : u':' + QString::number(port));
}

QString loginFillScript(const QString &user, const QString &pass, const QString &origin)
{
    const QByteArray args = QJsonDocument(QJsonArray{user, pass, origin}).toJson(QJsonDocument::Compact);
    // The origins are checked here as well as by the caller: between the
    // caller's look at the address and this run, a frame's script may have
    // moved the top page elsewhere.
    return QStringLiteral(R"JS((function (login) {
  var user = login[0], pass = login[1], origin = login[2], frames = -1, set = 0;
  try {
    if (!origin || window.location.origin !== origin) return {ok: false, frames: frames, set: 0, err: 'origin'};
    frames = window.frames.length;
    if (frames !== 4) return {ok: false, frames: frames, set: 0};
    var frame = window.frames[3];
    if (frame.location.origin !== origin) return {ok: false, frames: frames, set: 0, err: 'origin'};
    var doc = frame.document;
    var all = doc.all || doc.getElementsByTagName('*');
    for (var i = 0; i < all.length; i++) {
      var e = all[i];
      if (String(e.tagName).toUpperCase() !== 'INPUT') continue;
      if (e.type !== 'text' && e.type !== 'password') continue;
      if (e.name === 'UserName') { e.value = user; set++; }
      else if (e.name === 'UserPassword') { e.value = pass; set++; }
    }
    return {ok: true, frames: frames, set: set};
  } catch (err) {
    return {ok: false, frames: frames, set: set, err: String(err)};
  }
})(%1))JS")
        .arg(QString::fromUtf8(args));
}

QString frameNavigationScript(const QString &url)
{
    const QByteArray args = QJsonDocument(QJsonArray{url}).toJson(QJsonDocument::Compact);
    return QStringLiteral(R"JS((function (a) {
  try {
    if (window.frames.length < 4) return false;
    window.frames[3].location = a[0];
    return true;
  } catch (e) { return false; }
})(%1))JS")
        .arg(QString::fromUtf8(args));
}

LoginFillResult LoginFillResult::fromVariant(const QVariant &v)
{
    LoginFillResult r;
    const QVariantMap m = v.toMap();
    if (m.isEmpty()) {
        r.error = QStringLiteral("script did not run");
        return r;
    }
    r.ok = m.value(QStringLiteral("ok")).toBool();
    r.frames = m.value(QStringLiteral("frames"), -1).toInt();
    r.set = m.value(QStringLiteral("set")).toInt();
    r.error = m.value(QStringLiteral("err")).toString();
    return r;
}

} // namespace lckb
