#include "writers/clsschrijfstock.h"

#include "support/log.h"
#include "support/messages.h"
#include "support/textconv.h"
#include "writers/codecs/kbf/kbfwriter.h"
#include "writers/codecs/text/textformats.h"
#include "writers/symbolwriter.h"
#include "writers/textio.h"

#include <QMap>
#include <QRegularExpression>
#include <algorithm>

void clsschrijfstock::ticker(const QString& value)
{
    WriteLog(QStringLiteral("Ticker: ") + value);
    quote_.ticker = value;
}

void clsschrijfstock::tdate(qint32 value)
{
    WriteLog(QStringLiteral("Date: ") + QString::number(value));
    quote_.date = value;
}

void clsschrijfstock::tdate(const QString& value)
{
    const double d = textconv::val(value);
    tdate(d >= 0 && d <= 99991231 ? static_cast<qint32>(d) : 0);
}

void clsschrijfstock::topen(const QString& value)
{
    WriteLog(QStringLiteral("Open: ") + value);
    quote_.open = value;
}

void clsschrijfstock::thigh(const QString& value)
{
    WriteLog(QStringLiteral("High: ") + value);
    quote_.high = value;
}

void clsschrijfstock::tlow(const QString& value)
{
    WriteLog(QStringLiteral("Low: ") + value);
    quote_.low = value;
}

void clsschrijfstock::tclose(const QString& value)
{
    WriteLog(QStringLiteral("Close: ") + value);
    quote_.close = value;
}

void clsschrijfstock::tvolume(const QString& value)
{
    WriteLog(QStringLiteral("volume: ") + value);
    quote_.volume = value;
}

void clsschrijfstock::tname(const QString& value)
{
    WriteLog(QStringLiteral("Name: ") + value);
    quote_.name = value;
}

QChar clsschrijfstock::letter() const
{
    if (!format_.isNull())
        return format_;
    // The switches name their formats as the formats' file writers do.
    if (ascii_)
        return AsciiWriter().letter();
    if (kbf_)
        return KbfWriter().letter();
    if (get_)
        return GetWriter().letter();
    return StockguruWriter().letter();
}

void clsschrijfstock::reportCorrupt(const QString& file)
{
    msgBox(QStringLiteral("The file ") + file + QStringLiteral(" is corrupt"));
}

template <class Work>
StepOutcome clsschrijfstock::writeFile(const SymbolFile& file, int quotes, const Work& work)
{
    bool corrupt = false;
    const StepOutcome outcome = guarded([&] {
        corrupt = false;
        try {
            work();
        } catch (const textio::CorruptFile& e) {
            corrupt = true;
            failure_ = QStringLiteral("The file ") + e.file() + QStringLiteral(" is corrupt");
            reportCorrupt(e.file());
        } catch (const textio::WriteFailed& e) {
            corrupt = true;
            failure_ = QStringLiteral("The file %1 could not be written: %2").arg(e.file(), e.reason());
            folderFailed_ = e.folderWide();
            WriteLog(failure_);
            msgBox(failure_);
        }
    });
    if (outcome == StepOutcome::Aborted)
        return outcome;
    if (outcome == StepOutcome::Ignored && failure_.isEmpty())
        failure_ = QStringLiteral("The file %1 was not written").arg(file.path);
    if (outcome == StepOutcome::Done && !corrupt)
        written_ += quotes;
    return outcome;
}

namespace {
// "prn" in a ticker would give its file the run file's extension: it is
// written "pr1".
bool hasPrn(const QString& t) { return t.contains(QLatin1String("prn")) || t.contains(QLatin1String("PRN")); }
void dropPrn(QString& t)
{
    t.replace(QLatin1String("prn"), QLatin1String("pr1"));
    t.replace(QLatin1String("PRN"), QLatin1String("PR1"));
}
}  // namespace

StepOutcome clsschrijfstock::go() { return write({quote_}, false); }

void clsschrijfstock::raw(const QString& block)
{
    block_.clear();
    for (const QString& line : block.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QStringList f = line.split(QLatin1Char(','));
        if (f.size() < 7 || f[0].isEmpty())
            continue;
        QString t = f[0];
        dropPrn(t);
        const double date = textconv::val(f[1]);
        block_.append(Quote{t, quote_.name, date > 0 && date <= 99991231 ? static_cast<qint32>(date) : 0, f[2], f[3],
                            f[4], f[5], f[6]});
    }
}

void clsschrijfstock::raw(const QVector<Quote>& block)
{
    block_ = block;  // shared until a ticker has to change
    for (qsizetype i = 0; i < block_.size(); ++i) {
        const QString& t = std::as_const(block_)[i].ticker;
        if (hasPrn(t))
            dropPrn(block_[i].ticker);
    }
}

void clsschrijfstock::days(const QString& ticker, const QVector<core::Bar>& days)
{
    block_.clear();
    days_ = days;
    daysTicker_ = ticker;
    if (hasPrn(ticker))
        dropPrn(daysTicker_);
    hasDays_ = true;
}

