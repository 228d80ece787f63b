#include "gateway/quoteanswers.h"

#include "gateway/legacypages.h"
#include "gateway/legacytext.h"
#include "gateway/quotesource.h"
#include "gateway/userfiles.h"

#include <QSet>
#include <algorithm>
#include <optional>

using livejson::Instrument;
using livejson::present;

namespace {

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

QByteArray nameOf(const Instrument& i, const QString& asked)
{
    for (const QString& name : {i.shortName, i.longName}) {
        const QByteArray text = legacytext::csvName(name);
        if (!text.isEmpty())
            return text;
    }
    return legacytext::csvName(asked);
}

}  // namespace

QByteArray legacyLine(const QString& asked, const Instrument* i, const QByteArray& fields)
{
    const QByteArray symbol = quoted(legacytext::csvName(asked));
    QList<QByteArray> out;
    if (!i) {
        // What the old service answered for a symbol it did not know.
        for (const QByteArray& code : fieldCodes(fields)) {
            if (code == "s" || code == "n")
                out << symbol;
            else if (code == "l1")
                out << "0.00";
            else if (code == "d1" || code == "t1" || code == "x")
                out << "\"N/A\"";
            else
                out << "N/A";
        }
        return out.join(',') + "\r\n";
    }
    // Only the provider's own values. An index has no open or range of its
    // own (the provider sends 0): the old service repeated the last price
    // there. Whatever else is missing is not available, never a guess.
    const auto dayPrice = [i](double v) -> QByteArray {
        if (present(v) && v != 0)
            return legacytext::price(v, i->priceHint);
        if (present(v) && isIndex(*i) && present(i->last))
            return legacytext::price(i->last, i->priceHint);
        return "N/A";
    };
    const QDateTime local = i->marketTime > 0 ? i->exchange.local(i->marketTime) : QDateTime();
    for (const QByteArray& code : fieldCodes(fields)) {
        if (code == "s")
            out << symbol;
        else if (code == "d1")
            out << quoted(local.isValid() ? legacytext::quoteDate(local.date()) : "N/A");
        else if (code == "t1")
            out << quoted(local.isValid() ? legacytext::quoteTime(local.time()) : "N/A");
        else if (code == "o")
            out << dayPrice(i->open);
        else if (code == "h")
            out << dayPrice(i->high);
        else if (code == "g")
            out << dayPrice(i->low);
        else if (code == "l1")
            out << (present(i->last) && i->last != 0 ? legacytext::price(i->last, i->priceHint) : "N/A");
        else if (code == "v")
            out << (present(i->volume) ? legacytext::volume(i->volume) : "N/A");
        else if (code == "n")
            out << quoted(nameOf(*i, asked));
        else if (code == "x")
            out << quoted(legacytext::csvName(i->fullExchangeName.isEmpty() ? i->exchangeCode : i->fullExchangeName));
        else
            out << "N/A";
    }
    return out.join(',') + "\r\n";
}

struct QuoteAnswers::Work {
    struct Waiter {
        QStringList asked;
        QByteArray fields;
        HttpServer::Respond respond;
        std::shared_ptr<ClientWatch> client;
    };
    std::vector<Waiter> waiters;
    Upstream::Cancelled cancelled = std::make_shared<bool>(false);
    bool retryExpected = false;  // a waiter's budget ran out: the program asks again
    std::optional<QuoteFetch> result;
    std::shared_ptr<const QuoteFetch> progress;  // what is known so far
    qint64 doneAt = 0;
};

namespace {

// The lines of the symbols the provider has answered for, in the order
// asked. A symbol that could not be asked, or is still under way, has no
// line: never an echo line, which the program would take for a dropped
// ticker. Empty when no asked symbol has a line.
QByteArray lines(const QuoteFetch& f, const QStringList& asked, const QByteArray& fields)
{
    QByteArray body;
    for (const QString& symbol : asked) {
        const QString key = symbol.toUpper();
        const auto it = f.known.constFind(key);
        if (it != f.known.constEnd())
            body += legacyLine(symbol, &*it, fields);
        else if (f.unknown.contains(key))
            body += legacyLine(symbol, nullptr, fields);
    }
    return body;
}

LegacyReply reply(const QuoteFetch& f, const QStringList& asked, const QByteArray& fields)
{
    const QByteArray body = lines(f, asked, fields);
    if (body.isEmpty() && !f.failed.isEmpty())
        return legacypages::failure(f.failed.constBegin().value());
    return {200, body, "text/plain"};
}

// The fields of a current quote, as opposed to names and exchanges only.
bool wantsPrices(const QByteArray& fields)
{
    for (const QByteArray& code : fieldCodes(fields)) {
        if (code != "s" && code != "n" && code != "x")
            return true;
    }
    return false;
}

}  // namespace

QuoteAnswers::QuoteAnswers(QuoteSource& source, QString dataFolder)
    : source_(source), dataFolder_(std::move(dataFolder))
{
    clock_.start();
}

