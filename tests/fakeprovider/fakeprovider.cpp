#include "fakeprovider.h"

#include "support/settingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpSocket>
#include <QTimeZone>
#include <QTimer>
#include <QUrlQuery>
#include <memory>

namespace {

QByteArray fixture(const QString& name)
{
    QFile f(QStringLiteral(LIVE_FIXTURES "/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

qint64 clockMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

QByteArray param(const QByteArray& query, const QByteArray& key)
{
    for (const QByteArray& pair : query.split('&')) {
        if (pair.startsWith(key + '=')) {
            QByteArray v = pair.mid(key.size() + 1);
            v.replace('+', ' ');
            return QByteArray::fromPercentEncoding(v);
        }
    }
    return {};
}

}  // namespace

FakeProvider::FakeProvider()
{
    connect(&server_, &QTcpServer::newConnection, this, &FakeProvider::accept);
    server_.listen(QHostAddress::LocalHost, 0);
    clockMs();

    for (const QString& file : QDir(QStringLiteral(LIVE_FIXTURES)).entryList({QStringLiteral("chart-*.json")})) {
        const QString symbol = file.section(QLatin1Char('-'), 1, 1);
        const int status = file.contains(QLatin1String("-404-"))   ? 404
                           : file.contains(QLatin1String("-400-")) ? 400
                                                                   : 200;
        charts_.insert(symbol, {status, fixture(file), "application/json", ""});
    }
    notFound_ = charts_.value(QStringLiteral("SI")).body;
    for (const char* file : {"quote-AAPL-BABA-v7.json", "quote-^VXAPL-v7-index.json"}) {
        const QJsonArray result = QJsonDocument::fromJson(fixture(QLatin1String(file)))
                                      .object()
                                      .value(QLatin1String("quoteResponse"))
                                      .toObject()
                                      .value(QLatin1String("result"))
                                      .toArray();
        for (const QJsonValue& q : result)
            quotes_.insert(q.toObject().value(QLatin1String("symbol")).toString(), q.toObject());
    }
    searches_.insert(QStringLiteral("AAPL"), fixture(QStringLiteral("search-AAPL.json")));
    searches_.insert(QStringLiteral("Bayerische Motoren Werke AG"),
                     fixture(QStringLiteral("search-Bayerische-Motoren-Werke-AG.json")));
}

QString FakeProvider::base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort()); }

void FakeProvider::useInStore() const
{
    store::write(QStringLiteral("LiveHost"), base());
    store::write(QStringLiteral("LiveCookieHost"), base() + QStringLiteral("/fc"));
    store::write(QStringLiteral("LiveWebHost"), base() + QStringLiteral("/web"));
    store::write(QStringLiteral("LivePortalHost"), base() + QStringLiteral("/portal"));
    store::sync();
}

void FakeProvider::addQuote(const QString& symbol, double price, double volume, qint64 marketTime, const QString& name)
{
    QJsonObject q;
    q[QStringLiteral("symbol")] = symbol;
    q[QStringLiteral("quoteType")] = QStringLiteral("EQUITY");
    q[QStringLiteral("shortName")] = name.isEmpty() ? symbol + QStringLiteral(" Corp") : name;
    q[QStringLiteral("fullExchangeName")] = QStringLiteral("NYSE");
    q[QStringLiteral("exchange")] = QStringLiteral("NYQ");
    q[QStringLiteral("exchangeTimezoneName")] = QStringLiteral("America/New_York");
    q[QStringLiteral("gmtOffSetMilliseconds")] = -18000000;
    q[QStringLiteral("priceHint")] = 2;
    q[QStringLiteral("regularMarketTime")] = marketTime;
    q[QStringLiteral("regularMarketOpen")] = price - 1;
    q[QStringLiteral("regularMarketDayHigh")] = price + 1;
    q[QStringLiteral("regularMarketDayLow")] = price - 2;
    q[QStringLiteral("regularMarketPrice")] = price;
    q[QStringLiteral("regularMarketVolume")] = volume;
    quotes_.insert(symbol, q);
}

void FakeProvider::setFault(const QByteArray& prefix, Fault fault, int count)
{
    faults_.append({prefix, {fault, count}});
}

void FakeProvider::rotateCrumb() { crumb_ += 'x'; }

int FakeProvider::count(const QByteArray& prefix) const
{
    int n = 0;
    for (const Request& r : requests_)
        n += r.path.startsWith(prefix) ? 1 : 0;
    return n;
}

void FakeProvider::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        // Keep-alive: every request on the connection is answered.
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            for (qsizetype end = buffer->indexOf("\r\n\r\n"); end >= 0; end = buffer->indexOf("\r\n\r\n")) {
                const QByteArray head = buffer->left(end);
                qsizetype length = 0;
                for (const QByteArray& line : head.split('\n')) {
                    if (line.toLower().startsWith("content-length:"))
                        length = line.mid(15).trimmed().toLongLong();
                }
                if (buffer->size() < end + 4 + length)
                    return;  // the body is still on its way
                const QByteArray body = buffer->mid(end + 4, length);
                buffer->remove(0, end + 4 + length);
                handle(socket, head, body);
            }
        });
    }
}

