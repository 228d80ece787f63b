#include "quotes/currentquotes.h"

#include "quotes/csvfields.h"
#include "support/state.h"

#include <QHash>
#include <QSet>

CurrentQuotes decodeCurrentQuotes(QByteArrayView body, bool reject, int maxYear, const QStringList* asked)
{
    CurrentQuotes q;
    const QVector<QByteArrayView> lines = csv::splitLines(body);
    if (lines.size() < 2)
        return q;
    q.decoded = true;
    q.foundall = true;
    // Upper-case asked ticker -> answered yet.
    QHash<QString, bool> pending;
    if (asked) {
        for (const QString& t : *asked) {
            if (!t.trimmed().isEmpty())
                pending.insert(t.trimmed().toUpper(), false);
        }
    }
    for (const QByteArrayView line : lines) {
        const csv::Fields f = csv::splitFields(line);
        if (f.size() < 9)
            continue;
        const QString ticker = csv::clean(f[0]);
        if (asked) {
            // A line for another symbol (a request cut short by the
            // service, a mixed-up answer) must not reach any file.
            const auto it = pending.find(ticker.toUpper());
            if (it == pending.end() || *it) {
                q.unasked.append(ticker);
                continue;
            }
            *it = true;
        }
        const qint32 date = csv::cvdatum(f[1], maxYear);
        const double open = csv::number(f[3]);
        const double high = csv::number(f[4]);
        const double low = csv::number(f[5]);
        const double close = csv::number(f[6]);
        const double volume = csv::number(f[7]);
        QString name = csv::clean(f[8]);
        if (f.size() == 10)
            name += QLatin1Char(',') + csv::clean(f[9]);

        // The service echoes an unknown symbol as its own name with zeros.
        const bool found =
            name != ticker || date != 0 || open != 0 || high != 0 || low != 0 || close != 0 || volume != 0;
        if (!found) {
            q.notfound.append(ticker);
            q.foundall = false;
            continue;
        }
        // A price or volume the service could not give is no zero: the
        // quote waits for a whole answer.
        const auto lacking = [&f](qsizetype k) {
            return csv::clean(f[k]).compare(QLatin1String("N/A"), Qt::CaseInsensitive) == 0;
        };
        if (lacking(3) || lacking(4) || lacking(5) || lacking(6) || lacking(7)) {
            q.incomplete.append(ticker);
            continue;
        }
        if (volume == 0 && reject && !ticker.startsWith(QLatin1Char('^')) &&
            !ticker.toUpper().contains(QLatin1String("=X"))) {
            q.SymbolsVerworpen.append(ticker);
            q.foundall = false;
            continue;
        }
        if (name.trimmed().isEmpty())
            name = ticker;
        CurrentQuote& quote = q.quotes.emplace_back();
        quote.ticker = ticker;
        // The name is the last field: every comma after the eighth is its own.
        const QString sent = csv::quotedText(line.sliced(f[8].data() - line.data()));
        if (!sent.isEmpty() && sent != name)
            q.sentNames.insert(ticker, sent);
        quote.name = std::move(name);
        quote.time = csv::clean(f[2]);
        quote.bar.date = date;
        quote.bar.open = core::Figure(csv::numberText(f[3]), open);
        quote.bar.high = core::Figure(csv::numberText(f[4]), high);
        quote.bar.low = core::Figure(csv::numberText(f[5]), low);
        quote.bar.close = core::Figure(csv::numberText(f[6]), close);
        quote.bar.volume = core::Figure(csv::numberText(f[7]), volume);
    }
    if (asked) {
        QSet<QString> listed;
        for (const QString& t : *asked) {
            const QString key = t.trimmed().toUpper();
            if (!key.isEmpty() && !pending.value(key) && !listed.contains(key)) {
                q.missing.append(t.trimmed());
                listed.insert(key);
            }
        }
    }
    return q;
}

QString queryText(const QString& text)
{
    bool latin1 = true;
    for (const QChar c : text)
        latin1 = latin1 && c.unicode() <= 0xFF;
    const QByteArray bytes = latin1 ? text.toLatin1() : text.toUtf8();
    static const char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F || b == '%' || b == '&' || b == '+' || b == '#' || b == '=') {
            out += QLatin1Char('%');
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 0xF]);
        } else {
            out += QLatin1Char(c);
        }
    }
    return out;
}

QString quoteHostFor(const QString& region)
{
    const ProgramSettings& s = settings();
    if (region == QLatin1String("AU"))
        return QStringLiteral("http://") + s.quoteHostAU;
    if (region == QLatin1String("SG"))
        return QStringLiteral("http://") + s.quoteHostSG;
    return QStringLiteral("http://") + s.quoteHost;
}

QString currentQuotesUrl(const QStringList& tickers, const QString& region)
{
    QString url = quoteHostFor(region) + QStringLiteral("/d/quotes.csv?s=");
    for (const QString& t : tickers) {
        if (!t.isEmpty())
            url += queryText(t) + QLatin1Char('+');
    }
    return url + QStringLiteral("&f=sd1t1ohgl1vn&e=.csv");
}
