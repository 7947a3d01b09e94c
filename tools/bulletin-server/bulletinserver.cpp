#include "bulletinserver.h"

#include "app/external.h"
#include "app/gbk.h"
#include "pages.h"

#include <QFileDevice>
#include <QIODevice>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

namespace lckb::sim {
namespace {

const QByteArray kHtml = "text/html; charset=GBK";
const QByteArray kText = "text/plain; charset=GBK";

QString pathOf(const char *pathAndQuery) { return QUrl(QString::fromLatin1(pathAndQuery)).path(); }

// Every answer carries the same framing and cache headers; faults that
// shape the bytes on the wire build on the same head.
const HeaderList kNoCache = {{"Cache-Control", "no-cache"}};

QByteArray head(HttpConnection *conn, int status, const QByteArray &type, qint64 length,
                const HeaderList &extra = {})
{
    return conn->head(status, type, length, kNoCache + extra);
}

void send(HttpConnection *conn, int status, const QByteArray &type, const QByteArray &body,
          const HeaderList &extra = {})
{
    conn->respond(status, type, body, kNoCache + extra);
}

// Writes one byte per tick, each on the wire on its own; lives on the
// connection, so it dies with it.
class Drip : public QObject
{
public:
    Drip(HttpConnection *conn, const QByteArray &body, int delayMs)
        : QObject(conn), m_conn(conn), m_body(conn->headOnly() ? QByteArray() : body)
    {
        // Without this, Nagle's algorithm would bundle the bytes again.
        conn->socket()->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        conn->socket()->write(head(conn, 200, kText, body.size()));
        conn->socket()->flush();
        connect(&m_timer, &QTimer::timeout, this, &Drip::tick);
        m_timer.start(delayMs);
    }

private:
    void tick()
    {
        if (!m_conn->connected())
            return;
        if (m_pos < m_body.size()) {
            m_conn->socket()->write(m_body.constData() + m_pos++, 1);
            m_conn->socket()->flush();
        }
        if (m_pos >= m_body.size()) {
            m_timer.stop();
            m_conn->finish();
            deleteLater();
        }
    }

    HttpConnection *m_conn;
    QByteArray m_body;
    qsizetype m_pos = 0;
    QTimer m_timer;
};

// Streams `total` bytes of a repeating block, topping the socket's buffer up
// as it drains, so a huge body costs a bounded amount of memory.
class Stream : public QObject
{
public:
    Stream(HttpConnection *conn, const QByteArray &pattern, qint64 total)
        : QObject(conn), m_conn(conn), m_left(conn->headOnly() ? 0 : total)
    {
        // A whole number of patterns, so consecutive blocks continue the text.
        while (m_block.size() < kBlock)
            m_block += pattern;
        conn->socket()->write(head(conn, 200, kText, total));
        connect(conn->socket(), &QTcpSocket::bytesWritten, this, &Stream::pump);
        pump();
    }

private:
    static constexpr qsizetype kBlock = 64 * 1024;
    static constexpr qint64 kHighWater = 1024 * 1024;

    void pump()
    {
        QTcpSocket *socket = m_conn->socket();
        while (m_left > 0 && m_conn->connected() && socket->bytesToWrite() < kHighWater) {
            const qint64 n = qMin<qint64>(m_left, m_block.size());
            socket->write(m_block.constData(), n);
            m_left -= n;
        }
        if (m_left == 0 && !m_done) {
            // Queued, not yet sent: the next answer, or the close, goes after it.
            m_done = true;
            disconnect(socket, nullptr, this, nullptr);
            m_conn->finish();
            deleteLater();
        }
    }

