#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <functional>

class QTcpSocket;

// One legacy request: a GET with its path and raw query.
struct LegacyRequest {
    QByteArray path;
    QHash<QByteArray, QByteArray> query;  // values as sent, not decoded

    // A symbol list ("A+^B+C=X+"): split at "+" before decoding, so that "+"
    // separates and escapes stay inside a symbol. Empty pieces are dropped.
    QStringList symbols(const QByteArray& key) const;
    // A free text: "+" is a blank, escapes decoded.
    QString text(const QByteArray& key) const;
    // A whole number, or `fallback` when missing or not a number.
    int integer(const QByteArray& key, int fallback) const;
};

struct LegacyReply {
    int status = 200;  // 0: close the connection without an answer
    QByteArray body;
    QByteArray contentType = "text/plain";
};

// A small HTTP/1.1 server on 127.0.0.1: one request per connection, GET
// only. A request not answered within the budget has its connection closed,
// which the client takes as a failed attempt and tries again.
class HttpServer : public QObject {
public:
    using Respond = std::function<void(const LegacyReply&)>;
    using Handler = std::function<void(const LegacyRequest&, Respond)>;

    HttpServer(int budgetMs, Handler handler, QObject* parent = nullptr);

    bool listen(quint16 port, QString* error);
    quint16 port() const { return server_.serverPort(); }

private:
    void accept();
    void requestArrived(QTcpSocket* socket, const QByteArray& head);

    QTcpServer server_;
    int budgetMs_;
    Handler handler_;
};
