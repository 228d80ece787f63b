#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>
#include <QTcpServer>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QTcpSocket;

// The client side of one request the gateway has not answered yet: work
// done for it may stop when its client has gone, but not when the budget
// ran out, because then the client comes back with the same request.
class ClientWatch {
public:
    enum class End { Open, Answered, Expired, Gone };

    End end() const { return end_; }
    // Set once the client has gone without waiting for the answer; handed to
    // the provider's queue, which then drops what only this request wanted.
    const std::shared_ptr<bool>& cancelled() const { return cancelled_; }
    // Called once when the request ends without an answer (Expired, Gone).
    void onEnd(std::function<void(End)> listener) { listeners_.push_back(std::move(listener)); }
    // Called when the budget has run out, before the request expires: the
    // last moment to answer with what is known so far.
    void onDeadline(std::function<void()> listener) { deadline_.push_back(std::move(listener)); }

    void finish(End end);
    void deadline();
    // Drops every listener without calling it (the connection is gone for
    // good): a listener that holds this watch would otherwise keep both.
    void release()
    {
        listeners_.clear();
        deadline_.clear();
    }

private:
    End end_ = End::Open;
    std::shared_ptr<bool> cancelled_ = std::make_shared<bool>(false);
    std::vector<std::function<void(End)>> listeners_;
    std::vector<std::function<void()>> deadline_;
};

// One legacy request: a GET with its path and raw query.
struct LegacyRequest {
    QByteArray path;
    QHash<QByteArray, QByteArray> query;  // values as sent, not decoded
    std::shared_ptr<ClientWatch> client = std::make_shared<ClientWatch>();

    // A symbol list ("A+^B+C=X+"): split at "+" before decoding, so that "+"
    // separates and escapes stay inside a symbol. Empty pieces are dropped.
    QStringList symbols(const QByteArray& key) const;
    // A free text: "+" is a blank, escapes decoded; UTF-8 when the bytes are
    // UTF-8, else Latin-1 (what older clients sent).
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
// only, for this machine's own programs: a request must name the server by
// its loopback name and port in `Host`, and a browser's cross-site request
// (`Origin`, `Sec-Fetch-Site`) is refused. A request not answered within the
// budget has its connection closed, which the client takes as a failed
// attempt and tries again.
class HttpServer : public QObject {
public:
    using Respond = std::function<void(const LegacyReply&)>;
    using Handler = std::function<void(const LegacyRequest&, Respond)>;

    // The budget is read for every request, so a new time-out of the
    // program counts at once.
    HttpServer(const std::atomic<int>& budgetMs, Handler handler, QObject* parent = nullptr);

    bool listen(quint16 port, QString* error);
    quint16 port() const { return server_.serverPort(); }

    static constexpr qsizetype kMaxRequestLine = 8 * 1024;
    static constexpr qsizetype kMaxHeaders = 8 * 1024;

private:
    void accept();
    void requestArrived(QTcpSocket* socket, const QByteArray& head, const std::shared_ptr<ClientWatch>& watch);
    // Why a request may not be served (its status and text), or 0.
    int refusal(const QList<QByteArray>& headerLines, QByteArray* why) const;

    QTcpServer server_;
    const std::atomic<int>& budgetMs_;
    Handler handler_;
};
