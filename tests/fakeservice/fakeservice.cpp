#include "fakeservice.h"

#include "support/settingsstore.h"
#include "support/state.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>

namespace {

// The field string split into its fields: a letter and an optional digit.
QList<QByteArray> fieldCodes(const QByteArray& fields)
{
    QList<QByteArray> codes;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        QByteArray code(1, fields[i]);
        if (i + 1 < fields.size() && fields[i + 1] >= '0' && fields[i + 1] <= '9')
            code += fields[++i];
        codes.append(code);
    }
    return codes;
}

QByteArray quoted(const QByteArray& text) { return '"' + text + '"'; }

QByteArray htmlPage(const QByteArray& title, const QByteArray& body)
{
    return "<html><head><title>" + title + "</title></head><body>\n" + body + "\n</body></html>\n";
}

}  // namespace

FakeQuoteService::FakeQuoteService(QObject* parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &FakeQuoteService::accept);
    server_.listen(QHostAddress::LocalHost, 0);
}

QString FakeQuoteService::host() const { return QStringLiteral("127.0.0.1:%1").arg(port()); }

void FakeQuoteService::useForAllHosts() const
{
    ProgramSettings& s = settings();
    s.quoteHost = s.quoteHostAU = s.quoteHostSG = s.chartHost = host();
}

void FakeQuoteService::useForAllHostsInStore() const
{
    for (const char* key : {"QuoteHost", "QuoteHostAU", "QuoteHostSG", "ChartHost"})
        store::write(QLatin1String(key), host());
}

qint64 FakeQuoteService::now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void FakeQuoteService::addQuote(const Quote& quote)
{
    // Looked up by hash: a benchmark asks for ten thousand symbols.
    const QByteArray key = quote.symbol.toUpper();
    if (!quoteIndex_.contains(key))
        quoteIndex_.insert(key, quotes_.size());
    quotes_.append(quote);
}

FakeQuoteService::Quote FakeQuoteService::quote(const QByteArray& symbol, const QByteArray& date,
                                                const QByteArray& close, const QByteArray& volume,
                                                const QByteArray& name, const QByteArray& exchange)
{
    return {symbol, date, "4:00pm", close, close, close, close, volume, name, exchange};
}

void FakeQuoteService::setMembers(const QByteArray& index, const QList<QByteArray>& symbols)
{
    members_[index.toUpper()] = symbols;
}

void FakeQuoteService::setPage(const QByteArray& path, const QByteArray& symbol, const Reply& reply)
{
    pages_[path + '\n' + symbol.toUpper()] = reply;
}

void FakeQuoteService::setResponder(std::function<std::optional<Reply>(const Request&)> responder)
{
    responder_ = std::move(responder);
}

void FakeQuoteService::queueFault(Fault fault, int count)
{
    for (int i = 0; i < count; ++i)
        queued_.push_back(fault);
}

void FakeQuoteService::setQuote(const Quote& quote)
{
    const auto it = quoteIndex_.constFind(quote.symbol.toUpper());
    if (it == quoteIndex_.constEnd())
        addQuote(quote);
    else
        quotes_[*it] = quote;
}

const FakeQuoteService::Quote* FakeQuoteService::find(const QByteArray& symbol) const
{
    const auto it = quoteIndex_.constFind(symbol.toUpper());
    return it == quoteIndex_.constEnd() ? nullptr : &quotes_[*it];
}

QByteArray FakeQuoteService::csvLine(const Quote& q, const QByteArray& fields)
{
    QList<QByteArray> out;
    for (const QByteArray& code : fieldCodes(fields)) {
        if (code == "s")
            out << quoted(q.symbol);
        else if (code == "d1")
            out << quoted(q.date);
        else if (code == "t1")
            out << quoted(q.time);
        else if (code == "o")
            out << q.open;
        else if (code == "h")
            out << q.high;
        else if (code == "g")
            out << q.low;
        else if (code == "l1")
            out << q.close;
        else if (code == "v")
            out << q.volume;
        else if (code == "n")
            out << quoted(q.name);
        else if (code == "x")
            out << quoted(q.exchange);
        else
            out << "N/A";
    }
    return out.join(',') + "\r\n";
}

QByteArray FakeQuoteService::unknownCsvLine(const QByteArray& symbol, const QByteArray& fields)
{
    const Quote q{symbol, "N/A", "N/A", "N/A", "N/A", "N/A", "0.00", "N/A", symbol, "N/A"};
    return csvLine(q, fields);
}

