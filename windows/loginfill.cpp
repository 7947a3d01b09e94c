#include "loginfill.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariantMap>

namespace lckb {

QString loginFillScript(const QString &user, const QString &pass)
{
    const QByteArray args = QJsonDocument(QJsonArray{user, pass}).toJson(QJsonDocument::Compact);
    return QStringLiteral(R"JS((function (login) {
  var user = login[0], pass = login[1], frames = -1, set = 0;
  try {
    frames = window.frames.length;
    if (frames !== 4) return {ok: false, frames: frames, set: 0};
    var doc = window.frames[3].document;
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
