#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QVector>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

// A stand-in for the quote service, for tests. It listens on 127.0.0.1 on a
// free port in the test's own thread, so the test must keep the event loop
// running while a client waits (the fetch does that by itself; a test that
// runs the program as a child process spins the loop until it ends).
//
// It answers like the real service did:
//   /d/quotes.csv?s=A+B+&f=...   one CSV line per symbol (split at a raw
//                                "+", then percent-decoded), in request order,
//                                CR LF after each; unknown symbols are echoed
//                                with their own name, 0.00 and "N/A"
//   /d/quotes?s=@INDEX&h=N&f=... the index's members, 50 from offset N
//   /table.csv, /l, /q, /q/hp    canned bodies set with setPage(), keyed by
//                                the "s" parameter; without one a 404 page,
//                                a "no matches" page or an invalid-ticker page
// Every request is recorded with its arrival time and announced with
// requestArrived(), so that a test can act at that moment instead of after a
// guessed time. Faults can be queued for the next requests or set for all of
// them; answers can be held back until the test releases them.
class FakeQuoteService : public QObject {
    Q_OBJECT

public:
    // One symbol's answer. Fields are the texts the service sends, without
    // quotes: "6/4/2004", "4:00pm", "90.10", "N/A"...
    struct Quote {
        QByteArray symbol, date, time, open, high, low, close, volume, name, exchange;
    };

    struct Request {
        QByteArray target;  // path and query exactly as received
        QByteArray path;
        QMap<QByteArray, QByteArray> query;  // percent-decoded values ("+" kept)
        // The "s" value split at each raw "+", every piece percent-decoded
        // (empty pieces left out): the symbols as the service read them.
        QList<QByteArray> symbols;
        qint64 arrivedMs = 0;    // on the clock of now()
        qint64 answeredMs = -1;  // when the last byte was handed to the socket
        int connection = 0;      // the connection it came on, counted from 1
    };

    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/plain";
    };

    enum class Fault {
        None,
        Hang,               // read the request, never answer
        CloseBeforeAnswer,  // close the connection without a byte
        CloseMidBody,       // announce a body, send half of it, close
        HtmlPage,           // 200 with an HTML page
        ServerError,        // 500 with an HTML page
        HugeBody,           // 200 with a body of more than 16 MiB
    };

    explicit FakeQuoteService(QObject* parent = nullptr);

    bool isListening() const { return server_.isListening(); }
    quint16 port() const { return server_.serverPort(); }
    QString host() const;  // "127.0.0.1:PORT"
    // Points every quote-service host of the loaded settings at this fake.
    void useForAllHosts() const;
    // The same in the settings store, for the program run as a child
    // process: no host is left "live", so the child starts no gateway.
    void useForAllHostsInStore() const;

    void addQuote(const Quote& quote);
    // Adds `quote`, or puts it in place of the one of its symbol.
    void setQuote(const Quote& quote);
    static Quote quote(const QByteArray& symbol, const QByteArray& date, const QByteArray& close,
                       const QByteArray& volume, const QByteArray& name, const QByteArray& exchange = "NYSE");
    void setMembers(const QByteArray& index, const QList<QByteArray>& symbols);
    // Answers the lookup /l?s=TEXT (compared without regard to case) with
    // pages of 50 of `symbols`, from the offset in "b".
    void setLookup(const QByteArray& text, const QList<QByteArray>& symbols);
    // The body answered for `path` when its "s" parameter equals `symbol`
    // (case-insensitive); an empty symbol answers every request of the path.
    void setPage(const QByteArray& path, const QByteArray& symbol, const Reply& reply);
    // Consulted first; returning nothing falls back to the built-in answers.
    void setResponder(std::function<std::optional<Reply>(const Request&)> responder);

    void setDelay(int ms) { delayMs_ = ms; }
    // Keeps a connection open after its answer for the client's next
    // request, as an HTTP/1.1 server does; off: one request per connection.
    void setKeepAlive(bool on) { keepAlive_ = on; }
    // Connections accepted so far.
    int connections() const { return connections_; }
    // While on, answers are kept back (with their faults) until
    // releaseAnswers(), which sends every one kept so far.
    void holdAnswers(bool hold) { hold_ = hold; }
    void releaseAnswers();
    int heldAnswers() const { return static_cast<int>(held_.size()); }
    void queueFault(Fault fault, int count = 1);
    // Chooses the fault of each request by its content (when the order in
    // which requests arrive is not known); consulted before the queue.
    void setFaultChooser(std::function<Fault(const Request&)> chooser) { chooser_ = std::move(chooser); }
    void setFault(Fault fault) { fault_ = fault; }

    const QVector<Request>& requests() const { return requests_; }
    void clearRequests() { requests_.clear(); }
    // Milliseconds on a monotonic clock, comparable with the recorded times.
    static qint64 now();

    // The CSV line of `quote` for the field string `fields` (such as
    // "sd1t1ohgl1vn"), ended with CR LF.
    static QByteArray csvLine(const Quote& quote, const QByteArray& fields);
    static QByteArray unknownCsvLine(const QByteArray& symbol, const QByteArray& fields);

    // Pages as the service wrote them.
    static QByteArray changedTickerPage(const QByteArray& oldTicker, const QByteArray& newTicker);
    static QByteArray seeTickerPage(const QByteArray& newTicker);
    static QByteArray invalidTickerPage(const QByteArray& ticker);
    // A historical-prices page pre-filled with the first date of history;
    // `monthValue` is the value of the selected month option.
    static QByteArray historyPricesPage(int monthValue, int day, int year);
    static QByteArray noHistoryPage(const QByteArray& ticker);
    // A lookup page listing `symbols` as results `from` to from + count - 1
    // of `total`.
    static QByteArray lookupPage(const QList<QByteArray>& symbols, int from, int total);

signals:
    // Request `index` of requests() was recorded and its answer sent,
    // scheduled after the delay or held.
    void requestArrived(int index);

private:
    void accept();
    void handle(QTcpSocket* socket, const QByteArray& head, int connection);
    Reply answer(const Request& request) const;
    void send(QTcpSocket* socket, int index, Fault fault, const Reply& reply);
    const Quote* find(const QByteArray& symbol) const;

    QTcpServer server_;
    QVector<Quote> quotes_;
    QHash<QByteArray, qsizetype> quoteIndex_;  // upper-case symbol -> first quote of it
    QHash<QByteArray, QList<QByteArray>> members_;
    QHash<QByteArray, QList<QByteArray>> lookups_;
    QHash<QByteArray, Reply> pages_;  // path + "\n" + upper-case symbol
    std::function<std::optional<Reply>(const Request&)> responder_;
    QVector<Request> requests_;
    std::deque<Fault> queued_;
    std::function<Fault(const Request&)> chooser_;
    Fault fault_ = Fault::None;
    int delayMs_ = 0;
    bool keepAlive_ = false;
    int connections_ = 0;
    bool hold_ = false;
    std::vector<std::function<void()>> held_;
};
