#include "runs/symbolnaming.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "quotes/fetch.h"
#include "quotes/vraagyahoo.h"
#include "support/changes.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/state.h"

#include <QSet>
#include <algorithm>

namespace {
bool noMarket(const QString& market)
{
    return market.isEmpty() || market.compare(QLatin1String("N/A"), Qt::CaseInsensitive) == 0;
}

// A name that is only the ticker says nothing.
bool noName(const QString& name, const QString& ticker)
{
    return name.isEmpty() || name.compare(ticker, Qt::CaseInsensitive) == 0;
}
}  // namespace

SymbolNaming::SymbolNaming(QuoteClient& client, clsData& data, QObject* parent)
    : QObject(parent), client_(client), data_(data)
{
}

SymbolNaming::~SymbolNaming() = default;

QString SymbolNaming::typeOf(const QString& ticker)
{
    const QString t = ticker.trimmed();
    if (t.endsWith(QLatin1String("=X"), Qt::CaseInsensitive))
        return QStringLiteral("Currency");
    if (t.startsWith(QLatin1Char('^')))
        return QStringLiteral("Index");
    return QStringLiteral("Stock");
}

void SymbolNaming::setSymbols(const QVector<lists::Symbol>& symbols)
{
    unknown_.clear();
    QSet<int> unknownMarkets;
    try {
        Statement st = data_.db().prepare(QStringLiteral("SELECT id FROM markt WHERE Market = 'Unknown'"));
        while (st.next())
            unknownMarkets.insert(static_cast<int>(st.integer(0)));
    } catch (const AppError& e) {
        WriteLog(QStringLiteral("New symbols not looked for: ") + e.description());
    }
    if (unknownMarkets.isEmpty())
        return;
    for (const lists::Symbol& s : symbols) {
        if (unknownMarkets.contains(s.marketId) && !s.ticker.isEmpty())
            unknown_.insert(s.ticker.toUpper(), s.ticker);
    }
}

void SymbolNaming::downloaded(const QVector<QPair<QString, QString>>& answered)
{
    if (stopped_ || unknown_.isEmpty())
        return;
    for (const auto& [ticker, name] : answered) {
        const QString key = ticker.toUpper();
        const auto it = unknown_.constFind(key);
        if (it == unknown_.constEnd())
            continue;
        if (!noName(name.trimmed(), ticker))
            names_.insert(key, name.trimmed());
        queue_ << *it;
        unknown_.erase(it);
    }
    send();
}

void SymbolNaming::flush()
{
    flushing_ = true;
    send();
    if (idle())
        emit idled();
}

void SymbolNaming::stop()
{
    stopped_ = true;
    queue_.clear();
    unknown_.clear();
}

void SymbolNaming::send()
{
    while (!stopped_ && static_cast<int>(checks_.size()) < kMaxInFlight &&
           (queue_.size() >= kPerRequest || (flushing_ && !queue_.isEmpty()))) {
        auto check = std::make_unique<Check>();
        check->tickers = queue_.mid(0, kPerRequest);
        queue_.remove(0, check->tickers.size());
        check->query = std::make_unique<vraagyahoo>(client_);
        vraagyahoo& q = *check->query;
        q.tickers = check->tickers;
        q.getname = q.getmarket = true;
        // One attempt within the download's time-out, ended by Stop: what
        // fails is asked at the symbol's next download.
        FetchPolicy p = FetchPolicy::forVariant(FetchVariant::Lookup);
        p.timeoutSec = std::max(settings().teller2, 0);
        p.attempts = 1;
        p.abortInFlight = true;
        q.policy = p;
        Check* c = check.get();
        connect(&q, &vraagyahoo::done, this, [this, c] { answered(c); });
        checks_.push_back(std::move(check));
        q.go();
    }
}

void SymbolNaming::answered(Check* check)
{
    const auto it = std::find_if(checks_.begin(), checks_.end(), [check](const auto& c) { return c.get() == check; });
    if (it == checks_.end())
        return;
    std::unique_ptr<Check> done = std::move(*it);
    checks_.erase(it);
    if (!stopped_)
        store(*done);
    // Inside its own signal: the query goes once it has returned.
    done->query.release()->deleteLater();
    send();
    if (idle())
        emit idled();
}

void SymbolNaming::store(const Check& check)
{
    const vraagyahoo& q = *check.query;
    if (!q.answered) {
        WriteLog(QStringLiteral("Checking %1 new symbols failed: %2").arg(check.tickers.size()).arg(q.problem));
        return;
    }
    QHash<QString, qsizetype> at;
    for (qsizetype i = 0; i < q.yahooticker.size(); ++i) {
        const QString key = q.yahooticker[i].toUpper();
        if (!at.contains(key))
            at.insert(key, i);
    }
    QVector<clsData::Description> described;
    for (const QString& ticker : check.tickers) {
        const auto i = at.constFind(ticker.toUpper());
        if (i == at.constEnd())
            continue;
        QString name = q.yahooname.value(*i).trimmed();
        const QString market = q.yahoomarket.value(*i).trimmed();
        // The service answers a symbol it does not know with the ticker
        // and no exchange: nothing to learn.
        if (noName(name, ticker) && noMarket(market))
            continue;
        const QString own = names_.value(ticker.toUpper());
        if (!own.isEmpty())
            name = own;
        else if (noName(name, ticker))
            name.clear();
        described.append({ticker, name, noMarket(market) ? QString() : market, typeOf(ticker)});
    }
    QString error;
    const int changed = data_.describeUnknown(described, &error);
    if (!error.isEmpty())
        WriteLog(QStringLiteral("New symbols not described: ") + error);
    described_ += changed;
    if (changed > 0)
        announce::symbols();
}
