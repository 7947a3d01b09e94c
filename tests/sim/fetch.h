#pragma once
// One HTTP exchange with the simulator from a QNetworkAccessManager, waited
// for in a local event loop with an overall limit.
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

struct Fetched
{
    bool finished = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    qint64 contentLength = -1;
    int pieces = 0; // readyRead signals: how many parts the body came in
};

inline Fetched fetch(QNetworkAccessManager &nam, const QString &url, int limitMs = 10000,
                     const QByteArray &postBody = {}, int maxRedirects = 5)
{
    QNetworkRequest req{QUrl(url)};
    req.setMaximumRedirectsAllowed(maxRedirects);
    QNetworkReply *reply = nullptr;
    if (postBody.isNull()) {
        reply = nam.get(req);
    } else {
        req.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
        req.setRawHeader("X-Probe", "<probe & co>");
        reply = nam.post(req, postBody);
    }
    Fetched f;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        ++f.pieces;
        f.body += reply->readAll();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    f.finished = reply->isFinished();
    if (reply->isOpen())
        f.body += reply->readAll();
    if (!f.finished)
        reply->abort();
    f.error = reply->error();
    f.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    f.contentType = reply->rawHeader("Content-Type");
    f.contentLength = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong();
    delete reply;
    return f;
}
