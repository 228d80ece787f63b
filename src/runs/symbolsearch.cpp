#include "runs/symbolsearch.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/listedit.h"
#include "quotes/searchyahoo.h"
#include "support/errors.h"
#include "support/messages.h"

#include <memory>

namespace {
const QString kNoResults = QStringLiteral(" Returned No Results");
const QString kNoMatch = QStringLiteral("the quote service answered: no match");
}  // namespace

SymbolSearch::SymbolSearch(QObject* parent) : QObject(parent) {}

SymbolSearch::~SymbolSearch() = default;

QString SymbolSearch::kindText(int index)
{
    switch (index) {
    case 0:
        return QStringLiteral("Stock");
    case 1:
        return QStringLiteral("Mutual fund");
    case 2:
        return QStringLiteral("Index");
    default:
        return QStringLiteral("Stocks");
    }
}

void SymbolSearch::internetsearch()
{
    // A search still on its way is answered and compared with the database
    // first, as every search is; the new one follows it.
    if (searching_) {
        again_ = true;
        return;
    }
    searching_ = true;
    // From inside the last answer's signal: that search goes later.
    if (search_) {
        search_->disconnect(this);
        search_.release()->deleteLater();
    }
    search_ = std::make_unique<SearchyahooClass>(client_);
    SearchyahooClass& s = *search_;
    if (memberList()) {
        s.getcomponents = components;
        s.vanafwaarzoeken = memberOffset;
    } else {
        s.Searchstring = text;
        s.US = us;
        s.alleensymbol = exact;
        s.firstticker = firstticker;
    }
    s.GeefZoekNaar = kind;
    connect(&s, &SearchyahooClass::done, this, &SymbolSearch::searchAnswered);
    s.go();
}

void SymbolSearch::searchAnswered()
{
    searching_ = false;
    readAnswer();
    if (again_) {
        again_ = false;
        internetsearch();
        return;
    }
    emit searched();
}

void SymbolSearch::readAnswer()
{
    const SearchyahooClass& s = *search_;
    hits.clear();
    answered = s.answered;
    from = to = results = 0;
    canNext = canPrevious = false;
    const QString searched = memberList() ? components : text;
    problem.clear();
    if (s.NoMatch) {
        summary = searched + kNoResults;
        problem = s.problem.isEmpty() ? kNoMatch : s.problem;
        return;
    }
    for (qsizetype i = 0; i < s.yahooticker.size(); ++i) {
        Hit h;
        h.ticker = s.yahooticker[i];
        h.name = s.yahooname.value(i);
        h.market = s.yahoomarket.value(i);
        h.type = i < s.yahootype.size() ? s.yahootype[i] : exact && !memberList() ? kind : QString();
        hits.append(h);
    }
    // A symbol the service does not know comes back as itself, without an
    // exchange.
    if (exact && !memberList() && (hits.isEmpty() || hits.first().market == QLatin1String("N/A"))) {
        hits.clear();
        summary = searched + kNoResults;
        problem = kNoMatch;
        return;
    }
    compareWithDatabase();

    if (memberList()) {
        from = memberOffset + 1;
        to = memberOffset + static_cast<int>(hits.size());
        summary = QStringLiteral("Showing %1 - %2").arg(from).arg(to);
        canNext = hits.size() >= 49;
        canPrevious = memberOffset >= 49;
    } else if (exact) {
        from = to = results = 1;
        summary = QStringLiteral("Showing 1 - 1 from 1 Results");
    } else {
        from = s.Tickerfrom;
        to = s.Tickerto;
        results = s.results;
        summary = QStringLiteral("Showing %1 - %2 from %3 Results").arg(from).arg(to).arg(results);
        canPrevious = from >= 51;
        canNext = results > to;
    }
}

bool SymbolSearch::next50()
{
    if (!canNext)
        return false;
    if (memberList())
        memberOffset += 50;
    else
        firstticker = from + 50;
    internetsearch();
    return true;
}

bool SymbolSearch::previous50()
{
    if (!canPrevious)
        return false;
    if (memberList())
        memberOffset = std::max(memberOffset - 50, 0);
    else
        firstticker = std::max(from - 50, 1);
    internetsearch();
    return true;
}