void FakeProvider::handle(QTcpSocket* socket, const QByteArray& head, const QByteArray& body)
{
    Request r;
    r.arrivedMs = clockMs();
    r.method = head.left(head.indexOf(' '));
    r.body = body;
    const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
    const qsizetype q = target.indexOf('?');
    r.path = q < 0 ? target : target.left(q);
    r.query = q < 0 ? QByteArray() : target.mid(q + 1);
    for (const QByteArray& line : head.split('\n')) {
        if (line.toLower().startsWith("cookie:"))
            r.cookie = line.mid(7).trimmed();
        if (line.toLower().startsWith("user-agent:"))
            r.userAgent = line.mid(11).trimmed();
    }
    requests_.append(r);

    Fault fault = Fault::None;
    for (auto& [prefix, f] : faults_) {
        if (f.second != 0 && r.path.startsWith(prefix)) {
            fault = f.first;
            if (f.second > 0)
                --f.second;
            break;
        }
    }
    if (fault == Fault::None && !refusedAgent_.isEmpty() && r.userAgent == refusedAgent_)
        fault = Fault::Throttle;
    Reply reply;
    switch (fault) {
    case Fault::Hang:
        return;
    case Fault::Throttle:
        reply = {429, "Too Many Requests\r\n", "text/html",
                 retryAfter_.isEmpty() ? QByteArray() : "Retry-After: " + retryAfter_ + "\r\n"};
        break;
    case Fault::Consent:
        // As recorded, but to this fake's own consent page.
        reply = {307,
                 {},
                 "text/html; charset=utf-8",
                 "Location: " + base().toLatin1() + "/consent?brandType=nonEu&gcrumb=BQyE-EQ\r\n"};
        break;
    case Fault::ServerError:
        reply = {500, "<html><body>Internal error</body></html>", "text/html", ""};
        break;
    case Fault::HtmlPage:
        reply = {200, "<html><body>Will be right back...</body></html>", "text/html", ""};
        break;
    case Fault::NotFound:
        reply = {404, notFound_, "application/json", ""};
        break;
    case Fault::None:
        reply = answer(r);
        break;
    }
    maxInFlight_ = std::max(maxInFlight_, ++inFlight_);
    QPointer<QTcpSocket> guard(socket);
    auto go = [this, guard, reply] {
        --inFlight_;
        if (guard)
            send(guard, reply);
    };
    if (hold_)
        held_.push_back(go);
    else
        QTimer::singleShot(delayMs_, this, go);
}

void FakeProvider::releaseAnswers()
{
    std::vector<std::function<void()>> held;
    held.swap(held_);
    for (const auto& go : held)
        go();
}

FakeProvider::Reply FakeProvider::answer(const Request& r)
{
    if (r.path == "/fc") {
        if (consentNeeded_ && !consentGiven_)
            return {307,
                    {},
                    "text/html; charset=utf-8",
                    "Location: " + base().toLatin1() + "/consent?brandType=nonEu&gcrumb=BQyE-EQ\r\n"};
        return {404, "<html>Not here</html>", "text/html",
                fcBare_ ? QByteArray() : "Set-Cookie: A3=d=fakecookie; Path=/; HttpOnly\r\n"};
    }
    if (r.path.startsWith("/web/") || r.path.startsWith("/portal") || r.path.startsWith("/guce/"))
        return webPage(r);
    if (r.path.startsWith("/consent"))
        return consentPage(r);
    if (r.path == "/v7/finance/spark")
        return spark(r.query);
    if (r.path == "/v1/finance/lookup")
        return lookup(r.query);
    if (r.path == "/v1/test/getcrumb") {
        if (!r.cookie.contains("A3="))
            return {403, "Forbidden", "text/plain", ""};
        return {200, crumb_, "text/plain", ""};
    }
    if (r.path.startsWith("/v8/finance/chart/"))
        return chart(QString::fromLatin1(QByteArray::fromPercentEncoding(r.path.mid(18))), r.query);
    if (r.path == "/v7/finance/quote") {
        if (refuseCrumbs_ || param(r.query, "crumb") != crumb_)
            return {401, R"({"finance":{"result":null,"error":{"code":"Unauthorized","description":"Invalid Crumb"}}})",
                    "application/json", ""};
        if (quoteLimit_ > 0 && param(r.query, "symbols").split(',').size() > quoteLimit_)
            return {400,
                    R"({"finance":{"result":null,"error":{"code":"Bad Request","description":"too many symbols"}}})",
                    "application/json", ""};
        return quotes(r.query);
    }
    if (r.path == "/v1/finance/search")
        return search(r.query);
    return {404, "{}", "application/json", ""};
}

