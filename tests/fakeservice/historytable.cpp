#include "historytable.h"

#include <QHash>
#include <QLocale>
#include <algorithm>

namespace fakehistory {

bool range(const FakeQuoteService::Request& r, QDate* start, QDate* end)
{
    auto number = [&r](const char* key) { return r.query.value(key).toInt(); };
    *start = QDate(number("c"), number("a") + 1, number("b"));
    *end = QDate(number("f"), number("d") + 1, number("e"));
    return start->isValid() && end->isValid();
}

QByteArray close(const QByteArray& symbol, const QDate& day)
{
    const double base = 10 + static_cast<double>(qHash(symbol.toUpper()) % 9000) / 100.0;
    const double price = base + static_cast<double>(day.toJulianDay() % 10) / 10.0;
    return QByteArray::number(price, 'f', 2);
}

QByteArray answer(const QByteArray& symbol, const QDate& start, const QDate& end)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    QByteArray body = "Date,Open,High,Low,Close,Volume,Adj Close\n";
    body.reserve(body.size() + (end.toJulianDay() - start.toJulianDay() + 1) * 64);
    for (QDate d = end; d >= start; d = d.addDays(-1)) {
        if (d.dayOfWeek() >= Qt::Saturday)
            continue;
        const QByteArray c = close(symbol, d);
        body += QByteArray::number(d.day());
        body += '-';
        body += months[d.month() - 1];
        body += '-';
        body += QByteArray::number(d.year() % 100).rightJustified(2, '0');
        for (int i = 0; i < 4; ++i) {
            body += ',';
            body += c;
        }
        body += ',';
        body += QByteArray::number(1000 + d.day());
        body += ',';
        body += c;
        body += '\n';
    }
    return body;
}

std::function<std::optional<FakeQuoteService::Reply>(const FakeQuoteService::Request&)> responder()
{
    return [](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        QDate start, end;
        if (r.path != "/table.csv" || !range(r, &start, &end))
            return std::nullopt;
        const QByteArray body = answer(r.query.value("s"), start, end);
        if (body.count('\n') < 2)
            return FakeQuoteService::Reply{404, "<html><body>No Prices in this date range</body></html>", "text/html"};
        return FakeQuoteService::Reply{200, body, "text/csv"};
    };
}

std::function<std::optional<FakeQuoteService::Reply>(const FakeQuoteService::Request&)>
responderUntil(const QDate& last)
{
    return [last](const FakeQuoteService::Request& r) -> std::optional<FakeQuoteService::Reply> {
        QDate start, end;
        if (r.path != "/table.csv" || !range(r, &start, &end))
            return std::nullopt;
        return FakeQuoteService::Reply{200, answer(r.query.value("s"), start, std::min(end, last)), "text/csv"};
    };
}

}  // namespace fakehistory