    HttpConnection *m_conn;
    QByteArray m_block;
    qint64 m_left;
    bool m_done = false;
};

QString escapeForLog(const QByteArray &bytes)
{
    constexpr qsizetype kMax = 2000;
    QString out;
    for (qsizetype i = 0; i < qMin(bytes.size(), kMax); ++i) {
        const uchar c = uchar(bytes.at(i));
        if (c == '\\')
            out += QStringLiteral("\\\\");
        else if (c == '\r')
            out += QStringLiteral("\\r");
        else if (c == '\n')
            out += QStringLiteral("\\n");
        else if (c == '\t')
            out += QStringLiteral("\\t");
        else if (c >= 0x20 && c < 0x7F)
            out += QChar(c);
        else
            out += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > kMax)
        out += QStringLiteral("...(%1 bytes)").arg(bytes.size());
    return out;
}

// Words for generated titles: invented companies and themes.
const char *const kCompanies[] = {"澜江电力", "青岚科技", "云岭药业", "东昇半导体", "远帆航运",
                                  "沐阳新能源", "鼎川重工", "星禾食品", "北辰材料", "华岳通信"};
const char *const kThemes[] = {"固态电池", "低空经济", "人形机器人", "算力租赁",
                               "创新药", "数据要素", "卫星互联网", "储能"};
const char *const kEvents[] = {"发布三季度业绩预告", "拟回购不超过%n亿元股份", "中标%n亿元重大项目",
                               "签订战略合作协议", "控股股东增持计划实施完毕", "获%n家机构调研"};
// Per channel; %c company, %t theme, %e event, %n a number.
const char *const kTemplates[kChannelCount][3] = {
    {"证监会就%t发展征求意见", "央行开展%n00亿元逆回购操作", "发改委：加快推进%t产业布局"},
    {"%c%e", "%c：%e", "%c公告：%e"},
    {"北向资金净买入%n亿元", "%c获%n家机构调研", "主力资金流入%t板块"},
    {"%t板块异动 %c涨停", "盘中快讯：%c快速拉升", "%c午后跳水 成交放量"},
    {"私募仓位升至%n成", "知名私募看好%t", "私募周报：%t成布局重点"},
    {"%c机构交流纪要", "%t行业专家会议纪要", "券商策略会纪要：关注%t"},
    {"%c：%e", "%t：%c%e", "速递：%c%e"},
    {"%t概念持续走强", "%t题材再获资金关注", "%t产业链梳理"},
};

} // namespace

// ---------------------------------------------------------------------------

QByteArray RequestRecord::header(const QByteArray &name) const { return headerValue(headers, name); }

QString RequestRecord::logLine() const
{
    QString line = time.toString(QStringLiteral("hh:mm:ss.zzz")) + u'\t' + QString::number(port) + u'\t'
        + QString::fromLatin1(method) + u'\t' + target;
    if (!body.isEmpty())
        line += u'\t' + escapeForLog(body);
    return line;
}

BulletinServer::BulletinServer(QObject *parent)
    : QObject(parent),
      m_http(std::make_unique<HttpServer>([this](const HttpRequest &request, HttpConnection *conn) {
          handle(request, conn);
      })),
      m_liveTimer(new QTimer(this))
{
    m_clock.start();
    connect(m_liveTimer, &QTimer::timeout, this, &BulletinServer::publishRandom);
    setSeed(20261);
}

BulletinServer::~BulletinServer() = default;

bool BulletinServer::listen(const QList<quint16> &ports, const QHostAddress &address)
{
    if (address == QHostAddress::Any || address == QHostAddress::AnyIPv4)
        m_host = QStringLiteral("127.0.0.1");
    else if (address.protocol() == QAbstractSocket::IPv6Protocol)
        m_host = u'[' + address.toString() + u']';
    else
        m_host = address.toString();
    for (quint16 wanted : ports) {
        const quint16 got = m_http->listen(address, wanted);
        if (got == 0) {
            m_error = QStringLiteral("cannot listen on %1:%2: %3")
                          .arg(address.toString())
                          .arg(wanted)
                          .arg(m_http->errorString());
            return false;
        }
        m_ports << got;
    }
    return true;
}

QString BulletinServer::baseUrl(int index) const
{
    if (index < 0 || index >= m_ports.size())
        return {};
    return QStringLiteral("http://%1:%2").arg(m_host).arg(m_ports.at(index));
}

// --- reply state -----------------------------------------------------------

void BulletinServer::setReply(const QByteArray &raw)
{
    clearScenario();
    m_current = raw;
    learnTitles(raw);
}

void BulletinServer::setChannelLine(int channel, const QString &line)
{
    if (channel < 0 || channel >= kChannelCount)
        return;
    QList<QByteArray> lines = replyLines(m_current);
    lines[channel] = encodeGbk(line);
    setReply(joinReplyLines(lines));
}

int BulletinServer::publish(int channel, const QString &title)
{
    if (channel < 0 || channel >= kChannelCount)
        return -1;
    const int id = m_nextId++;
    const QString t = title.isEmpty() ? makeTitle(channel) : title;
    m_bulletins.insert(id, {t, channel});
    QList<QByteArray> lines = replyLines(m_current);
    lines[channel] = encodeGbk(QStringLiteral("%1,%2,%3,/nc/show.asp?id=%1")
                                   .arg(id)
                                   .arg(t, QString::fromUtf8(kChannelCaptions[channel])));
    m_current = joinReplyLines(lines);
    return id;
}

int BulletinServer::publishRandom()
{
    return publish(int(m_rng.bounded(kChannelCount)));
}

void BulletinServer::setLiveInterval(int ms)
{
    if (ms > 0)
        m_liveTimer->start(ms);
    else
        m_liveTimer->stop();
}

void BulletinServer::setSeed(quint32 seed)
{
    m_rng.seed(seed);
    m_nextId = 10001;
    m_current.clear();
    for (int k = 0; k < kChannelCount; ++k)
        publish(k);
}

QString BulletinServer::makeTitle(int channel)
{
    auto pick = [this](const auto &list) {
        return QString::fromUtf8(list[m_rng.bounded(int(std::size(list)))]);
    };
    QString t = pick(kTemplates[channel]);
    t.replace(QStringLiteral("%e"), pick(kEvents));
    t.replace(QStringLiteral("%c"), pick(kCompanies));
    t.replace(QStringLiteral("%t"), pick(kThemes));
    t.replace(QStringLiteral("%n"), QString::number(m_rng.bounded(2, 60)));
    return t;
}

void BulletinServer::learnTitles(const QByteArray &reply)
{
    const QList<QByteArray> lines = replyLines(reply);
    for (int k = 0; k < lines.size(); ++k) {
        const QStringList f = decodeGbk(lines.at(k)).split(QLatin1Char(','));
        bool ok = false;
        const int id = f.value(0).toInt(&ok);
        if (ok && f.size() >= 2)
            m_bulletins.insert(id, {f.at(1), k < kChannelCount ? k : -1});
    }
}

QString BulletinServer::bulletinTitle(int id) const
{
    return m_bulletins.value(id).title;
}

// --- scenario --------------------------------------------------------------

void BulletinServer::setScenario(const Scenario &scenario)
{
    setScenario(scenario.steps, scenario.stepMs);
}

void BulletinServer::setScenario(const QList<Step> &steps, int stepMs)
{
    clearScenario();
    QByteArray previous = m_current;
    bool havePrevious = false;
    int end = 0;
    for (Step s : steps) {
        if (s.kind == Step::Kind::Channel) {
            QList<QByteArray> lines = replyLines(previous);
            lines[qBound(0, s.channel, kChannelCount - 1)] = s.body;
            s.kind = Step::Kind::Reply;
            s.body = joinReplyLines(lines);
        }
        if (s.kind == Step::Kind::Reply) {
            previous = s.body;
            havePrevious = true;
            learnTitles(s.body);
        }
        // A drip with nothing of its own drips the reply before it; with no
        // reply before it, the standing reply at the time it is served.
        if (s.kind == Step::Kind::Drip && s.body.isEmpty() && havePrevious)
            s.body = previous;
        end += qMax(1, s.times);
        m_steps << s;
        m_stepEnds << end;
    }
    m_stepMs = qMax(0, stepMs);
    m_scenarioStart = m_clock.elapsed();
}

void BulletinServer::clearScenario()
{
    m_steps.clear();
    m_stepEnds.clear();
    m_served = 0;
    m_resetAt = -1;
}

Step BulletinServer::nextStep(const RequestRecord &rec)
{
    int position;
    if (m_stepMs > 0) {
        position = int((m_clock.elapsed() - m_scenarioStart) / m_stepMs);
    } else {
        if (m_resetAt >= 0 && rec.target == m_resetTarget
            && m_clock.elapsed() - m_resetAt < kResendWindowMs) {
            m_resetAt = -1;
            return m_resetStep;
        }
        position = m_served++;
    }
    qsizetype i = 0;
    while (i < m_stepEnds.size() - 1 && m_stepEnds.at(i) <= position)
        ++i;
    if (m_stepMs == 0
        && (m_steps.at(i).kind == Step::Kind::Reset || m_steps.at(i).kind == Step::Kind::RedirectLoop)) {
        m_resetTarget = rec.target;
        m_resetAt = m_clock.elapsed();
        m_resetStep = m_steps.at(i);
    }
    return m_steps.at(i);
}

// --- serving ---------------------------------------------------------------

void BulletinServer::setFrameCount(int frames)
{
    m_frames = qBound(3, frames, 5);
}

void BulletinServer::setMainPageDelay(int ms)
{
    m_mainDelayMs = qMax(0, ms);
}

QList<RequestRecord> BulletinServer::requests(const QString &path) const
{
    QList<RequestRecord> out;
    for (const RequestRecord &r : m_requests)
        if (r.path == path)
            out << r;
    return out;
}

void BulletinServer::handle(const HttpRequest &request, HttpConnection *conn)
{
    RequestRecord rec;
    rec.time = QDateTime::currentDateTime();
    rec.port = conn->socket()->localPort();
    rec.method = request.method;
    const QUrl url = request.url();
    rec.path = url.path();
    rec.target = url.path(QUrl::FullyEncoded);
    if (url.hasQuery())
        rec.target += u'?' + url.query(QUrl::FullyEncoded);
    rec.query = QUrlQuery(url);
    rec.headers = request.headers;
    rec.body = request.body;
    m_requests << rec;
    if (m_log) {
        m_log->write(rec.logLine().toUtf8() + '\n');
        if (auto *file = qobject_cast<QFileDevice *>(m_log))
            file->flush();
    }
    emit requestReceived(rec);

    const QString &path = rec.path;
    const int id = rec.query.queryItemValue(QStringLiteral("id")).toInt();
    if (path == pathOf(kReminderPath)) {
        serveReminder(rec, conn);
    } else if (path == pathOf(kMainPagePath)) {
        serveMainPage(conn);
    } else if (path == u"/nc/banner.asp") {
        send(conn, 200, kHtml, pages::banner());
    } else if (path == u"/nc/news.asp") {
        send(conn, 200, kHtml, headlinesPage(rec.query.queryItemValue(QStringLiteral("p")).toInt()));
    } else if (path == u"/nc/login.asp") {
        serveLogin(rec, conn);
    } else if (path == u"/nc/echo.asp") {
        send(conn, 200, kHtml, pages::echo(rec));
    } else if (path == u"/nc/report.asp") {
        send(conn, 200, kHtml, pages::report(qMax(1, id)));
    } else if (path == u"/nc/show.asp") {
        const Bulletin b = m_bulletins.value(id);
        send(conn, 200, kHtml,
             pages::bulletin(id, b.title,
                             b.channel >= 0 ? QString::fromUtf8(kChannelCaptions[b.channel]) : QString()));
    } else if (path == pathOf(kQuoteIndexPath)) {
        serveQuote(rec, conn);
    } else if (path == u"/") {
        send(conn, 302, kHtml, {}, {{"Location", kMainPagePath}});
    } else {
        send(conn, 404, kHtml, pages::notFound(rec.target));
    }
}

QByteArray BulletinServer::headlinesPage(int page) const
{
    const int from = page == 2 ? 4 : 0;
    const int to = page == 1 ? 4 : kChannelCount;
    const QList<QByteArray> lines = replyLines(m_current);
    QList<pages::Headline> rows;
    for (int k = from; k < to; ++k) {
        const QStringList f = decodeGbk(lines.at(k)).split(QLatin1Char(','));
        if (f.size() >= 3)
            rows.append({f.at(0), f.at(1), f.at(2)});
    }
    return pages::headlines(page == 2 ? QStringLiteral("机构视点") : QStringLiteral("今日要闻"), rows);
}

void BulletinServer::serveMainPage(HttpConnection *conn)
{
    const QByteArray body = pages::mainPage(m_frames);
    if (m_mainDelayMs <= 0) {
        send(conn, 200, kHtml, body);
        return;
    }
    QTimer::singleShot(m_mainDelayMs, conn, [conn, body] { send(conn, 200, kHtml, body); });
}

void BulletinServer::serveLogin(const RequestRecord &rec, HttpConnection *conn)
{
    if (rec.method != "POST") {
        send(conn, 200, kHtml, pages::loginForm());
        return;
    }
    const pages::Fields fields = pages::formFields(rec.body);
    QStringList userNames;
    bool trapFilled = false;
    for (const auto &[name, value] : fields) {
        if (name == u"UserName")
            userNames << value;
        else if (name == u"username" && !value.isEmpty())
            trapFilled = true;
    }
    // In document order the hidden "UserName" comes before the visible one.
    if (userNames.size() > 1 && !userNames.first().isEmpty())
        trapFilled = true;
    const QString user = userNames.value(userNames.size() - 1);
    if (user.isEmpty())
        send(conn, 200, kHtml, pages::loginForm(QStringLiteral("请输入用户名")));
    else
        send(conn, 200, kHtml, pages::loggedIn(user, fields, trapFilled));
}

void BulletinServer::serveQuote(const RequestRecord &rec, HttpConnection *conn)
{
    const QString method = rec.query.queryItemValue(QStringLiteral("method"));
    const QUrlQuery index(QUrl(QString::fromLatin1(kQuoteIndexPath)));
    const QUrlQuery wisdom(QUrl(QString::fromLatin1(kQuoteWisdomPath)));
    if (method == index.queryItemValue(QStringLiteral("method")))
        send(conn, 200, kHtml, pages::quoteIndex());
    else if (method == wisdom.queryItemValue(QStringLiteral("method")))
        send(conn, 200, kHtml, pages::quoteWisdom());
    else
        send(conn, 200, kHtml, pages::quoteNews());
}

void BulletinServer::serveReminder(const RequestRecord &rec, HttpConnection *conn)
{
    // Follow-ups of a redirect loop keep looping whatever the scenario says,
    // and do not use up its steps.
    if (rec.query.hasQueryItem(QStringLiteral("loop"))) {
        serveStep(Step::redirectLoop(), rec, conn);
        return;
    }
    serveStep(m_steps.isEmpty() ? Step::raw(m_current) : nextStep(rec), rec, conn);
}

void BulletinServer::serveStep(const Step &step, const RequestRecord &rec, HttpConnection *conn)
{
    switch (step.kind) {
    case Step::Kind::Reply:
    case Step::Kind::Channel:
    case Step::Kind::HtmlError:
    case Step::Kind::BadGbk:
        send(conn, 200, step.kind == Step::Kind::HtmlError ? kHtml : kText, step.body);
        break;
    case Step::Kind::Status:
        send(conn, step.status, kText, step.body);
        break;
    case Step::Kind::Hang:
        // The answer is never finished: the connection stays open, reading
        // nothing more, until the client gives up or the simulator ends.
        break;
    case Step::Kind::Reset:
        conn->reset();
        break;
    case Step::Kind::Drip:
        new Drip(conn, step.body.isEmpty() ? m_current : step.body, step.delayMs);
        break;
    case Step::Kind::Large:
        new Stream(conn, (m_current.isEmpty() ? QByteArray("0") : m_current) + "\r\n", step.size);
        break;
    case Step::Kind::RedirectLoop: {
        // Alternate between two addresses, so a client that only notices
        // a redirect to the very same address still loops.
        QUrlQuery q = rec.query;
        const bool second = q.queryItemValue(QStringLiteral("loop")) == u"1";
        q.removeAllQueryItems(QStringLiteral("loop"));
        q.addQueryItem(QStringLiteral("loop"), second ? QStringLiteral("2") : QStringLiteral("1"));
        const QByteArray location = (rec.path + u'?' + q.query(QUrl::FullyEncoded)).toLatin1();
        send(conn, 302, kHtml, encodeGbk(QStringLiteral("<html><body>页面已移动</body></html>")),
             {{"Location", location}});
        break;
    }
    }
}

} // namespace lckb::sim
