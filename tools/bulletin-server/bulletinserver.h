#pragma once
// A stand-in for the bulletin service: its frameset main page with the login
// frame, the reminder reply the client polls, the bulletin pages and the
// quote-site pages, on one or more loopback ports. Tests drive it in-process;
// lckb-sim wraps it for scripts and the demo.
#include "httpserver.h"
#include "scenario.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QRandomGenerator>
#include <QUrlQuery>

#include <memory>

class QIODevice;
class QTimer;

namespace lckb::sim {

struct RequestRecord
{
    QDateTime time;
    quint16 port = 0;     // the local port the request came in on
    QByteArray method;    // "GET", "POST", ...
    QString target;       // path and query as sent (percent-encoded)
    QString path;
    QUrlQuery query;
    HeaderList headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const; // first match, any letter case
    // "hh:mm:ss.zzz<TAB>port<TAB>method<TAB>target[<TAB>body]", the body
    // escaped onto one line.
    QString logLine() const;
};

class BulletinServer : public QObject
{
    Q_OBJECT
public:
    explicit BulletinServer(QObject *parent = nullptr);
    ~BulletinServer() override;

    // One listening socket per port, in order; port 0 picks a free one. Can be
    // called again to add ports. False (see errorString()) if a port is taken.
    bool listen(const QList<quint16> &ports = {0},
                const QHostAddress &address = QHostAddress(QHostAddress::LocalHost));
    QList<quint16> ports() const { return m_ports; }
    QString baseUrl(int index = 0) const; // "http://127.0.0.1:PORT"
    QString errorString() const { return m_error; }

    // --- The reminder reply -------------------------------------------------
    // The standing reply: served whenever no scenario runs. It starts with one
    // generated bulletin per channel.
    QByteArray currentReply() const { return m_current; }
    void setReply(const QByteArray &raw);          // ends any scenario
    void setChannelLine(int channel, const QString &line); // one line of the standing reply; ends any scenario
    // Publishes a new bulletin on `channel` (a generated title when `title` is
    // empty) into the standing reply, which a running scenario leaves unserved
    // until it is cleared; returns its id.
    int publish(int channel, const QString &title = {});
    int publishRandom(); // on a random channel
    // Live mode: publishRandom() every `ms`; 0 stops.
    void setLiveInterval(int ms);
    // Re-seeds the generated titles and channels and starts the standing reply
    // afresh from it (ids from 10001 again). The default seed is 20261.
    void setSeed(quint32 seed);

    // Scripted replies. Steps run in order; the last one repeats for good.
    void setScenario(const Scenario &scenario);
    void setScenario(const QList<Step> &steps, int stepMs = 0);
    void setFault(const Step &fault) { setScenario(QList<Step>{fault}); }
    void clearScenario(); // back to the standing reply
    bool scenarioActive() const { return !m_steps.isEmpty(); }

    // After a reset or a redirect loop, a client library may send the same
    // request once more on a fresh connection (Qt 6.8 does after a loop). In
    // per-request mode a repeat of that request within this window meets the
    // same fault rather than taking the next step, so one poll of the client
    // meets one step.
    static constexpr int kResendWindowMs = 1000;

    // --- Main page knobs ----------------------------------------------------
    void setFrameCount(int frames); // 3, 4 or 5; the login frame stays the last of the first four
    int frameCount() const { return m_frames; }
    void setMainPageDelay(int ms);  // the main page answers after this long
    int mainPageDelay() const { return m_mainDelayMs; }

    // Title of bulletin `id` as published or seen in a reply; empty if unknown.
    QString bulletinTitle(int id) const;

    // --- Request log --------------------------------------------------------
    QList<RequestRecord> requests() const { return m_requests; }
    QList<RequestRecord> requests(const QString &path) const;
    void clearRequests() { m_requests.clear(); }
    // Writes RequestRecord::logLine() of each request to `device`, flushed per
    // line. The device is not owned; nullptr stops.
    void setLogDevice(QIODevice *device) { m_log = device; }

Q_SIGNALS:
    void requestReceived(const lckb::sim::RequestRecord &record);

private:
    struct Bulletin
    {
        QString title;
        int channel = -1;
    };

    void handle(const HttpRequest &request, HttpConnection *conn);
    void serveReminder(const RequestRecord &rec, HttpConnection *conn);
    void serveStep(const Step &step, const RequestRecord &rec, HttpConnection *conn);
    Step nextStep(const RequestRecord &rec);
    void serveMainPage(HttpConnection *conn);
    void serveLogin(const RequestRecord &rec, HttpConnection *conn);
    void serveQuote(const RequestRecord &rec, HttpConnection *conn);
    void learnTitles(const QByteArray &reply);
    QString makeTitle(int channel);
    QByteArray headlinesPage(int page) const;

    std::unique_ptr<HttpServer> m_http;
    QList<quint16> m_ports;
    QString m_host;
    QString m_error;

    QByteArray m_current;
    QHash<int, Bulletin> m_bulletins;
    int m_nextId = 10001;
    QRandomGenerator m_rng;
    QElapsedTimer m_clock;
    QTimer *m_liveTimer = nullptr;

    QList<Step> m_steps;  // resolved: no Channel steps left
    QList<int> m_stepEnds; // cumulative `times`
    int m_stepMs = 0;
    int m_served = 0;
    qint64 m_scenarioStart = 0;
    QString m_resetTarget;  // the request a reset or a loop answered last,
    qint64 m_resetAt = -1;  // when (-1: none to repeat)
    Step m_resetStep;       // and with which fault

    int m_frames = 4;
    int m_mainDelayMs = 0;

    QList<RequestRecord> m_requests;
    QIODevice *m_log = nullptr;
};

} // namespace lckb::sim

Q_DECLARE_METATYPE(lckb::sim::RequestRecord)