void SymbolSearch::compareWithDatabase()
{
    std::unique_ptr<clsData> data = clsData::open();
    if (!data) {
        for (Hit& h : hits)
            h.inDatabase = QStringLiteral("No");
        return;
    }
    data->leegtijdelijk();
    guarded([&] {
        Transaction t(data->db());
        for (Hit& h : hits) {
            data->tickercode = h.ticker;
            data->fondsnaam = h.name;
            data->MarktNaam = h.market;
            data->geentype = memberList();
            data->fondstype = h.type;
            data->marketid = 0;
            data->go();
            h.marketId = data->marketid;
            h.stored = !data->notfound;
            if (!h.stored) {
                h.inDatabase = QStringLiteral("No");
                continue;
            }
            if (memberList() && h.type.isEmpty())
                h.type = data->fondstypedatabase;
            QStringList corrections;
            if (data->namechanged)
                corrections << QStringLiteral("(Name corrected)") + h.name;
            if (data->marketchanged)
                corrections << QStringLiteral("(Market corrected)") + h.market;
            if (data->typechanged)
                corrections << QStringLiteral("(Type corrected)") + h.type;
            h.inDatabase = corrections.isEmpty() ? QStringLiteral("Yes") : corrections.join(QLatin1Char(' '));
        }
        t.commit();
    });
}

QString SymbolSearch::likePattern(const QString& text, bool byName)
{
    QString pattern;
    bool wildcard = false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '^' || u == '.' ||
            u == ' ') {
            pattern += c;
        } else if (u == '?') {
            pattern += QLatin1Char('_');
            wildcard = true;
        } else if (u == '*') {
            pattern += QLatin1Char('%');
            wildcard = true;
        }
    }
    if (!wildcard && byName)
        pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
    return pattern;
}

QVector<lists::Symbol> SymbolSearch::localsearch(const QString& searched, bool byName)
{
    QVector<lists::Symbol> rows;
    guarded([&] {
        std::unique_ptr<Database> db = Database::openDefault();
        rows = byName ? lists::symbolsNamedLike(*db, likePattern(searched, true))
                      : lists::symbolsWithTicker(*db, searched);
    });
    summary = rows.isEmpty() ? searched + kNoResults : QStringLiteral("Showing 1 - %1 of %1").arg(rows.size());
    return rows;
}

int SymbolSearch::addAll()
{
    QVector<int> rows;
    for (int i = 0; i < hits.size(); ++i) {
        if (!hits[i].stored && !hits[i].ticker.isEmpty())
            rows << i;
    }
    addSelected(rows);
    return static_cast<int>(rows.size());
}

int SymbolSearch::addSelected(const QVector<int>& rows)
{
    std::unique_ptr<clsData> data;
    int added = 0;
    for (int row : rows) {
        if (row < 0 || row >= hits.size() || hits[row].stored || hits[row].ticker.isEmpty())
            continue;
        if (!data && !(data = clsData::open()))
            return added;
        Hit& h = hits[row];
        data->addtodatabase2(h.ticker, h.name, h.marketId, h.type);
        if (data->addgelukt) {
            h.stored = true;
            h.inDatabase = QStringLiteral("Yes");
            ++added;
        }
        if (data->aborted())
            break;
    }
    return added;
}

QString SymbolSearch::lijsttoevoegen2(const QVector<int>& rows, int n)
{
    const int added = addSelected(rows);
    QStringList tickers;
    for (int row : rows) {
        if (row >= 0 && row < hits.size() && hits[row].stored)
            tickers << hits[row].ticker;
    }
    QString message = lijsttoevoegen(tickers, n);
    if (added > 0)
        message = QString::number(added) + QStringLiteral(" Symbols added to Database\n") + message;
    return message;
}

QString SymbolSearch::lijsttoevoegen(const QStringList& tickers, int n)
{
    if (!listedit::addSelected(tickers, n))
        return QStringLiteral("0 Symbols added to list %1").arg(n);
    return QStringLiteral("%1 Symbols added to list %2").arg(tickers.size()).arg(n);
}
