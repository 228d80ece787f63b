#include "runs/gapcount.h"

#include "database/db.h"
#include "database/quotestore.h"
#include "runs/fill.h"
#include "runs/gapfill.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/paths.h"

#include <QFileInfo>

namespace gapfill {

namespace {

const QString kTitle = QStringLiteral("Fill gaps");
// The lines of symbols a message names; the rest are counted.
constexpr qsizetype kShownLines = 20;

// The symbols of every list, with their names.
QVector<HistoryRun::Range> listSymbols()
{
    const std::unique_ptr<Database> db = Database::openDefault();
    return fill::ranges(*db, {});
}

}  // namespace

GapCount::GapCount(QObject* parent) : QObject(parent) {}

GapCount::~GapCount()
{
    if (fill_)
        fill_->stop();
}

QString GapCount::currentStamp() const
{
    QString out;
    const QString store = QuoteStore::defaultPath();
    for (const QString& path : {store, store + QStringLiteral("-wal"), paths::databaseFile()}) {
        const QFileInfo f(path);
        out += f.exists() ? QStringLiteral("%1@%2;").arg(f.size()).arg(f.lastModified().toMSecsSinceEpoch())
                          : QStringLiteral("-;");
    }
    return out;
}

const GapCount::Figure& GapCount::figure()
{
    if (fill_)
        return figure_;
    const QString stamp = currentStamp();
    if (stamp == stamp_)
        return figure_;
    stamp_ = stamp;
    ++surveys_;
    figure_ = Figure();
    if (!QFileInfo::exists(QuoteStore::defaultPath()))
        return figure_;
    try {
        QStringList tickers;
        for (const HistoryRun::Range& r : listSymbols())
            tickers << r.ticker;
        QuoteStore store;
        const Survey s = survey(store, tickers, kSessions);
        figure_.symbols = 0;
        for (const Plan& p : s.plans) {
            figure_.symbols += p.open() > 0 ? 1 : 0;
            figure_.asking += p.asks() ? 1 : 0;
        }
    } catch (const AppError& e) {
        WriteLog(e.description());
        figure_ = Figure();
    }
    return figure_;
}

bool GapCount::fill()
{
    if (fill_)
        return false;
    QVector<HistoryRun::Range> symbols;
    try {
        symbols = listSymbols();
    } catch (const AppError& e) {
        msgBox(e.description(), Icon::Critical, kTitle);
        return false;
    }
    auto gapFill = std::make_unique<GapFill>();
    if (!gapFill->prepare(symbols, kSessions)) {
        invalidate();
        msgBox(QStringLiteral("Nothing to ask for: every gap left was asked for after its market's latest session "
                              "and is asked again after the next one."),
               Icon::Information, kTitle);
        return false;
    }
    fill_ = std::move(gapFill);
    connect(fill_.get(), &GapFill::progress, this,
            [this](const QString& ticker, int finished, int total, const QString& text) {
                emit progress(finished, total, ticker + QStringLiteral(": ") + text);
            });
    connect(fill_.get(), &GapFill::finished, this, &GapCount::fillEnded);
    fill_->start();
    return true;
}

void GapCount::stop()
{
    if (fill_)
        fill_->stop();
}

QString GapCount::resultText(const GapFill& fill)
{
    QString text = fill.summary().outcome();
    const QStringList lines = fill.reportLines();
    if (!lines.isEmpty()) {
        text += QStringLiteral("\n\n") + lines.mid(0, kShownLines).join(QLatin1Char('\n'));
        if (lines.size() > kShownLines)
            text += QStringLiteral("\n... and %1 more (quotaris gaps lists them all)").arg(lines.size() - kShownLines);
    }
    return text;
}

// Runs inside the gap fill's signal: the fill is deleted from the event loop.
void GapCount::fillEnded()
{
    GapFill* done = fill_.release();
    done->deleteLater();
    invalidate();
    const HistoryRunSummary& sum = done->summary();
    // A run holding the folder refused the fill with its own message.
    if (!sum.busy) {
        const bool clean = !sum.aborted && sum.failedRequests == 0 && sum.writeFailures == 0;
        msgBox(resultText(*done), clean ? Icon::Information : Icon::Warning, kTitle);
    }
    emit finished();
}

}  // namespace gapfill
