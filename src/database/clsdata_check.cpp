// The symbol check: derive the market from the ticker, find or create the
// market row, compare the stored symbol and correct it, and record every
// finding in the check tables.
#include "database/clsdata.h"

#include "database/db.h"
#include "database/markets.h"
#include "support/errors.h"

#include <QHash>

// Market names of ticker suffixes; the suffix is compared exactly.
QString marketOfSuffix(QStringView suffix)
{
    if (suffix == QLatin1String("TWO"))
        return QStringLiteral("Taiwan OTC");
    if (suffix == QLatin1String("I"))
        return QStringLiteral("Irish");
    if (suffix == QLatin1String("S"))
        return QStringLiteral("Zurich");
    if (suffix == QLatin1String("AS"))
        return QStringLiteral("Amsterdam");
    return {};
}

namespace {
QString without(QString text, QChar c) { return text.remove(c); }
}  // namespace

void clsData::leegtijdelijk()
{
    for (const char* table : {"newname", "newmarket", "newtype", "newticker"}) {
        if (!step([&] { db_->exec(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))); }))
            return;
    }
}

QString derivedMarket(const QString& ticker, const QString& given)
{
    QString market = given;
    if (ticker.startsWith(QLatin1Char('^')))
        market = QStringLiteral("Indices");
    if (ticker.trimmed().endsWith(QLatin1String("=X")))
        market = QStringLiteral("Currency");
    if (market.isEmpty()) {
        const qsizetype dot = ticker.indexOf(QLatin1Char('.'));
        market = marketOfSuffix(dot < 0 ? ticker : ticker.mid(dot + 1));
    }
    if (market.trimmed().isEmpty())
        market = QStringLiteral("N/A");
    return market;
}

void clsData::deriveMarket() { MarktNaam = derivedMarket(tickercode, MarktNaam); }

// Finds the market row, creating it when missing; false when there is still
// no row (or the user aborted).
bool clsData::findMarket()
{
    // Market names are stored in their quote-replaced form, so the look-up
    // uses that form too and finds a name with a quote again.
    const QString stored = storedText(MarktNaam);
    QVariant id;
    auto lookUp = [&] {
        return step(
            [&] { id = db_->scalar(QStringLiteral("SELECT id FROM markt WHERE Market = ? ORDER BY id"), {stored}); });
    };
    if (!lookUp())
        return false;
    if (!id.isValid()) {
        if (!step([&] { db_->exec(QStringLiteral("INSERT INTO markt (Market) VALUES (?)"), {stored}); }))
            return false;
        if (!lookUp() || !id.isValid())
            return false;
    }
    marketid = id.toInt();
    return true;
}

bool clsData::recordIn(const char* table)
{
    return step([&] {
        db_->exec(QStringLiteral("INSERT INTO %1 (marktid, codeyahoo, naamyahoo, typeyahoo) VALUES (?, ?, ?, ?)")
                      .arg(QLatin1String(table)),
                  {marketid, tickercode, storedText(fondsnaam), storedText(fondstype)});
    });
}

void clsData::go()
{
    notfound = true;
    marketchanged = false;
    namechanged = false;
    typechanged = false;
    if (fondsnaam.isEmpty())
        return;
    deriveMarket();
    if (!findMarket())
        return;
    if (geentype)
        fondstypedatabase.clear();
    checkSymbol();
}

void clsData::checkSymbol()
{
    bool found = false;
    int storedMarket = 0;
    QString storedName;
    QVariant storedType;
    const bool read = step([&] {
        Statement st =
            db_->prepare(QStringLiteral("SELECT naamyahoo, marktid, typeyahoo FROM fondsen WHERE codeyahoo = ?"));
        st.bind(1, tickercode);
        found = st.next();
        if (found) {
            storedName = st.text(0);
            storedMarket = static_cast<int>(st.integer(1));
            storedType = st.value(2);
        }
    });
    if (!read)
        return;
    if (!found) {
        notfound = true;
        recordIn("newticker");
        return;
    }
    notfound = false;
    if (storedMarket != marketid) {
        marketchanged = true;
        if (!recordIn("newmarket"))
            return;
    }
    if (without(storedName, QLatin1Char('"')) != without(fondsnaam, QLatin1Char('\''))) {
        namechanged = true;
        if (!recordIn("newname"))
            return;
    }
    if (geentype) {
        fondstypedatabase = storedType.isValid() ? storedType.toString() : QString();
    } else if (!storedType.isValid() || storedType.toString() != storedText(fondstype)) {
        typechanged = true;
        if (!recordIn("newtype"))
            return;
    }
    if (!marketchanged && !namechanged && !typechanged)
        return;
    // Without a type of its own the caller must not wipe the stored one.
    const QVariant type = geentype ? storedType : QVariant(storedText(fondstype));
    step([&] {
        db_->exec(QStringLiteral("UPDATE fondsen SET naamyahoo = ?, typeyahoo = ?, marktid = ? WHERE codeyahoo = ?"),
                  {storedText(fondsnaam), type, marketid, tickercode});
    });
}

int clsData::describeUnknown(const QVector<Description>& symbols, QString* error)
{
    if (symbols.isEmpty())
        return 0;
    int changed = 0;
    try {
        Transaction t(*db_);
        QStringList unknownIds;
        Statement unknown = db_->prepare(QStringLiteral("SELECT id FROM markt WHERE Market = 'Unknown'"));
        while (unknown.next())
            unknownIds << QString::number(unknown.integer(0));
        if (unknownIds.isEmpty())
            return 0;
        // Only a symbol still under "Unknown": what the user (or a search)
        // gave it meanwhile stays. So does a name of its own.
        const QString stillUnknown =
            QStringLiteral("codeyahoo = ? AND marktid IN (%1)").arg(unknownIds.join(QLatin1Char(',')));
        Statement isUnknown = db_->prepare(QStringLiteral("SELECT 1 FROM fondsen WHERE ") + stillUnknown);
        const QString update =
            QStringLiteral("UPDATE fondsen SET marktid = ?, typeyahoo = ?, naamyahoo = CASE WHEN ? <> '' AND "
                           "(naamyahoo IS NULL OR naamyahoo = '' OR naamyahoo = codeyahoo COLLATE NOCASE) "
                           "THEN ? ELSE naamyahoo END WHERE ") +
            stillUnknown;
        QHash<QString, int> marketIds;  // by upper-case name: markets compare without case
        for (const Description& d : symbols) {
            isUnknown.reset();
            isUnknown.bind(1, d.ticker);
            if (!isUnknown.next())
                continue;
            const QString market = storedText(derivedMarket(d.ticker, d.market));
            auto id = marketIds.constFind(market.toUpper());
            if (id == marketIds.constEnd()) {
                const QString find = QStringLiteral("SELECT id FROM markt WHERE Market = ? ORDER BY id");
                QVariant found = db_->scalar(find, {market});
                if (!found.isValid()) {
                    db_->exec(QStringLiteral("INSERT INTO markt (Market) VALUES (?)"), {market});
                    found = db_->scalar(find, {market});
                }
                id = marketIds.insert(market.toUpper(), found.toInt());
            }
            const QString name = d.name.trimmed();
            changed += db_->exec(update, {*id, storedText(d.type), name, storedText(name), d.ticker});
        }
        t.commit();
    } catch (const AppError& e) {
        if (error)
            *error = e.description();
        return 0;
    }
    return changed;
}
