#include "gateway/quoteanswers.h"

#include "gateway/legacypages.h"
#include "gateway/legacytext.h"
#include "gateway/quotesource.h"
#include "gateway/userfiles.h"

#include <QSet>

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

QByteArray quoted(const QByteArray& text)
{
    return '"' + text + '"';
}

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
            if (code == "s" || code == "n") out << symbol;
            else if (code == "l1") out << "0.00";
            else if (code == "d1" || code == "t1" || code == "x") out << "\"N/A\"";
            else out << "N/A";
        }
        return out.join(',') + "\r\n";
    }
    // An index has no open or range of its own (the provider sends 0): the
    // old service repeated the last price there.
    const auto orLast = [i](double v) { return present(v) && v != 0 ? v : i->last; };
    const QDateTime local = i->marketTime > 0 ? i->exchange.local(i->marketTime) : QDateTime();
    for (const QByteArray& code : fieldCodes(fields)) {
        if (code == "s") out << symbol;
        else if (code == "d1") out << quoted(local.isValid() ? legacytext::quoteDate(local.date()) : "N/A");
        else if (code == "t1") out << quoted(local.isValid() ? legacytext::quoteTime(local.time()) : "N/A");
        else if (code == "o") out << legacytext::price(orLast(i->open), i->priceHint);
        else if (code == "h") out << legacytext::price(orLast(i->high), i->priceHint);
        else if (code == "g") out << legacytext::price(orLast(i->low), i->priceHint);
        else if (code == "l1") out << legacytext::price(i->last, i->priceHint);
        else if (code == "v") out << legacytext::volume(i->volume);
        else if (code == "n") out << quoted(nameOf(*i, asked));
        else if (code == "x") out << quoted(legacytext::csvName(i->fullExchangeName.isEmpty() ? i->exchangeCode
                                                                                             : i->fullExchangeName));
        else out << "N/A";
    }
    return out.join(',') + "\r\n";
}

QuoteAnswers::QuoteAnswers(QuoteSource& source, QString dataFolder)
    : source_(source), dataFolder_(std::move(dataFolder))
{
}

void QuoteAnswers::quotes(const LegacyRequest& request, HttpServer::Respond respond)
{
    const QByteArray fields = request.query.value("f", "sd1t1ohgl1vn");
    answer(request.symbols("s"), fields, std::move(respond));
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
    answer(page, request.query.value("f", "snx"), std::move(respond));
}

void QuoteAnswers::answer(const QStringList& asked, const QByteArray& fields, HttpServer::Respond respond)
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
    source_.fetch(unique, [asked, fields, respond](const QuoteFetch& f) {
        // Never an echo line for a symbol that could not be asked: the
        // program would take it for a dropped ticker.
        if (f.failed) {
            respond(legacypages::failure(f.failure));
            return;
        }
        QByteArray body;
        for (const QString& symbol : asked) {
            const auto it = f.known.constFind(symbol.toUpper());
            body += legacyLine(symbol, it == f.known.constEnd() ? nullptr : &*it, fields);
        }
        respond({200, body, "text/plain"});
    });
}
