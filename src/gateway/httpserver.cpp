#include "gateway/httpserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace {

// A request head longer than this is no request of the program's.
constexpr qsizetype kMaxHead = 64 * 1024;

QByteArray reason(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

void write(QTcpSocket* socket, const LegacyReply& reply)
{
    if (reply.status == 0) {
        socket->abort();
        return;
    }
    socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status)
                  + "\r\nContent-Type: " + reply.contentType + "\r\nContent-Length: "
                  + QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" + reply.body);
    socket->disconnectFromHost();
}

LegacyRequest parseTarget(const QByteArray& target)
{
    LegacyRequest r;
    const qsizetype question = target.indexOf('?');
    r.path = question < 0 ? target : target.left(question);
    if (question < 0)
        return r;
    for (const QByteArray& pair : target.mid(question + 1).split('&')) {
        const qsizetype eq = pair.indexOf('=');
        if (eq > 0)
            r.query.insert(pair.left(eq).toLower(), pair.mid(eq + 1));
        else if (!pair.isEmpty())
            r.query.insert(pair.toLower(), QByteArray());
    }
    return r;
}

}  // namespace

QStringList LegacyRequest::symbols(const QByteArray& key) const
{
    QStringList out;
    for (const QByteArray& piece : query.value(key).split('+')) {
        const QString symbol = QString::fromLatin1(QByteArray::fromPercentEncoding(piece)).trimmed();
        if (!symbol.isEmpty())
            out << symbol;
    }
    return out;
}

QString LegacyRequest::text(const QByteArray& key) const
{
    QByteArray raw = query.value(key);
    raw.replace('+', ' ');
    return QString::fromLatin1(QByteArray::fromPercentEncoding(raw)).trimmed();
}

int LegacyRequest::integer(const QByteArray& key, int fallback) const
{
    bool ok = false;
    const int value = query.value(key).toInt(&ok);
    return ok ? value : fallback;
}

HttpServer::HttpServer(int budgetMs, Handler handler, QObject* parent)
    : QObject(parent), budgetMs_(budgetMs), handler_(std::move(handler))
{
    connect(&server_, &QTcpServer::newConnection, this, &HttpServer::accept);
}

bool HttpServer::listen(quint16 port, QString* error)
{
    if (server_.listen(QHostAddress::LocalHost, port))
        return true;
    if (error)
        *error = server_.errorString();
    return false;
}

void HttpServer::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // Never past the budget: a slow provider makes the attempt fail, it
        // does not hold the client.
        QTimer::singleShot(budgetMs_, socket, [socket] { socket->abort(); socket->deleteLater(); });
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            if (end < 0 && buffer->size() <= kMaxHead)
                return;
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            if (end < 0) {
                write(socket, {400, "<html><body>Request too long</body></html>\n", "text/html"});
                return;
            }
            requestArrived(socket, buffer->left(end));
        });
    }
}

void HttpServer::requestArrived(QTcpSocket* socket, const QByteArray& head)
{
    const QList<QByteArray> line = head.left(head.indexOf("\r\n")).split(' ');
    if (line.size() < 2 || line[0] != "GET") {
        write(socket, {405, "<html><body>Only GET is served</body></html>\n", "text/html"});
        return;
    }
    QPointer<QTcpSocket> guard(socket);
    handler_(parseTarget(line[1]), [guard](const LegacyReply& reply) {
        if (guard && guard->state() == QAbstractSocket::ConnectedState)
            write(guard, reply);
    });
}
