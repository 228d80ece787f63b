#include "runs/symbolstatus.h"

#include "core/dates.h"
#include "database/bookkeeping.h"
#include "database/quotestore.h"
#include "runs/gapfill.h"
#include "support/errors.h"
#include "writers/codecs/codec.h"
#include "writers/formatregistry.h"

#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace symbolstatus {
namespace {

QSet<QString> lowered(const QStringList& tickers)
{
    QSet<QString> out;
    out.reserve(tickers.size());
    for (const QString& t : tickers)
        out.insert(t.trimmed().toLower());
    return out;
}

// Each table on its own: a database of an older layout that lacks one still
// gives the others.
template <typename Read>
QSet<QString> readSet(Read read)
{
    try {
        return read();
    } catch (const AppError&) {
        return {};
    }
}

}  // namespace

QString stateText(FileState state)
{
    switch (state) {
    case FileState::Ok:
        return QStringLiteral("ok");
    case FileState::Behind:
        return QStringLiteral("behind");
    case FileState::Missing:
        return QStringLiteral("missing");
    }
    return {};
}

QString provisionalText() { return QStringLiteral("provisional"); }

QString outcomeText(Outcome outcome)
{
    switch (outcome) {
    case Outcome::Ok:
        return QStringLiteral("ok");
    case Outcome::Failed:
        return QStringLiteral("failed");
    case Outcome::NotFound:
        return QStringLiteral("not found");
    case Outcome::Rejected:
        return QStringLiteral("rejected");
    case Outcome::HistoryFailed:
        return QStringLiteral("history failed");
    case Outcome::HistoryTimedOut:
        return QStringLiteral("history timed out");
    case Outcome::NotDownloaded:
        return QStringLiteral("not downloaded");
    case Outcome::OldSession:
        return QStringLiteral("old session");
    }
    return {};
}

int tradingDaysBetween(QDate from, QDate to)
{
    if (!from.isValid() || !to.isValid() || to <= from)
        return 0;
    const qint64 days = from.daysTo(to);
    qint64 count = days / 7 * 5;
    // The days of the last part week, after the whole weeks.
    for (QDate d = from.addDays(days / 7 * 7 + 1); d <= to; d = d.addDays(1)) {
        if (d.dayOfWeek() <= 5)
            ++count;
    }
    return static_cast<int>(std::min<qint64>(count, std::numeric_limits<int>::max()));
}

FileState SymbolStatus::worst() const
{
    FileState w = FileState::Ok;
    for (const FormatDate& f : formats) {
        if (f.state == FileState::Missing)
            return FileState::Missing;
        if (f.state == FileState::Behind)
            w = FileState::Behind;
    }
    return w;
}

QVector<QChar> formatsShown()
{
    QVector<QChar> letters;
    for (const ExportFormat& f : formats::registry()) {
        if (f.isOn() && f.stored)
            letters.append(f.letter);
    }
    return letters;
}

StatusReader::StatusReader(Database& db, QVector<QChar> letters) : letters_(std::move(letters))
{
    // A format's index (the MetaStock master files) is read once here.
    for (QChar letter : letters_) {
        const ExportFormat* format = formats::find(letter);
        lookups_.push_back(format && format->stored ? format->stored->lookup(db, *format) : nullptr);
    }
    failed_ = readSet([&] { return lowered(bookkeeping::failedTickers(db)); });
    notFound_ = readSet([&] { return lowered(bookkeeping::droppedTickers(db)); });
    rejected_ = readSet([&] { return lowered(bookkeeping::rejectedTickers(db)); });
    const auto unsuccessful = [&](bookkeeping::HistoryOutcome outcome) {
        QStringList tickers;
        for (const bookkeeping::HistoryRow& row : bookkeeping::historyRanges(db, outcome))
            tickers << row.ticker;
        return lowered(tickers);
    };
    historyFailed_ = readSet([&] { return unsuccessful(bookkeeping::HistoryOutcome::NotDownloaded); });
    historyTimedOut_ = readSet([&] { return unsuccessful(bookkeeping::HistoryOutcome::TimedOut); });
    // Only read: a status never makes a store where there is none.
    if (QFileInfo::exists(QuoteStore::defaultPath())) {
        try {
            store_ = std::make_unique<QuoteStore>();
        } catch (const StoreError&) {
            store_.reset();  // the files' state is still worth showing
        }
    }
}