QByteArray FakeQuoteService::changedTickerPage(const QByteArray& oldTicker, const QByteArray& newTicker)
{
    return htmlPage("Quote", "<div class=\"error\">'" + oldTicker +
                                 "' is no longer valid. It has changed to <a href=\"/q?s=" + newTicker + "\">" +
                                 newTicker + "</a>.</div>");
}

QByteArray FakeQuoteService::seeTickerPage(const QByteArray& newTicker)
{
    return htmlPage("Quote", "<td>Company renamed **SEE&lt;" + newTicker + "&gt;</td>");
}

QByteArray FakeQuoteService::invalidTickerPage(const QByteArray& ticker)
{
    return htmlPage("Invalid Ticker Symbol",
                    "<b>" + ticker + "</b> is not a valid ticker symbol. Invalid Ticker Symbol");
}

QByteArray FakeQuoteService::historyPricesPage(int monthValue, int day, int year)
{
    // The offsets the program reads are those of the service's page: the
    // selected option's value 29 characters after the start of its marker,
    // the inputs' values right after `maxlength="N" value="`.
    QByteArray form = "<table><tr><th>Start Date:</th><td><select name=\"a\">"
                      "<option &quot;selected&quot;  value=\"" +
                      QByteArray::number(monthValue) + "\">Month</option>";
    for (int m = 0; m < 12; ++m)
        form += "<option value=\"" + QByteArray::number(m) + "\">" + QByteArray::number(m + 1) + "</option>";
    form += "</select><input type=\"text\" name=\"b\" size=\"2\" maxlength=\"2\" value=\"" + QByteArray::number(day) +
            "\"><input type=\"text\" name=\"c\" size=\"4\" maxlength=\"4\" value=\"" + QByteArray::number(year) +
            "\"></td></tr>\n<tr><th>End Date:</th><td><select name=\"d\"><option value=\"5\">6</option></select>"
            "<input type=\"text\" name=\"e\" size=\"2\" maxlength=\"2\" value=\"14\">"
            "<input type=\"text\" name=\"f\" size=\"4\" maxlength=\"4\" value=\"2004\"></td></tr></table>";
    return htmlPage("Historical Prices", form);
}

QByteArray FakeQuoteService::noHistoryPage(const QByteArray& ticker)
{
    return htmlPage("Historical Prices", "There is no Historical Prices data available for " + ticker + ".");
}

void FakeQuoteService::accept()
{
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        const int connection = ++connections_;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer, connection] {
            *buffer += socket->readAll();
            for (;;) {
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QByteArray head = buffer->left(end);
                buffer->remove(0, end + 4);
                if (!keepAlive_) {
                    // One request per connection: the answer closes it.
                    buffer->clear();
                    disconnect(socket, &QTcpSocket::readyRead, this, nullptr);
                }
                handle(socket, head, connection);
                if (!keepAlive_)
                    return;
            }
        });
    }
}

void FakeQuoteService::handle(QTcpSocket* socket, const QByteArray& head, int connection)
{
    Request r;
    r.arrivedMs = now();
    r.connection = connection;
    const QList<QByteArray> parts = head.left(head.indexOf("\r\n")).split(' ');
    r.target = parts.value(1);
    const qsizetype question = r.target.indexOf('?');
    r.path = question < 0 ? r.target : r.target.left(question);
    if (question >= 0) {
        for (const QByteArray& pair : r.target.mid(question + 1).split('&')) {
            const qsizetype eq = pair.indexOf('=');
            if (eq <= 0)
                continue;
            r.query[pair.left(eq)] = QByteArray::fromPercentEncoding(pair.mid(eq + 1));
            if (pair.left(eq) == "s") {
                for (const QByteArray& piece : pair.mid(eq + 1).split('+')) {
                    if (!piece.isEmpty())
                        r.symbols.append(QByteArray::fromPercentEncoding(piece));
                }
            }
        }
    }
    requests_.append(r);
    const int index = requests_.size() - 1;

    Fault fault = fault_;
    const Fault chosen = chooser_ ? chooser_(r) : Fault::None;
    if (chosen != Fault::None) {
        fault = chosen;
    } else if (!queued_.empty()) {
        fault = queued_.front();
        queued_.pop_front();
    }
    const Reply reply = answer(r);
    QPointer<QTcpSocket> guard(socket);
    auto go = [this, guard, index, fault, reply] {
        if (guard)
            send(guard, index, fault, reply);
    };
    if (hold_)
        held_.push_back(go);
    else if (delayMs_ > 0)
        QTimer::singleShot(delayMs_, this, go);
    else
        go();
    emit requestArrived(index);
}

