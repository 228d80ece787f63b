#include "gateway/legacypages.h"

#include "gateway/legacytext.h"

using legacytext::html;

namespace legacypages {

namespace {

LegacyReply page(int status, const QByteArray& title, const QByteArray& body)
{
    return {status, "<html><head><title>" + title + "</title></head><body>\n" + body + "\n</body></html>\n",
            "text/html; charset=ISO-8859-1"};
}

// Symbols go into a link's query as the program sends them: unescaped,
// except for what would end the attribute or the query.
QByteArray linkSymbol(const QString& symbol)
{
    QByteArray out = symbol.toLatin1();
    out.replace('"', "%22").replace('&', "%26").replace('+', "%2B").replace(' ', "%20");
    return out;
}

}  // namespace

LegacyReply failure(const QString& why)
{
    return {503, "<html><body>Quote source unavailable: " + html(why) + "</body></html>", "text/html"};
}

LegacyReply noAnswer() { return {0, QByteArray(), QByteArray()}; }

LegacyReply historyStart(const QString& symbol, const QDate& first)
{
    // The program finds the month in the selected option 29 characters after
    // its marker, then the day and year in the inputs that follow.
    QByteArray form = "<table><tr><th>Start Date:</th><td><select name=\"a\">"
                      "<option &quot;selected&quot;  value=\"" +
                      QByteArray::number(first.month()) + "\">" + QByteArray::number(first.month()) +
                      "</option>"
                      "</select><input type=\"text\" name=\"b\" size=\"2\" maxlength=\"2\" value=\"" +
                      QByteArray::number(first.day()) +
                      "\"><input type=\"text\" name=\"c\" size=\"4\" maxlength=\"4\" value=\"" +
                      QByteArray::number(first.year()) + "\"></td></tr></table>";
    return page(200, "Historical Prices: " + html(symbol), form);
}

LegacyReply noHistory(const QString& symbol)
{
    return page(200, "Historical Prices", "There is no Historical Prices data available for " + html(symbol) + ".");
}

LegacyReply invalidTicker(const QString& symbol)
{
    return page(200, "Invalid Ticker Symbol", "<b>" + html(symbol) + "</b>: Invalid Ticker Symbol");
}

LegacyReply changedTicker(const QString& oldTicker, const QString& newTicker)
{
    return page(200, "Quote",
                "'" + html(oldTicker) + "' is no longer valid. It has changed to <a href=\"/q?s=" +
                    linkSymbol(newTicker) + "\">" + html(newTicker) + "</a>.");
}

LegacyReply plainQuote(const QString& symbol, const QString& name)
{
    return page(200, "Quote: " + html(symbol), "<h1>" + html(name) + " (" + html(symbol) + ")</h1>");
}

LegacyReply lookup(const QString& text, int first, const QVector<LookupRow>& rows, int total)
{
    QByteArray body = "<p>Search for " + html(text) + "</p>\n<table>\n";
    QList<QByteArray> symbols;
    for (const LookupRow& r : rows) {
        body +=
            "<tr><td>" + html(r.symbol) + "</td><td>" + html(r.name) + "</td><td>" + html(r.exchange) + "</td></tr>\n";
        symbols << linkSymbol(r.symbol);
    }
    body += "</table>\n<p>Showing " + QByteArray::number(first) + " - " + QByteArray::number(first + rows.size() - 1) +
            " of " + QByteArray::number(total) + "</p>\n" + "<p><a href=\"/q?s=" + symbols.join('+') +
            "&f=sl1d1t1c1ohgv\">View Quotes for All Above Symbols</a></p>";
    return page(200, "Symbol Lookup", body);
}

LegacyReply noMatches(const QString& text)
{
    return page(200, "Symbol Lookup", "<p>Your search for " + html(text) + " returned no matches.</p>");
}

LegacyReply unknownSymbol(const QString& symbol)
{
    return page(404, "Not Found", "<p>No data for " + html(symbol) + ": the symbol is not known.</p>");
}

LegacyReply unknownPath() { return page(404, "Not Found", "<p>Not found.</p>"); }

LegacyReply noPrices() { return {404, "No Prices in this date range\n", "text/plain"}; }

}  // namespace legacypages