StepOutcome clsschrijfstock::goraw()
{
    if (hasDays_) {
        if (cancel_ && cancel_->cancelled() && !days_.isEmpty())
            return StepOutcome::Done;
        return writeDays();
    }
    if (cancel_ && cancel_->cancelled() && !block_.isEmpty())
        return StepOutcome::Done;
    // The usual block already has every quote dated, with a ticker and this
    // name: it is written as it is, without a copy of each quote.
    const bool asItIs = std::all_of(block_.cbegin(), block_.cend(), [this](const Quote& q) {
        return !q.ticker.isEmpty() && q.date != 0 && q.name == quote_.name;
    });
    if (asItIs)
        return write(block_, true);
    QVector<Quote> quotes;
    quotes.reserve(block_.size());
    for (const Quote& q : std::as_const(block_)) {
        if (q.ticker.isEmpty() || q.date == 0)
            continue;
        quotes.append(q);
        quotes.last().name = quote_.name;
    }
    return write(quotes, true);
}

StepOutcome clsschrijfstock::write(const QVector<Quote>& quotes, bool block)
{
    written_ = 0;
    failure_.clear();
    folderFailed_ = false;
    const auto writer = makeSymbolWriter(letter());
    writer->takeTailsFrom(kept_);
    // One symbol's block may still name several tickers; each gets its file.
    struct Group {
        SymbolFile file;
        QList<qsizetype> at;
    };
    QMap<QString, Group> groups;
    // Consecutive quotes of one ticker and name share their file.
    const Quote* previous = nullptr;
    SymbolFile current;
    for (qsizetype i = 0; i < quotes.size(); ++i) {
        const Quote& q = quotes[i];
        if (!quotetext::plausibleDate(q.date)) {
            WriteLog(QStringLiteral("No valid date for ") + q.ticker);
            continue;
        }
        if (!previous || previous->ticker != q.ticker || previous->name != q.name)
            current = symbolFile(letter(), q.ticker, q.name);
        previous = &q;
        if (current.path.isEmpty()) {
            WriteLog(QStringLiteral("No file name for ") + q.ticker);
            continue;
        }
        Group& g = groups[current.path];
        if (g.at.isEmpty())
            g.file = current;
        g.at.append(i);
    }
    for (const Group& g : std::as_const(groups)) {
        if (folderFailed_)
            break;  // the next file of the folder fails the same way
        QVector<Quote> part;
        if (g.at.size() == quotes.size()) {
            part = quotes;  // the usual case: every quote goes to one file
        } else {
            part.reserve(g.at.size());
            for (qsizetype i : g.at)
                part.append(quotes[i]);
        }
        const StepOutcome outcome = writeFile(g.file, static_cast<int>(part.size()), [&] {
            if (block)
                writer->writeBlock(g.file, part);
            else
                for (const Quote& q : part)
                    writer->write(g.file, q);
        });
        if (outcome == StepOutcome::Aborted)
            return outcome;
    }
    return StepOutcome::Done;
}

// What write() makes of the quotes of days(): one ticker and name, so one
// file; the days dated and plausibly so.
StepOutcome clsschrijfstock::writeDays()
{
    written_ = 0;
    failure_.clear();
    folderFailed_ = false;
    if (daysTicker_.isEmpty())
        return StepOutcome::Done;
    const SymbolFile file = symbolFile(letter(), daysTicker_, quote_.name);
    bool every = true;
    for (const core::Bar& d : std::as_const(days_)) {
        if (d.date == 0) {
            every = false;
        } else if (!quotetext::plausibleDate(d.date)) {
            WriteLog(QStringLiteral("No valid date for ") + daysTicker_);
            every = false;
        } else if (file.path.isEmpty()) {
            WriteLog(QStringLiteral("No file name for ") + daysTicker_);
        }
    }
    if (file.path.isEmpty())
        return StepOutcome::Done;
    QVector<core::Bar> part;
    if (every) {
        part = days_;
    } else {
        for (const core::Bar& d : std::as_const(days_)) {
            if (d.date != 0 && quotetext::plausibleDate(d.date))
                part.append(d);
        }
    }
    if (part.isEmpty())
        return StepOutcome::Done;
    const auto writer = makeSymbolWriter(letter());
    writer->takeTailsFrom(kept_);
    Quote block;
    block.ticker = daysTicker_;
    block.name = quote_.name;
    const StepOutcome outcome =
        writeFile(file, static_cast<int>(part.size()), [&] { writer->writeDays(file, block, part); });
    return outcome == StepOutcome::Aborted ? outcome : StepOutcome::Done;
}

void clsschrijfstock::setQuote(const Quote& q)
{
    tname(q.name);
    ticker(q.ticker);
    tdate(q.date);
    topen(q.open);
    thigh(q.high);
    tlow(q.low);
    tclose(q.close);
    tvolume(q.volume);
}