QJsonObject FakeProvider::chartResult(const QString& symbol, int* status) const
{
    if (charts_.contains(symbol)) {
        *status = charts_.value(symbol).status;
        return QJsonDocument::fromJson(charts_.value(symbol).body)
            .object()
            .value(QLatin1String("chart"))
            .toObject()
            .value(QLatin1String("result"))
            .toArray()
            .at(0)
            .toObject();
    }
    if (!quotes_.contains(symbol)) {
        *status = 404;
        return {};
    }
    *status = 200;
    // A chart built from the quote: its meta, and the day's bar.
    const QJsonObject q = quotes_.value(symbol);
    QJsonObject meta;
    for (const char* key :
         {"symbol", "shortName", "fullExchangeName", "exchangeTimezoneName", "priceHint", "regularMarketTime",
          "regularMarketPrice", "regularMarketDayHigh", "regularMarketDayLow", "regularMarketVolume"})
        meta[QLatin1String(key)] = q.value(QLatin1String(key));
    meta[QStringLiteral("exchangeName")] = q.value(QLatin1String("exchange"));
    meta[QStringLiteral("gmtoffset")] = -18000;
    QJsonObject bar;
    bar[QStringLiteral("open")] = QJsonArray{q.value(QLatin1String("regularMarketOpen"))};
    bar[QStringLiteral("high")] = QJsonArray{q.value(QLatin1String("regularMarketDayHigh"))};
    bar[QStringLiteral("low")] = QJsonArray{q.value(QLatin1String("regularMarketDayLow"))};
    bar[QStringLiteral("close")] = QJsonArray{q.value(QLatin1String("regularMarketPrice"))};
    bar[QStringLiteral("volume")] = QJsonArray{q.value(QLatin1String("regularMarketVolume"))};
    QJsonObject result;
    result[QStringLiteral("meta")] = meta;
    result[QStringLiteral("timestamp")] = QJsonArray{q.value(QLatin1String("regularMarketTime")).toInteger() - 23400};
    result[QStringLiteral("indicators")] = QJsonObject{{QStringLiteral("quote"), QJsonArray{bar}}};
    return result;
}

QByteArray FakeProvider::dailyChart(const QString& symbol, qint64 from, qint64 to)
{
    // Written by hand: ten years of bars through QJsonDocument cost more
    // than the run that reads them.
    QByteArray stamps, open, high, low, close, volume;
    const qint64 day = 86400;
    // Every symbol its own prices: the program takes the same answer for
    // two symbols as a fault of the service.
    const double base = 10 + static_cast<double>(qHash(symbol) % 5000) / 100.0;
    for (qint64 t = from - from % day + 14 * 3600 + 1800; t <= to; t += day) {
        const QDate d = QDateTime::fromSecsSinceEpoch(t, QTimeZone::utc()).date();
        if (d.dayOfWeek() >= Qt::Saturday)
            continue;
        const double c = base + d.dayOfYear() / 10.0 + d.year() % 10;
        const char* sep = stamps.isEmpty() ? "" : ",";
        stamps += sep + QByteArray::number(t);
        open += sep + QByteArray::number(c - 0.25, 'f', 2);
        high += sep + QByteArray::number(c + 0.5, 'f', 2);
        low += sep + QByteArray::number(c - 0.5, 'f', 2);
        close += sep + QByteArray::number(c, 'f', 2);
        volume += sep + QByteArray::number(1000 + d.day());
    }
    const QByteArray name = symbol.toLatin1();
    return R"({"chart":{"result":[{"meta":{"symbol":")" + name + R"(","shortName":")" + name +
           R"( Corp","exchangeName":"NMS","fullExchangeName":"NasdaqGS","exchangeTimezoneName":"America/New_York",)" +
           R"("gmtoffset":-18000,"priceHint":2,"regularMarketTime":)" + QByteArray::number(to) + R"(},"timestamp":[)" +
           stamps + R"(],"indicators":{"quote":[{"open":[)" + open + R"(],"high":[)" + high + R"(],"low":[)" + low +
           R"(],"close":[)" + close + R"(],"volume":[)" + volume + R"(]}],"adjclose":[{"adjclose":[)" + close +
           R"(]}]}}],"error":null}})";
}

