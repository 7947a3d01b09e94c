#include "app/pagefetch.h"

#include "app/gbk.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

namespace lckb {

QString decodeText(const QByteArray &bytes, const QString &charset, bool *ok)
{
    const QString cs = charset.trimmed().toLower();
    if (cs == u"gb2312" || cs == u"gbk" || cs == u"cp936" || cs == u"windows-936" || cs == u"gb18030") {
        if (ok)
            *ok = true;
        return decodeGbk(bytes);
    }
    QStringDecoder d(cs.toLatin1().constData(), QStringDecoder::Flag::Stateless);
    if (!d.isValid()) {
        if (ok)
            *ok = false;
        return {};
    }
    if (ok)
        *ok = true;
    return d.decode(bytes);
}

PageFetch::PageFetch(QObject *parent)
    : QObject(parent)
    , m_nam(new QNetworkAccessManager(this))
{
    // A cookie or a cached page of an earlier answer must not change the next one.
    m_nam->setCookieJar(nullptr);
}

PageFetch::~PageFetch() = default;

void PageFetch::fetchText(const QString &url, const QString &charset,
                             std::function<void(const FetchResult &)> done)
{
    QNetworkRequest req{QUrl(url, QUrl::TolerantMode)};
    req.setTransferTimeout(m_timeLimitMs);
    req.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    req.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    req.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);

    QNetworkReply *reply = m_nam->get(req);
    ++m_pending;

    // One callback per fetch, whichever of finish, time limit or size limit comes first.
    auto finished = std::make_shared<bool>(false);
    auto finish = [this, reply, finished, done = std::move(done)](FetchResult r) {
        if (*finished)
            return;
        *finished = true;
        --m_pending;
        reply->disconnect(this);
        if (reply->isRunning())
            reply->abort();
        reply->deleteLater();
        done(r);
    };

    // The transfer timeout restarts with every byte, so a server that drips
    // its answer needs a limit on the whole fetch as well.
    auto *overall = new QTimer(reply);
    overall->setSingleShot(true);
    connect(overall, &QTimer::timeout, this, [finish, limit = m_timeLimitMs] {
        FetchResult r;
        r.error = QStringLiteral("time limit of %1 ms reached").arg(limit);
        finish(r);
    });
    overall->start(m_timeLimitMs);

    connect(reply, &QNetworkReply::readyRead, this, [reply, finish, limit = m_sizeLimit] {
        if (reply->bytesAvailable() > limit) {
            FetchResult r;
            r.error = QStringLiteral("body over the limit of %1 bytes").arg(limit);
            finish(r);
        }
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, finish, limit = m_sizeLimit] {
        const QVariant len = reply->header(QNetworkRequest::ContentLengthHeader);
        if (len.isValid() && len.toLongLong() > limit) {
            FetchResult r;
            r.error = QStringLiteral("announced body of %1 bytes is over the limit of %2 bytes").arg(len.toLongLong()).arg(limit);
            finish(r);
        }
    });
    connect(reply, &QNetworkReply::finished, this, [reply, finish, charset] {
        FetchResult r;
        r.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QNetworkReply::NetworkError err = reply->error();
        // An HTTP error status still carries a body that is used like any
        // other; only a failure to get a body at all is an error.
        const bool httpStatusOnly = err >= QNetworkReply::ContentAccessDenied && r.httpStatus > 0
                                    && err != QNetworkReply::OperationCanceledError;
        if (err != QNetworkReply::NoError && !httpStatusOnly) {
            r.error = reply->errorString();
            finish(r);
            return;
        }
        const QByteArray body = reply->readAll();
        if (body.isEmpty()) {
            r.ok = true;
            finish(r);
            return;
        }
        bool known = false;
        r.text = decodeText(body, charset, &known);
        r.ok = known;
        if (!known)
            r.error = QStringLiteral("unknown character set %1").arg(charset);
        finish(r);
    });
}

} // namespace lckb
