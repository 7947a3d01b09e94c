#include "httpserver.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/socket.h>

namespace lckb::sim {
namespace {

// What the socket buffers for us while an answer is under way; beyond it
// the kernel holds the client back.
constexpr qint64 kReadChunk = 64 * 1024;
constexpr qsizetype kMaxChunkLine = 1024;
// How long a closing connection, all sent, waits for the client to close its side.
constexpr int kLingerMs = 2000;

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 505: return "HTTP Version Not Supported";
    default: return "Status";
    }
}

bool isToken(const QByteArray &s)
{
    static const QByteArray marks("!#$%&'*+-.^_`|~");
    if (s.isEmpty())
        return false;
    for (const char c : s) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || marks.contains(c);
        if (!ok)
            return false;
    }
    return true;
}

// Comma-separated header value holds `token`, any letter case.
bool listHas(const QByteArray &value, const char *token)
{
    for (const QByteArray &part : value.split(','))
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The end of the line starting at `from` (index of its '\n'), CR LF or bare LF.
qsizetype lineEnd(const QByteArray &buf, qsizetype from) { return buf.indexOf('\n', from); }

QByteArray lineAt(const QByteArray &buf, qsizetype from, qsizetype end)
{
    QByteArray line = buf.mid(from, end - from);
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

} // namespace

QByteArray headerValue(const HeaderList &headers, const QByteArray &name)
{
    for (const auto &[k, v] : headers)
        if (k.compare(name, Qt::CaseInsensitive) == 0)
            return v;
    return {};
}

QByteArray HttpRequest::header(const QByteArray &name) const { return headerValue(headers, name); }

QUrl HttpRequest::url() const
{
    QByteArray t = target;
    const qsizetype hash = t.indexOf('#');
    if (hash >= 0)
        t.truncate(hash);
    if (!t.startsWith('/')) {
        // Absolute form ("http://host/path"), as proxies are sent; "*" too.
        const QUrl abs = QUrl::fromEncoded(t);
        if (abs.isValid() && !abs.scheme().isEmpty()) {
            QUrl u;
            u.setPath(abs.path(QUrl::FullyEncoded), QUrl::TolerantMode);
            if (abs.hasQuery())
                u.setQuery(abs.query(QUrl::FullyEncoded), QUrl::TolerantMode);
            return u;
        }
    }
    // Path and query set apart, so "//x" stays a path and is not read as a host.
    QUrl u;
    const qsizetype q = t.indexOf('?');
    u.setPath(QString::fromUtf8(q < 0 ? t : t.left(q)), QUrl::TolerantMode);
    if (q >= 0)
        u.setQuery(QString::fromUtf8(t.mid(q + 1)), QUrl::TolerantMode);
    return u;
}

// --- HttpConnection --------------------------------------------------------

HttpConnection::HttpConnection(QTcpSocket *socket, HttpServer *server)
    : QObject(server), m_server(server), m_socket(socket)
{
    socket->setParent(this);
    socket->setReadBufferSize(kReadChunk);
    connect(socket, &QTcpSocket::readyRead, this, &HttpConnection::process);
    connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
}

HttpConnection::~HttpConnection()
{
    // The socket goes with us; it must not call back into a half-destroyed object.
    QObject::disconnect(m_socket, nullptr, this, nullptr);
    m_socket->abort();
}

bool HttpConnection::connected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

QByteArray HttpConnection::head(int status, const QByteArray &type, qint64 length, const HeaderList &extra) const
{
    QByteArray h = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (!type.isEmpty())
        h += "Content-Type: " + type + "\r\n";
    h += "Content-Length: " + QByteArray::number(length) + "\r\n";
    for (const auto &[k, v] : extra)
        h += k + ": " + v + "\r\n";
    if (m_closing)
        h += "Connection: close\r\n";
    return h + "\r\n";
}

void HttpConnection::respond(int status, const QByteArray &type, const QByteArray &body, const HeaderList &extra)
{
    if (!connected())
        return;
    m_socket->write(head(status, type, body.size(), extra) + (m_headOnly ? QByteArray() : body));
    finish();
}

void HttpConnection::finish()
{
    if (!m_busy)
        return;
    m_busy = false;
    m_headOnly = false;
    if (m_closing) {
        closeGracefully();
        return;
    }
    process();
}

// Closing a socket with unread input makes the kernel send a reset, which
// can destroy the answer before the client reads it. So: send everything,
// shut our side, then discard whatever still comes until the client closes
// (or a while has passed).
void HttpConnection::closeGracefully()
{
    if (m_draining)
        return;
    m_busy = true;
    m_draining = true;
    m_buffer.clear();
    const auto shutWhenSent = [this] {
        if (!m_shut && m_socket->bytesToWrite() == 0 && connected()) {
            m_shut = true;
            ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
            // However slow the client reads, the wait counts from here.
            QTimer::singleShot(kLingerMs, this, [this] { m_socket->abort(); });
        }
    };
    connect(m_socket, &QTcpSocket::bytesWritten, this, shutWhenSent);
    m_socket->flush();
    shutWhenSent();
    m_socket->readAll();
}

void HttpConnection::reset()
{
    m_busy = true;
    // Linger time zero turns the close into a TCP reset.
    const linger off{1, 0};
    ::setsockopt(int(m_socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &off, sizeof off);
    m_socket->abort();
}

void HttpConnection::process()
{
    if (m_draining) {
        m_socket->readAll();
        return;
    }
    if (m_processing)
        return;
    m_processing = true;
    while (!m_busy && connected()) {
        m_buffer += m_socket->readAll();
        if (parse() != Parsed::Request)
            break;
        m_busy = true;
        m_server->m_handler(m_request, this);
    }
    m_processing = false;
}

void HttpConnection::fail(int status)
{
    m_busy = true;
    m_closing = true;
    m_headOnly = false;
    m_buffer.clear();
    m_socket->write(head(status, {}, 0));
    closeGracefully();
}

// Takes one whole request off the front of the buffer into m_request.
HttpConnection::Parsed HttpConnection::parse()
{
    // Blank lines before a request line are tolerated (some clients send a
    // CR LF after a body).
    qsizetype start = 0;
    while (start < m_buffer.size() && (m_buffer.at(start) == '\r' || m_buffer.at(start) == '\n'))
        ++start;
    if (start > 0) {
        m_buffer.remove(0, start);
        start = 0;
    }
    if (m_buffer.isEmpty())
        return Parsed::NeedMore;

    // The request line, checked as soon as it is whole so that a stray
    // protocol is turned away at once.
    const qsizetype firstEnd = lineEnd(m_buffer, 0);
    if (firstEnd < 0) {
        if (m_buffer.size() > HttpServer::kMaxHead) {
            fail(431);
            return Parsed::Failed;
        }
        return Parsed::NeedMore;
    }
    const QList<QByteArray> parts = lineAt(m_buffer, 0, firstEnd).split(' ');
    if (parts.size() != 3 || !isToken(parts.at(0)) || parts.at(1).isEmpty() || !parts.at(2).startsWith("HTTP/")) {
        fail(400);
        return Parsed::Failed;
    }
    for (const char c : parts.at(1)) {
        if (uchar(c) <= 0x20 || c == 0x7f) {
            fail(400);
            return Parsed::Failed;
        }
    }
    if (parts.at(2) != "HTTP/1.1" && parts.at(2) != "HTTP/1.0") {
        fail(505);
        return Parsed::Failed;
    }

    // Header fields up to the empty line.
    HeaderList headers;
    qsizetype pos = firstEnd + 1;
    for (;;) {
        const qsizetype end = lineEnd(m_buffer, pos);
        if (end < 0 || end > HttpServer::kMaxHead) {
            if (m_buffer.size() > HttpServer::kMaxHead) {
                fail(431);
                return Parsed::Failed;
            }
            return Parsed::NeedMore;
        }
        const QByteArray line = lineAt(m_buffer, pos, end);
        pos = end + 1;
        if (line.isEmpty())
            break;
        const qsizetype colon = line.indexOf(':');
        // No folded lines, no blank before the colon.
        if (colon <= 0 || !isToken(line.left(colon))) {
            fail(400);
            return Parsed::Failed;
        }
        headers.append({line.left(colon), line.mid(colon + 1).trimmed()});
    }

    HttpRequest req;
    req.method = parts.at(0);
    req.target = parts.at(1);
    req.version = parts.at(2);
    req.headers = headers;
    m_request = req;

    // HTTP/1.0 clients get one answer per connection; HTTP/1.1 ones keep it
    // unless they ask otherwise.
    const QByteArray connection = req.header("Connection");
    m_closing = req.version == "HTTP/1.0" || listHas(connection, "close");
    m_headOnly = req.method == "HEAD";

    qsizetype end = pos;
    const Parsed body = parseBody(pos, &end);
    if (body != Parsed::Request) {
        if (body == Parsed::NeedMore && !m_continueSent && req.version == "HTTP/1.1"
            && listHas(req.header("Expect"), "100-continue")) {
            m_continueSent = true;
            m_socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        }
        return body;
    }
    m_continueSent = false;
    m_buffer.remove(0, end);
    return Parsed::Request;
}

// Reads the body of m_request starting at `start`; `end` gets the index just past it.
HttpConnection::Parsed HttpConnection::parseBody(qsizetype start, qsizetype *end)
{
    const QByteArray te = m_request.header("Transfer-Encoding");
    if (!te.isEmpty()) {
        const QList<QByteArray> codings = te.split(',');
        if (codings.last().trimmed().compare("chunked", Qt::CaseInsensitive) != 0 || codings.size() > 1) {
            fail(501);
            return Parsed::Failed;
        }
        // Framing by chunks; a Content-Length beside it is ignored, and the
        // connection ends after the answer so no stale bytes are misread.
        if (!m_request.header("Content-Length").isEmpty())
            m_closing = true;
        QByteArray body;
        qsizetype pos = start;
        for (;;) {
            const qsizetype e = lineEnd(m_buffer, pos);
            if (e < 0)
                break;
            if (e - pos > kMaxChunkLine) {
                fail(400);
                return Parsed::Failed;
            }
            QByteArray sizeText = lineAt(m_buffer, pos, e);
            const qsizetype semi = sizeText.indexOf(';');
            if (semi >= 0)
                sizeText.truncate(semi);
            bool ok = false;
            const qint64 size = sizeText.trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0) {
                fail(400);
                return Parsed::Failed;
            }
            if (size > HttpServer::kMaxBody - body.size()) {
                fail(413);
                return Parsed::Failed;
            }
            pos = e + 1;
            if (size == 0) {
                // Trailer fields, dropped, up to the empty line.
                for (;;) {
                    const qsizetype te2 = lineEnd(m_buffer, pos);
                    if (te2 < 0) {
                        if (m_buffer.size() - pos > HttpServer::kMaxHead) {
                            fail(431);
                            return Parsed::Failed;
                        }
                        return Parsed::NeedMore;
                    }
                    const bool blank = lineAt(m_buffer, pos, te2).isEmpty();
                    pos = te2 + 1;
                    if (blank) {
                        m_request.body = body;
                        *end = pos;
                        return Parsed::Request;
                    }
                }
            }
            // The data and the CR LF after it.
            if (m_buffer.size() < pos + size + 1)
                break;
            body += m_buffer.mid(pos, size);
            pos += size;
            if (m_buffer.at(pos) == '\r')
                ++pos;
            if (pos >= m_buffer.size())
                break;
            if (m_buffer.at(pos) != '\n') {
                fail(400);
                return Parsed::Failed;
            }
            ++pos;
        }
        if (m_buffer.size() - start > HttpServer::kMaxBody + HttpServer::kMaxHead) {
            fail(413);
            return Parsed::Failed;
        }
        return Parsed::NeedMore;
    }

    qint64 length = 0;
    bool seen = false;
    for (const auto &[k, v] : m_request.headers) {
        if (k.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        bool ok = !v.isEmpty();
        for (const char c : v)
            ok = ok && c >= '0' && c <= '9';
        const qint64 n = ok ? v.toLongLong(&ok) : -1;
        if (!ok || (seen && n != length)) {
            fail(400);
            return Parsed::Failed;
        }
        length = n;
        seen = true;
    }
    if (length > HttpServer::kMaxBody) {
        fail(413);
        return Parsed::Failed;
    }
    if (m_buffer.size() - start < length)
        return Parsed::NeedMore;
    m_request.body = m_buffer.mid(start, length);
    *end = start + length;
    return Parsed::Request;
}

// --- HttpServer ------------------------------------------------------------

HttpServer::HttpServer(Handler handler, QObject *parent) : QObject(parent), m_handler(std::move(handler)) {}

HttpServer::~HttpServer() = default;

quint16 HttpServer::listen(const QHostAddress &address, quint16 port)
{
    auto *listener = new QTcpServer(this);
    if (!listener->listen(address, port)) {
        m_error = listener->errorString();
        delete listener;
        return 0;
    }
    connect(listener, &QTcpServer::newConnection, this, [this, listener] { accept(listener); });
    m_listeners << listener;
    return listener->serverPort();
}

void HttpServer::accept(QTcpServer *listener)
{
    while (QTcpSocket *socket = listener->nextPendingConnection())
        new HttpConnection(socket, this);
}

} // namespace lckb::sim
