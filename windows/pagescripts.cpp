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

namespace {

QString json(const QJsonArray &values)
{
    return QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
}

// The fill itself, a function of [user, pass, origin] that evaluates to
// {ok, frames, set[, err]}. The origins are checked in here as well as by
// the program: a frame's script may have moved the top page elsewhere since
// the program looked at its address. A field already holding its value is
// left alone, so a page at rest sees no change at all. `seen`, when given,
// receives every field the fill is responsible for.
const char kFillFunction[] = R"JS(function (login, seen) {
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
      var want = e.name === 'UserName' ? user : e.name === 'UserPassword' ? pass : null;
      if (want === null) continue;
      if (e.value !== want) e.value = want;
      if (seen) seen.push(e);
      set++;
    }
    return {ok: true, frames: frames, set: set};
  } catch (err) {
    return {ok: false, frames: frames, set: set, err: String(err)};
  }
})JS";

// Lives in the page's isolated world, so the page's own scripts can neither
// see the login nor stop the fill. It repeats the fill on the page's own
// timer: a script sent into the page every two seconds leaves garbage in the
// page's process that the engine frees only hours later. It tells the
// program a result only when it differs from the one before.
//
// A full fill walks the login frame and builds a result; every two seconds
// in a page in view that, too, leaves garbage the engine keeps for hours. So
// a tick first looks whether the last fill still holds: the same document in
// the fourth frame, no element added, removed or renamed there since (a
// mutation observer tells), and every field it filled still in place with
// its value. Then there is nothing to do and next to nothing is allocated.
// Anything else, a value typed or set by a script included, runs the full
// fill with its origin checks. The shortcut writes nothing, so needs none.
const char kPageRoutine[] = R"JS((function () {
  var fill = %1;
  var timer = 0, last = '';
  var doc = null, fields = [], wants = [], changed = true;
  var watch = new MutationObserver(function () { changed = true; });
  var frameDoc = function () {
    try { return window.frames.length === 4 ? window.frames[3].document : null; } catch (e) { return null; }
  };
  var holds = function () {
    if (changed || !doc || frameDoc() !== doc) return false;
    for (var i = 0; i < fields.length; i++)
      if (!fields[i].isConnected || fields[i].value !== wants[i]) return false;
    return true;
  };
  var forget = function () {
    watch.disconnect();
    doc = null;
    fields = [];
    wants = [];
    changed = true;
  };
  window.lckbLoginFill = {
    start: function (login, token, ms) {
      this.stop();
      var tick = function () {
        if (document.readyState !== 'complete' || holds()) return;
        var d = frameDoc(), seen = [];
        if (d !== doc) {
          forget();
          if (d) watch.observe(d, {childList: true, subtree: true, attributes: true,
                                   attributeFilter: ['name', 'type']});
          doc = d;
        }
        changed = false;
        var res = fill(login, seen);
        if (res.ok) {
          fields = seen;
          wants = seen.map(function (e) { return e.name === 'UserName' ? login[0] : login[1]; });
        } else {
          forget();
        }
        var r = JSON.stringify(res);
        if (r === last) return;
        last = r;
        console.log(token + ' ' + r);
      };
      tick();
      timer = setInterval(tick, ms);
    },
    stop: function () {
      clearInterval(timer);
      timer = 0;
      last = '';
      forget();
    }
  };
})();)JS";

} // namespace

QString loginFillScript(const QString &user, const QString &pass, const QString &origin)
{
    return u'(' + QString::fromLatin1(kFillFunction) + QStringLiteral(")(") + json({user, pass, origin}) + u')';
}

QString pageFillRoutine()
{
    return QString::fromLatin1(kPageRoutine).arg(QString::fromLatin1(kFillFunction));
}

QString pageFillStart(const QString &user, const QString &pass, const QString &origin, const QString &tokenScript,
                      int intervalMs)
{
    return QStringLiteral("window.lckbLoginFill && window.lckbLoginFill.start(%1, %2, %3)")
        .arg(json({user, pass, origin}), tokenScript, QString::number(intervalMs));
}

QString pageFillStop()
{
    return QStringLiteral("window.lckbLoginFill && window.lckbLoginFill.stop()");
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