FakeProvider::Reply FakeProvider::chart(const QString& symbol, const QByteArray& query) const
{
    if (charts_.contains(symbol))
        return charts_.value(symbol);
    if (dailyCharts_)
        return {200, dailyChart(symbol, param(query, "period1").toLongLong(), param(query, "period2").toLongLong()),
                "application/json", ""};
    int status = 0;
    const QJsonObject result = chartResult(symbol, &status);
    if (status == 404)
        return {404, notFound_, "application/json", ""};
    const QJsonObject chart{{QStringLiteral("chart"), QJsonObject{{QStringLiteral("result"), QJsonArray{result}},
                                                                  {QStringLiteral("error"), QJsonValue()}}}};
    return {200, QJsonDocument(chart).toJson(QJsonDocument::Compact), "application/json", ""};
}

FakeProvider::Reply FakeProvider::spark(const QByteArray& query) const
{
    const QList<QByteArray> symbols = param(query, "symbols").split(',');
    if (symbols.size() > 20)
        return {400, R"({"spark":{"result":null,"error":{"code":"Bad Request","description":"too many symbols"}}})",
                "application/json", ""};
    QJsonArray result;
    for (const QByteArray& s : symbols) {
        int status = 0;
        QJsonObject r = chartResult(QString::fromLatin1(s), &status);
        if (status != 200)
            continue;  // left out, as the provider does
        // Closes only; the meta as the chart's, or bare as it used to be.
        QJsonObject meta = r.value(QLatin1String("meta")).toObject();
        if (sparkBare_) {
            for (const char* key : {"regularMarketDayHigh", "regularMarketDayLow", "regularMarketVolume"})
                meta.remove(QLatin1String(key));
        }
        const QJsonObject quote =
            r.value(QLatin1String("indicators")).toObject().value(QLatin1String("quote")).toArray().at(0).toObject();
        r[QStringLiteral("meta")] = meta;
        r[QStringLiteral("indicators")] =
            QJsonObject{{QStringLiteral("quote"),
                         QJsonArray{QJsonObject{{QStringLiteral("close"), quote.value(QLatin1String("close"))}}}}};
        result.append(QJsonObject{{QStringLiteral("symbol"), QString::fromLatin1(s)},
                                  {QStringLiteral("response"), QJsonArray{r}}});
    }
    const QJsonObject body{{QStringLiteral("spark"),
                            QJsonObject{{QStringLiteral("result"), result}, {QStringLiteral("error"), QJsonValue()}}}};
    return {200, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json", ""};
}

FakeProvider::Reply FakeProvider::lookup(const QByteArray& query) const
{
    // Every quote whose name holds the text, in symbol order.
    const QString text = QString::fromUtf8(param(query, "query"));
    const QString type = QString::fromLatin1(param(query, "type"));
    QStringList symbols = quotes_.keys();
    symbols.sort();
    QJsonArray documents;
    int total = 0;
    const int start = param(query, "start").toInt();
    const int count = param(query, "count").toInt();
    for (const QString& symbol : symbols) {
        const QJsonObject q = quotes_.value(symbol);
        const QString quoteType = q.value(QLatin1String("quoteType")).toString();
        if (!q.value(QLatin1String("shortName")).toString().contains(text, Qt::CaseInsensitive) ||
            (type != QLatin1String("all") && quoteType.compare(type, Qt::CaseInsensitive) != 0))
            continue;
        if (total >= start && total < start + count)
            documents.append(QJsonObject{{QStringLiteral("symbol"), symbol},
                                         {QStringLiteral("shortName"), q.value(QLatin1String("shortName"))},
                                         {QStringLiteral("exchange"), q.value(QLatin1String("exchange"))},
                                         {QStringLiteral("quoteType"), quoteType.toLower()}});
        ++total;
    }
    const QJsonObject result{{QStringLiteral("start"), start},
                             {QStringLiteral("count"), documents.size()},
                             {QStringLiteral("total"), total},
                             {QStringLiteral("documents"), documents}};
    const QJsonObject body{{QStringLiteral("finance"), QJsonObject{{QStringLiteral("result"), QJsonArray{result}},
                                                                   {QStringLiteral("error"), QJsonValue()}}}};
    return {200, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json", ""};
}

FakeProvider::Reply FakeProvider::consentPage(const Request& r)
{
    if (r.method == "POST" && r.path == "/consent/collect") {
        // Agreed, with the page's own hidden fields.
        if (param(r.body, "agree") == "agree" && param(r.body, "csrfToken") == "tok&en=1" &&
            param(r.body, "sessionId") == "3_cc-session")
            consentGiven_ = true;
        return {302, {}, "text/html", "Location: /consent/copy?sessionId=3_cc-session\r\n"};
    }
    if (r.path == "/consent/copy")
        return {200, "<html>done</html>", "text/html", ""};
    return {200,
            "<!DOCTYPE html><html><body><form method=\"post\" class=\"consent-form\" action=\"/consent/collect\">"
            "<input type=\"hidden\" name=\"csrfToken\" value=\"tok&amp;en=1\">"
            "<input type=\"hidden\" name=\"sessionId\" value=\"3_cc-session\">"
            "<input type=\"text\" name=\"visible\" value=\"no\">"
            "<button type=\"submit\" name=\"agree\" value=\"agree\">Accept all</button>"
            "<button type=\"submit\" name=\"reject\" value=\"reject\">Reject all</button>"
            "</form></body></html>",
            "text/html; charset=utf-8", ""};
}

FakeProvider::Reply FakeProvider::webPage(const Request& r) const
{
    if (r.path.startsWith("/guce/"))  // the consent flow: straight back, consent noted
        return {302,
                {},
                "text/html",
                "Location: " + base().toLatin1() + "/web/quote/AAPL/?guccounter=1\r\nSet-Cookie: GUC=ok; Path=/\r\n"};
    if (r.path == "/web/quote/AAPL/" && webConsent_ && !r.cookie.contains("GUC="))
        return {307, {}, "text/html", "Location: " + base().toLatin1() + "/guce/consent?brandType=eu\r\n"};
    if (r.path != "/web/quote/AAPL/" && r.path != "/portal/")
        return {404, "<html>Not here</html>", "text/html", ""};
    // The provider's pages carry tens of kilobytes of headers.
    QByteArray headers = "Set-Cookie: A3=d=webcookie; Path=/; HttpOnly\r\n";
    for (int i = 0; headers.size() < 60 * 1024; ++i)
        headers += "X-Filler-" + QByteArray::number(i) + ": " + QByteArray(900, 'f') + "\r\n";
    // With a form of its own, as the provider's pages have (a search box).
    return {200,
            "<html><body><form action=\"/web/search\"><input type=\"hidden\" name=\"fr\" value=\"uh3\">"
            "<input name=\"p\"></form>Apple Inc. (AAPL)</body></html>",
            "text/html", headers};
}

FakeProvider::Reply FakeProvider::quotes(const QByteArray& query) const
{
    QJsonArray result;
    for (const QByteArray& s : param(query, "symbols").split(',')) {
        const QString symbol = QString::fromLatin1(s);
        if (quotes_.contains(symbol))
            result.append(quotes_.value(symbol));
    }
    const QJsonObject body{{QStringLiteral("quoteResponse"),
                            QJsonObject{{QStringLiteral("result"), result}, {QStringLiteral("error"), QJsonValue()}}}};
    return {200, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json", ""};
}

FakeProvider::Reply FakeProvider::search(const QByteArray& query) const
{
    const QString text = QString::fromUtf8(param(query, "q"));
    const QByteArray recorded = searches_.value(text);
    if (!recorded.isEmpty())
        return {200, recorded, "application/json", ""};
    // A symbol of the test's own quotes finds itself.
    QJsonArray found;
    if (quotes_.contains(text.toUpper())) {
        const QJsonObject q = quotes_.value(text.toUpper());
        found.append(QJsonObject{{QStringLiteral("symbol"), q.value(QLatin1String("symbol"))},
                                 {QStringLiteral("shortname"), q.value(QLatin1String("shortName"))},
                                 {QStringLiteral("exchange"), q.value(QLatin1String("exchange"))},
                                 {QStringLiteral("exchDisp"), q.value(QLatin1String("fullExchangeName"))},
                                 {QStringLiteral("quoteType"), q.value(QLatin1String("quoteType"))}});
    }
    const QJsonObject body{{QStringLiteral("count"), found.size()},
                           {QStringLiteral("quotes"), found},
                           {QStringLiteral("news"), QJsonArray()}};
    return {200, QJsonDocument(body).toJson(QJsonDocument::Compact), "application/json", ""};
}

void FakeProvider::send(QTcpSocket* socket, const Reply& reply)
{
    socket->write("HTTP/1.1 " + QByteArray::number(reply.status) + " X\r\nContent-Type: " + reply.contentType +
                  "\r\nContent-Length: " + QByteArray::number(reply.body.size()) + "\r\n" + reply.extraHeaders +
                  "\r\n" + reply.body);
}