StatusReader::~StatusReader() = default;

SymbolStatus StatusReader::read(const lists::Symbol& symbol) const
{
    SymbolStatus s;
    s.ticker = symbol.ticker;
    s.formats.reserve(letters_.size());
    for (qsizetype i = 0; i < letters_.size(); ++i) {
        FormatDate f{letters_[i], {}, FileState::Missing};
        if (const StoredLookup* lookup = lookups_[static_cast<size_t>(i)].get())
            f.last = lookup->lastDate(symbol.ticker, symbol.name);
        s.formats.append(f);
    }
    const QString key = symbol.ticker.trimmed().toLower();
    if (notFound_.contains(key))
        s.outcome = Outcome::NotFound;
    else if (rejected_.contains(key))
        s.outcome = Outcome::Rejected;
    else if (failed_.contains(key))
        s.outcome = Outcome::Failed;
    else if (historyTimedOut_.contains(key))
        s.outcome = Outcome::HistoryTimedOut;
    else if (historyFailed_.contains(key))
        s.outcome = Outcome::HistoryFailed;
    if (store_) {
        try {
            const qint32 last = store_->lastDay(symbol.ticker);
            const QVector<QuoteStore::DayFlags> days =
                last ? store_->days(symbol.ticker, last) : QVector<QuoteStore::DayFlags>();
            if (!days.isEmpty() && (days.last().flags & core::Bar::Provisional))
                s.provisional = core::dateOf(last);
        } catch (const StoreError&) {
            // shown without the store's part
        }
    }
    return s;
}

void markBehind(QVector<SymbolStatus>& symbols)
{
    QHash<QChar, QDate> newest;
    for (const SymbolStatus& s : std::as_const(symbols)) {
        for (const FormatDate& f : s.formats) {
            QDate& n = newest[f.letter];
            if (f.last.isValid() && (!n.isValid() || f.last > n))
                n = f.last;
        }
    }
    for (SymbolStatus& s : symbols) {
        bool anyDay = false, latest = true;
        for (FormatDate& f : s.formats) {
            anyDay = anyDay || f.last.isValid();
            // A format that holds no day of any symbol (its folder gone)
            // says nothing about the last download.
            const QDate n = newest.value(f.letter);
            latest = latest && (!n.isValid() || f.last == n);
            if (!f.last.isValid())
                f.state = FileState::Missing;
            else if (tradingDaysBetween(f.last, newest.value(f.letter)) > kBehindTradingDays)
                f.state = FileState::Behind;
            else
                f.state = FileState::Ok;
        }
        if (s.outcome == Outcome::Ok && !s.formats.isEmpty() && !(latest && anyDay))
            s.outcome = anyDay ? Outcome::OldSession : Outcome::NotDownloaded;
    }
}

void addGaps(QVector<SymbolStatus>& symbols)
{
    if (!QFileInfo::exists(QuoteStore::defaultPath()))
        return;
    QStringList tickers;
    for (const SymbolStatus& s : std::as_const(symbols))
        tickers << s.ticker;
    QuoteStore store;
    const QHash<QString, int> open = gapfill::openGaps(gapfill::survey(store, tickers, kGapSessions));
    for (SymbolStatus& s : symbols)
        s.gaps = open.value(s.ticker);
}

QVector<SymbolStatus> statusOf(Database& db, const QVector<lists::Symbol>& symbols)
{
    const StatusReader reader(db, formatsShown());
    QVector<SymbolStatus> out;
    out.reserve(symbols.size());
    for (const lists::Symbol& s : symbols)
        out.append(reader.read(s));
    markBehind(out);
    return out;
}

}  // namespace symbolstatus
