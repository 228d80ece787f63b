#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QVector>
#include <functional>
#include <vector>

class QTcpSocket;

// A stand-in for the live provider, for tests: on 127.0.0.1 in the test's
// thread, it answers the chart, quote, search, cookie and crumb requests
// from the recorded answers (and quotes added by the test), records every
// request, and can be told to fail in the ways the provider fails.
class FakeProvider : public QObject {
public:
    enum class Fault {
        None,
        Throttle,     // 429 "Too Many Requests"
        Consent,      // 307 to the consent page (this fake's own)
        Hang,         // never answer
        ServerError,  // 500
        HtmlPage,     // 200 with an HTML page
        NotFound,     // 404 "No data found", as during the provider's outages
    };

    struct Request {
        QByteArray path;   // "/v8/finance/chart/NVDA"
        QByteArray query;  // raw
        QByteArray cookie;
        QByteArray userAgent;
        QByteArray method = "GET";
        QByteArray body;  // of a POST
        qint64 arrivedMs = 0;
    };

    FakeProvider();

    QString base() const;  // "http://127.0.0.1:PORT"
    // Points the gateway's store keys at this fake (LiveHost, LiveCookieHost).
    void useInStore() const;

    // A quote-endpoint record for `symbol`, answered by quote and by chart.
    void addQuote(const QString& symbol, double price, double volume, qint64 marketTime,
                  const QString& name = QString());
    // The quote type of a quote added (EQUITY unless set: ETF, MUTUALFUND...).
    void setQuoteType(const QString& symbol, const QString& type)
    {
        quotes_[symbol][QStringLiteral("quoteType")] = type;
    }
    // The exchange's time zone of a quote added (America/New_York unless set).
    void setTimeZone(const QString& symbol, const QString& zone)
    {
        quotes_[symbol][QStringLiteral("exchangeTimezoneName")] = zone;
    }
    // A chart answer of the test's own for `symbol`.
    void setChart(const QString& symbol, int status, const QByteArray& body)
    {
        charts_.insert(symbol, {status, body, "application/json", ""});
    }
    // `count` faults for requests whose path starts with `prefix`; -1: all.
    void setFault(const QByteArray& prefix, Fault fault, int count = -1);
    void clearFaults() { faults_.clear(); }
    void setDelay(int ms) { delayMs_ = ms; }
    // Answers the chart of every symbol without a recorded answer with a
    // bar on each weekday of the asked period (dailyChart), for long
    // histories of made-up symbols.
    void makeDailyCharts(bool on) { dailyCharts_ = on; }
    // The chart answer of weekday bars from `from` to `to` (seconds since
    // the epoch, UTC), prices that follow the symbol and the date.
    static QByteArray dailyChart(const QString& symbol, qint64 from, qint64 to);
    // While on, answers are kept back until releaseAnswers(), which sends
    // every one kept so far at once.
    void holdAnswers(bool hold) { hold_ = hold; }
    void releaseAnswers();
    // The Retry-After header of a 429 ("" for none).
    void setRetryAfter(const QByteArray& value) { retryAfter_ = value; }
    // While on, the cookie host redirects to the consent page until its form
    // is posted with agreement.
    void requireConsent(bool on) { consentNeeded_ = on; }
    bool consentGiven() const { return consentGiven_; }
    // Spark answers without the day's high, low and volume in their meta,
    // as older answers were.
    void sparkWithoutDayFigures(bool on) { sparkBare_ = on; }
    // The cookie host answers without setting the session cookie.
    void cookieHostWithoutCookie(bool on) { fcBare_ = on; }
    // The web host's quote page goes through a consent flow without a form
    // (redirects only) before it sets the cookie, as from the EU in 2026.
    void webConsentFlow(bool on) { webConsent_ = on; }
    // Requests with this User-Agent get 429 (empty: none).
    void refuseUserAgent(const QByteArray& agent) { refusedAgent_ = agent; }
    // Quote calls of more than `n` symbols are refused with 400 (0: none).
    void setQuoteLimit(int n) { quoteLimit_ = n; }
    // Every crumb is refused with 401 while set.
    void refuseCrumbs(bool refuse) { refuseCrumbs_ = refuse; }
    // What the crumb endpoint answers (with 200) from now on.
    void setCrumb(const QByteArray& crumb) { crumb_ = crumb; }
    // Hands out a new crumb: the old one is refused from now on.
    void rotateCrumb();

    const QVector<Request>& requests() const { return requests_; }
    int count(const QByteArray& prefix) const;
    int maxInFlight() const { return maxInFlight_; }
    void clearRequests()
    {
        requests_.clear();
        maxInFlight_ = 0;
    }

private:
    struct Reply {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        QByteArray extraHeaders;
    };
    void accept();
    void handle(QTcpSocket* socket, const QByteArray& head, const QByteArray& body);
    Reply answer(const Request& r);
    Reply chart(const QString& symbol, const QByteArray& query) const;
    Reply quotes(const QByteArray& query) const;
    Reply search(const QByteArray& query) const;
    Reply spark(const QByteArray& query) const;
    Reply lookup(const QByteArray& query) const;
    Reply consentPage(const Request& r);
    Reply webPage(const Request& r) const;
    // The chart result of `symbol` (recorded, or built from its quote);
    // empty when unknown. `status` gets the HTTP status of its answer.
    QJsonObject chartResult(const QString& symbol, int* status) const;
    void send(QTcpSocket* socket, const Reply& reply);

    QTcpServer server_;
    QHash<QString, QJsonObject> quotes_;   // by upper-case symbol
    QHash<QString, Reply> charts_;         // recorded chart answers by symbol
    QHash<QString, QByteArray> searches_;  // recorded search answers by text
    QByteArray notFound_;
    QVector<QPair<QByteArray, QPair<Fault, int>>> faults_;
    QByteArray crumb_ = "fAkeCrumb/1";
    bool refuseCrumbs_ = false;
    int quoteLimit_ = 0;
    bool fcBare_ = false, webConsent_ = false;
    QByteArray refusedAgent_;
    QByteArray retryAfter_;
    bool consentNeeded_ = false, consentGiven_ = false, sparkBare_ = false;
    int delayMs_ = 0;
    bool dailyCharts_ = false;
    bool hold_ = false;
    std::vector<std::function<void()>> held_;
    int inFlight_ = 0, maxInFlight_ = 0;
    QVector<Request> requests_;
};
