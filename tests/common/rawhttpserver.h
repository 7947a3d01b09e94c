#pragma once
// A minimal HTTP server on 127.0.0.1 for tests that need to see the exact
// request line or to misbehave on purpose (never answer, answer slowly).
#include <QByteArray>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>

class RawHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Answer
    {
        QByteArray bytes;        // the whole response, status line included
        bool hang = false;       // accept the request and never answer
        int dripDelayMs = 0;     // send one byte every dripDelayMs
    };
    using Handler = std::function<Answer(const QByteArray &requestHead)>;

    static Answer ok(const QByteArray &body, int status = 200, const QByteArray &extraHeaders = {})
    {
        Answer a;
        a.bytes = "HTTP/1.1 " + QByteArray::number(status) + " X\r\nContent-Length: "
                  + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" + extraHeaders + "\r\n" + body;
        return a;
    }

    explicit RawHttpServer(Handler h, QObject *parent = nullptr)
        : QObject(parent), m_handler(std::move(h))
    {
        connect(&m_server, &QTcpServer::newConnection, this, &RawHttpServer::onConnection);
        m_server.listen(QHostAddress::LocalHost, 0);
    }
    ~RawHttpServer() override
    {
        for (auto &s : m_sockets)
            if (s)
                s->abort();
    }

    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }
    QList<QByteArray> requestLines() const { return m_requestLines; }

private:
    void onConnection()
    {
        while (QTcpSocket *s = m_server.nextPendingConnection()) {
            m_sockets.append(s);
            auto head = std::make_shared<QByteArray>();
            connect(s, &QTcpSocket::readyRead, this, [this, s, head] {
                *head += s->readAll();
                if (!head->contains("\r\n\r\n") || head->isEmpty())
                    return;
                m_requestLines.append(head->left(head->indexOf("\r\n")));
                const Answer a = m_handler(*head);
                head->clear();
                if (a.hang)
                    return;
                if (a.dripDelayMs <= 0) {
                    s->write(a.bytes);
                    s->disconnectFromHost();
                    return;
                }
                auto *t = new QTimer(s);
                auto pos = std::make_shared<qsizetype>(0);
                connect(t, &QTimer::timeout, s, [s, t, pos, bytes = a.bytes] {
                    if (*pos >= bytes.size()) {
                        t->stop();
                        s->disconnectFromHost();
                        return;
                    }
                    s->write(bytes.mid((*pos)++, 1));
                });
                t->start(a.dripDelayMs);
            });
        }
    }

    QTcpServer m_server;
    Handler m_handler;
    QList<QPointer<QTcpSocket>> m_sockets;
    QList<QByteArray> m_requestLines;
};
