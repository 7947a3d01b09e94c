#pragma once
// Fetches one page of the service's server as text.
//
// The fetch is asynchronous: the caller gets its answer through a callback
// while the event loop keeps the windows, the tray and every timer alive.
#include "app/timing.h"

#include <QObject>
#include <QString>
#include <functional>

class QNetworkAccessManager;

namespace lckb {

struct FetchResult
{
    bool ok = false;     // false: no body could be had (network, time limit, size, charset)
    QString text;        // the decoded body; empty for an empty body
    QString error;       // what went wrong, for logs and tests
    int httpStatus = 0;  // any status is accepted; its body is used all the same
};

// `bytes` decoded in `charset`. "GB2312", "GBK" and "cp936" mean
// code page 936. Bad bytes become U+FFFD; an unknown charset gives ok=false.
QString decodeText(const QByteArray &bytes, const QString &charset, bool *ok = nullptr);

class PageFetch : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultTimeLimitMs = kFetchLimitMs;
    // A reminder reply is a few hundred bytes; anything this large is not one.
    static constexpr qint64 kDefaultSizeLimit = 4 * 1024 * 1024;

    explicit PageFetch(QObject *parent = nullptr);
    ~PageFetch() override;

    void setTimeLimit(int ms) { m_timeLimitMs = ms; }
    void setSizeLimit(qint64 bytes) { m_sizeLimit = bytes; }

    // A GET of exactly `url`, with no credentials; `done` runs once
    // on this object's thread when the body is complete or the fetch failed.
    // Destroying the PageFetch abandons pending fetches without calling back.
    void fetchText(const QString &url, const QString &charset,
                      std::function<void(const FetchResult &)> done);

    int pending() const { return m_pending; }

private:
    QNetworkAccessManager *m_nam;
    int m_timeLimitMs = kDefaultTimeLimitMs;
    qint64 m_sizeLimit = kDefaultSizeLimit;
    int m_pending = 0;
};

} // namespace lckb
