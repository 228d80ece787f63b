#include "gateway/httpserver.h"

#include <QHostAddress>
#include <QPointer>
#include <QStringDecoder>
#include <QTcpSocket>
#include <QTimer>
#include <memory>

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

void write(QTcpSocket* socket, const LegacyReply& reply)
{
    if (reply.status == 0) {
        socket->abort();
        return;
    }
    socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) + "\r\nContent-Type: " +
                  reply.contentType + "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                  "\r\nConnection: close\r\n\r\n" + reply.body);
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
    const QByteArray bytes = QByteArray::fromPercentEncoding(raw);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return (utf8.hasError() ? QString::fromLatin1(bytes) : text).trimmed();
}

void ClientWatch::finish(End end)
{
    if (end_ != End::Open)
        return;
    end_ = end;
    if (end == End::Gone)
        *cancelled_ = true;
    std::vector<std::function<void(End)>> listeners;
    listeners.swap(listeners_);
    deadline_.clear();  // nothing is answered at the deadline of an ended request
    for (const auto& l : listeners)
        l(end);
}

void ClientWatch::deadline()
{
    std::vector<std::function<void()>> listeners;
    listeners.swap(deadline_);
    for (const auto& l : listeners) {
        if (end_ != End::Open)
            return;
        l();
    }
}

int LegacyRequest::integer(const QByteArray& key, int fallback) const
{
    bool ok = false;
    const int value = query.value(key).toInt(&ok);
    return ok ? value : fallback;
}

HttpServer::HttpServer(const std::atomic<int>& budgetMs, Handler handler, QObject* parent)
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
        auto watch = std::make_shared<ClientWatch>();
        // Whatever still listens for the request goes with its connection.
        connect(socket, &QObject::destroyed, this, [weak = std::weak_ptr<ClientWatch>(watch)] {
            if (const auto w = weak.lock())
                w->release();
        });
        connect(socket, &QTcpSocket::disconnected, socket, [socket, watch] {
            // Gone before its answer: nobody waits for the work any more.
            watch->finish(ClientWatch::End::Gone);
            socket->deleteLater();
        });
        // Never past the budget: a slow provider makes the attempt fail, it
        // does not hold the client.
        QTimer::singleShot(budgetMs_.load(), socket, [socket, watch] {
            watch->deadline();
            if (watch->end() == ClientWatch::End::Answered)
                return;  // answered with what there was; the socket closes itself
            watch->finish(ClientWatch::End::Expired);
            socket->abort();
            socket->deleteLater();
        });
        auto buffer = std::make_shared<QByteArray>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, watch] {
            *buffer += socket->readAll();
            const qsizetype end = buffer->indexOf("\r\n\r\n");
            const qsizetype lineEnd = buffer->indexOf("\r\n");
            const bool lineTooLong = (lineEnd < 0 ? buffer->size() : lineEnd) > kMaxRequestLine;
            const bool headTooLong = (end < 0 ? buffer->size() : end) > kMaxRequestLine + kMaxHeaders ||
                                     (end >= 0 && lineEnd >= 0 && end - lineEnd > kMaxHeaders);
            if (end < 0 && !lineTooLong && !headTooLong)
                return;
            disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
            if (lineTooLong || headTooLong) {
                watch->finish(ClientWatch::End::Answered);
                write(socket, {400, "<html><body>Request too long</body></html>\n", "text/html"});
                return;
            }
            requestArrived(socket, buffer->left(end), watch);
        });
    }
}

int HttpServer::refusal(const QList<QByteArray>& headerLines, QByteArray* why) const
{
    QByteArray host, fetchSite;
    QList<QByteArray> origins;  // every one is judged: a second may name the foreign page
    int hosts = 0;
    for (const QByteArray& line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "host") {
            host = value.toLower();
            ++hosts;
        } else if (name == "origin") {
            origins << value.toLower();
        } else if (name == "sec-fetch-site") {
            fetchSite = value.toLower();
        }
    }
    // Only the loopback names with this port: a page whose own name was
    // turned to 127.0.0.1 (DNS rebinding) still sends its own name.
    const QByteArray port = QByteArray::number(server_.serverPort());
    QList<QByteArray> ours;
    for (const char* name : {"127.0.0.1", "localhost", "[::1]"}) {
        ours << QByteArray(name) + ':' + port;
        if (port == "80")
            ours << QByteArray(name);
    }
    if (hosts != 1 || !ours.contains(host)) {
        *why = "Unknown host";
        return 400;
    }
    // A browser names the page that makes the request; pages of other
    // sites get nothing here.
    for (const QByteArray& origin : std::as_const(origins)) {
        if (!origin.isEmpty() && !ours.contains(origin.startsWith("http://") ? origin.mid(7) : origin)) {
            *why = "Cross-site request";
            return 403;
        }
    }
    if (!fetchSite.isEmpty() && fetchSite != "same-origin" && fetchSite != "none") {
        *why = "Cross-site request";
        return 403;
    }
    return 0;
}

void HttpServer::requestArrived(QTcpSocket* socket, const QByteArray& head, const std::shared_ptr<ClientWatch>& watch)
{
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& l : lines)
        l = l.trimmed();
    const QList<QByteArray> line = lines.value(0).split(' ');
    if (line.size() < 2 || line[0] != "GET") {
        watch->finish(ClientWatch::End::Answered);
        write(socket, {405, "<html><body>Only GET is served</body></html>\n", "text/html"});
        return;
    }
    QByteArray why;
    if (const int status = refusal(lines.mid(1), &why)) {
        watch->finish(ClientWatch::End::Answered);
        write(socket, {status, "<html><body>" + why + "</body></html>\n", "text/html"});
        return;
    }
    LegacyRequest request = parseTarget(line[1]);
    request.client = watch;
    QPointer<QTcpSocket> guard(socket);
    handler_(request, [guard, watch](const LegacyReply& reply) {
        if (watch->end() != ClientWatch::End::Open)
            return;
        watch->finish(ClientWatch::End::Answered);
        if (guard && guard->state() == QAbstractSocket::ConnectedState)
            write(guard, reply);
    });
}