void FakeQuoteService::releaseAnswers()
{
    // Swapped out first: a request that comes meanwhile waits for the next release.
    std::vector<std::function<void()>> held;
    held.swap(held_);
    for (const auto& go : held)
        go();
}

FakeQuoteService::Reply FakeQuoteService::answer(const Request& r) const
{
    if (responder_) {
        if (auto custom = responder_(r))
            return *custom;
    }
    const QByteArray symbol = r.query.value("s");
    const QByteArray fields = r.query.value("f");
    const auto page = [&](const QByteArray& path) -> const Reply* {
        auto it = pages_.constFind(path + '\n' + symbol.toUpper());
        if (it == pages_.constEnd())
            it = pages_.constFind(path + '\n');
        return it == pages_.constEnd() ? nullptr : &*it;
    };
    if (r.path == "/d/quotes.csv") {
        Reply reply;
        for (const QByteArray& s : r.symbols) {
            const Quote* q = find(s);
            reply.body += q ? csvLine(*q, fields) : unknownCsvLine(s, fields);
        }
        return reply;
    }
    if (r.path == "/d/quotes") {
        Reply reply;
        const QList<QByteArray> members = members_.value(symbol.mid(1).toUpper());
        const int from = r.query.value("h").toInt();
        for (int i = std::max(from, 0); i < members.size() && i < from + 50; ++i) {
            const Quote* q = find(members[i]);
            reply.body += q ? csvLine(*q, fields) : unknownCsvLine(members[i], fields);
        }
        return reply;
    }
    if (const Reply* canned = page(r.path))
        return *canned;
    if (r.path == "/l" && lookups_.contains(symbol.toUpper())) {
        const QList<QByteArray>& all = lookups_[symbol.toUpper()];
        const int from = std::max(r.query.value("b").toInt(), 0);
        return {200, lookupPage(all.mid(from, 50), from + 1, static_cast<int>(all.size())), "text/html"};
    }
    if (r.path == "/l")
        return {200, htmlPage("Lookup", "Your search for " + symbol + " returned no matches"), "text/html"};
    if (r.path == "/q" || r.path == "/q/hp")
        return {200, invalidTickerPage(symbol), "text/html"};
    return {404, htmlPage("Not Found", "No Prices in this date range"), "text/html"};
}

void FakeQuoteService::send(QTcpSocket* socket, int index, Fault fault, const Reply& given)
{
    Reply reply = given;
    switch (fault) {
    case Fault::Hang:
        return;
    case Fault::CloseBeforeAnswer:
        socket->abort();
        socket->deleteLater();
        return;
    case Fault::HtmlPage:
        reply = {200, htmlPage("Moved", "<p>The service is not available.</p>"), "text/html"};
        break;
    case Fault::ServerError:
        reply = {500, htmlPage("Error", "<p>Internal Server Error</p>"), "text/html"};
        break;
    case Fault::HugeBody:
        reply = {200, QByteArray(17 * 1024 * 1024, 'A'), "text/plain"};
        break;
    case Fault::None:
    case Fault::CloseMidBody:
        break;
    }
    const QByteArray reason = reply.status == 200 ? "OK" : reply.status == 404 ? "Not Found" : "Error";
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason +
                      "\r\nContent-Type: " + reply.contentType +
                      "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                      (keepAlive_ ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
    if (fault == Fault::CloseMidBody) {
        socket->write(head + reply.body.left(reply.body.size() / 2));
        socket->flush();
        socket->abort();
        socket->deleteLater();
    } else {
        socket->write(head + reply.body);
        if (!keepAlive_)
            socket->disconnectFromHost();
    }
    if (index < requests_.size())
        requests_[index].answeredMs = now();
}

void FakeQuoteService::setLookup(const QByteArray& text, const QList<QByteArray>& symbols)
{
    lookups_[text.toUpper()] = symbols;
}

QByteArray FakeQuoteService::lookupPage(const QList<QByteArray>& symbols, int from, int total)
{
    QByteArray rows;
    for (const QByteArray& s : symbols)
        rows += "<tr><td><a href=\"/q?s=" + s + "\">" + s + "</a></td></tr>\n";
    const int to = from + static_cast<int>(symbols.size()) - 1;
    return htmlPage("Symbol Lookup", "<table><tr><td><small>Showing " + QByteArray::number(from) + " - " +
                                         QByteArray::number(to) + " of " + QByteArray::number(total) +
                                         "</small></td></tr>\n" + rows + "<tr><td><a href=\"/q?s=" + symbols.value(0) +
                                         "\">first</a></td><td>" + "<a href=\"/q?s=" + symbols.join('+') +
                                         "&f=sl1\">Get Quotes for all</a></td></tr></table>");
}
