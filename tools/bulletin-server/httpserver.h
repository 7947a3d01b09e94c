#pragma once
// The simulator's own small HTTP/1.1 server on QTcpServer/QTcpSocket. The
// faults act on the raw socket (a drip writes byte by byte, a hang never
// answers, a reset drops the connection), and it builds unchanged on every
// Qt 6 the project supports.
//
// One request at a time per connection: the next one (keep-alive, or
// pipelined by the client) is read only once the handler has finished the
// answer to the one before, so answers go out in order however long each takes.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>

class QHostAddress;
class QTcpServer;
class QTcpSocket;

namespace lckb::sim {

using HeaderList = QList<QPair<QByteArray, QByteArray>>;

// The value of the first header called `name`, in any letter case; empty when none is.
QByteArray headerValue(const HeaderList &headers, const QByteArray &name);

struct HttpRequest
{
    QByteArray method;  // as sent: "GET", "POST", ...
    QByteArray target;  // the request target as sent
    QByteArray version; // "HTTP/1.1" or "HTTP/1.0"
    HeaderList headers; // in order, names as sent, values trimmed
    QByteArray body;    // chunked bodies arrive joined

    QByteArray header(const QByteArray &name) const; // first match, any letter case
    // Path and query of the target; QUrl decodes the percent escapes on demand.
    QUrl url() const;
};

class HttpServer;

// One client connection. The handler answers the current request through it
// and calls finish() when the answer is complete (respond() does both).
class HttpConnection : public QObject
{
public:
    ~HttpConnection() override;

    // For faults that need the bytes on the wire in their own hands.
    QTcpSocket *socket() const { return m_socket; }
    bool connected() const;
    // The current request is HEAD: the answer is the head alone.
    bool headOnly() const { return m_headOnly; }
    // Status line and header: Content-Type (when given), Content-Length,
    // `extra` in order, and Connection: close when this answer ends the
    // connection.
    QByteArray head(int status, const QByteArray &type, qint64 length, const HeaderList &extra = {}) const;
    // Writes a whole answer (the body left out for HEAD) and finishes it.
    void respond(int status, const QByteArray &type, const QByteArray &body, const HeaderList &extra = {});
    // The current answer is complete: close the connection if it ends here,
    // else go on with the next request.
    void finish();
    // Drops the connection with a TCP reset, without another byte.
    void reset();

private:
    friend class HttpServer;
    enum class Parsed { NeedMore, Request, Failed };

    HttpConnection(QTcpSocket *socket, HttpServer *server);
    void process();
    Parsed parse();
    Parsed parseBody(qsizetype start, qsizetype *end);
    void fail(int status);
    void closeGracefully();

    HttpServer *m_server;
    QTcpSocket *m_socket;
    QByteArray m_buffer;
    HttpRequest m_request;
    bool m_busy = false;       // an answer is under way
    bool m_processing = false; // inside process(): no re-entry
    bool m_closing = false;    // the current answer ends the connection
    bool m_headOnly = false;
    bool m_continueSent = false;
    bool m_draining = false;   // closing: input is read and dropped
    bool m_shut = false;       // our sending side is shut
};

class HttpServer : public QObject
{
public:
    using Handler = std::function<void(const HttpRequest &, HttpConnection *)>;

    // Bounds on what a client may send; beyond them it gets 431 or 413 and
    // the connection is closed.
    static constexpr qsizetype kMaxHead = 64 * 1024;        // request line and header fields
    static constexpr qsizetype kMaxBody = 8 * 1024 * 1024;

    explicit HttpServer(Handler handler, QObject *parent = nullptr);
    ~HttpServer() override;

    // Adds a listening socket; returns its port, 0 on failure (see errorString()).
    quint16 listen(const QHostAddress &address, quint16 port);
    QString errorString() const { return m_error; }

private:
    friend class HttpConnection;
    void accept(QTcpServer *listener);

    Handler m_handler;
    QList<QTcpServer *> m_listeners;
    QString m_error;
};

} // namespace lckb::sim
