// The symbol check: derive the market from the ticker, find or create the
// market row, compare the stored symbol and correct it, and record every
// finding in the check tables.
#include "database/clsdata.h"

#include "database/db.h"
#include "database/markets.h"

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

void clsData::deriveMarket()
{
    if (tickercode.startsWith(QLatin1Char('^')))
        MarktNaam = QStringLiteral("Indices");
    if (tickercode.trimmed().endsWith(QLatin1String("=X")))
        MarktNaam = QStringLiteral("Currency");
    if (MarktNaam.isEmpty()) {
        const int dot = tickercode.indexOf(QLatin1Char('.'));
        MarktNaam = marketOfSuffix(dot < 0 ? tickercode : tickercode.mid(dot + 1));
    }
    if (MarktNaam.trimmed().isEmpty())
        MarktNaam = QStringLiteral("N/A");
}

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