void QuoteAnswers::quotes(const LegacyRequest& request, HttpServer::Respond respond)
{
    const QByteArray fields = request.query.value("f", "sd1t1ohgl1vn");
    const QStringList symbols = request.symbols("s");
    if (symbols.size() > kMaxSymbols) {
        respond({400, "<html><body>More than 180 symbols</body></html>", "text/html"});
        return;
    }
    answer(symbols, fields, request, std::move(respond));
}

void QuoteAnswers::members(const LegacyRequest& request, HttpServer::Respond respond)
{
    const QStringList index = request.symbols("s");
    QString name = index.value(0);
    if (name.startsWith(QLatin1Char('@')))
        name.remove(0, 1);
    const QStringList all = userfiles::members(dataFolder_, name);
    const int from = std::max(request.integer("h", 0), 0);
    const QStringList page = all.mid(from, kMembersPage);
    if (page.isEmpty()) {
        // No list kept for this index (or past its end): no members, as the
        // old service answered.
        respond({200, QByteArray(), "text/plain"});
        return;
    }
    answer(page, request.query.value("f", "snx"), request, std::move(respond));
}

void QuoteAnswers::answer(const QStringList& asked, const QByteArray& fields, const LegacyRequest& request,
                          HttpServer::Respond respond)
{
    QStringList unique;
    QSet<QString> seen;
    for (const QString& symbol : asked) {
        const QString key = symbol.toUpper();
        if (!seen.contains(key)) {
            seen.insert(key);
            unique << key;
        }
    }
    if (unique.isEmpty()) {
        respond({200, QByteArray(), "text/plain"});
        return;
    }
    const qint64 now = clock_.elapsed();
    works_.removeIf([now](const auto& it) { return it.value()->result && now - it.value()->doneAt > kKeepMs; });

    const bool prices = wantsPrices(fields);
    const QString key = unique.join(QLatin1Char('+')) + (prices ? QString() : QStringLiteral(" names"));
    std::shared_ptr<Work> work = works_.value(key);
    if (work && work->result) {
        // Finished while the program was between two attempts.
        const QuoteFetch result = *work->result;
        works_.remove(key);
        respond(reply(result, asked, fields));
        return;
    }
    const bool start = !work;
    if (start) {
        work = std::make_shared<Work>();
        works_.insert(key, work);
    }
    work->waiters.push_back({asked, fields, std::move(respond), request.client});
    const std::shared_ptr<ClientWatch> client = request.client;
    client->onEnd([this, key, client](ClientWatch::End end) { waiterEnded(key, client, end); });
    client->onDeadline([this, key, client] { deadline(key, client); });
    if (start)
        work->progress =
            source_.fetch(unique, prices, work->cancelled, [this, key](const QuoteFetch& f) { done(key, f); });
}

void QuoteAnswers::deadline(const QString& key, const std::shared_ptr<ClientWatch>& client)
{
    // The program stops waiting now. What is in goes out; the rest is asked
    // on (the program asks for it again after its other batches).
    const std::shared_ptr<Work> work = works_.value(key);
    if (!work || work->result || !work->progress)
        return;
    const auto w = std::find_if(work->waiters.begin(), work->waiters.end(),
                                [&client](const Work::Waiter& x) { return x.client == client; });
    if (w == work->waiters.end())
        return;
    const QByteArray body = lines(*work->progress, w->asked, w->fields);
    if (body.isEmpty())
        return;  // nothing yet: the attempt fails, its retry joins the work
    const HttpServer::Respond respond = w->respond;
    work->waiters.erase(w);
    work->retryExpected = true;
    respond({200, body, "text/plain"});
}

void QuoteAnswers::done(const QString& key, const QuoteFetch& result)
{
    const std::shared_ptr<Work> work = works_.value(key);
    if (!work)
        return;
    std::vector<Work::Waiter> waiters;
    waiters.swap(work->waiters);
    bool served = false;
    for (Work::Waiter& w : waiters) {
        if (w.client->end() != ClientWatch::End::Open)
            continue;
        w.respond(reply(result, w.asked, w.fields));
        served = true;
    }
    if (served) {
        works_.remove(key);
        return;
    }
    // Nobody waits right now: the program's next attempt takes it.
    work->result = result;
    work->doneAt = clock_.elapsed();
}

void QuoteAnswers::waiterEnded(const QString& key, const std::shared_ptr<ClientWatch>& client, ClientWatch::End end)
{
    const std::shared_ptr<Work> work = works_.value(key);
    if (!work || work->result)
        return;
    std::erase_if(work->waiters, [&client](const Work::Waiter& w) { return w.client == client; });
    if (end == ClientWatch::End::Expired)
        work->retryExpected = true;
    if (end == ClientWatch::End::Gone && work->waiters.empty() && !work->retryExpected) {
        // The client gave up and nobody else waits: stop asking for it.
        *work->cancelled = true;
        works_.remove(key);
    }
}
