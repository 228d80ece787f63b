#include "quotes/lookup.h"

#include "database/markets.h"
#include "quotes/csvfields.h"

QString marketFromSuffix(const QString& symbol)
{
    if (symbol.isEmpty())
        return QString();
    if (symbol.endsWith(QLatin1String("=X")))
        return QStringLiteral("Currency");
    const qsizetype dot = symbol.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return QString();
    if (symbol.startsWith(QLatin1Char('^')))
        return QStringLiteral("Indices");
    return marketOfSuffix(QStringView(symbol).mid(dot + 1));
}

LookupResult decodeLookup(QByteArrayView body, bool getname, bool getmarket, bool components)
{
    LookupResult r;
    for (const QByteArrayView line : csv::splitLines(body)) {
        csv::Fields f = csv::splitFields(line);
        if (f.size() < 2)
            continue;
        QString nameField, marketField;
        if (f.size() == 4) {
            // A comma inside the name: the two parts are joined as sent, then
            // cleaned, so the blank after the comma stays.
            nameField = csv::clean(line.sliced(f[1].data() - line.data(), f[2].data() + f[2].size() - f[1].data()));
            marketField = csv::clean(f[3]);
        } else {
            nameField = csv::clean(f[1]);
            marketField = f.size() > 2 ? csv::clean(f[2]) : QString();
        }
        const QByteArrayView raw = f[0];
        if (components && raw.first(std::min<qsizetype>(raw.size(), 2)).contains('^'))
            continue;

        const QString ticker = csv::clean(raw);
        r.yahooticker.append(ticker);
        // The fields follow each other in the order asked for.
        const QString* next = &nameField;
        if (getname) {
            const QString name = next->trimmed();
            r.yahooname.append(name.isEmpty() ? ticker : *next);
            next = &marketField;
        }
        if (getmarket) {
            QString market = *next;
            // The suffix rules read the symbol without its quotes; on the
            // quoted field they would never match.
            if (market.isEmpty())
                market = marketFromSuffix(ticker);
            if (ticker.endsWith(QLatin1String("=X")))
                market = QStringLiteral("Currency");
            if (market.trimmed().isEmpty())
                market = QStringLiteral("N/A");
            if (ticker.startsWith(QLatin1Char('^')))
                market = QStringLiteral("Indices");
            r.yahoomarket.append(market);
        }
    }
    return r;
}
