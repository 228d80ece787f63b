#include "app/commands_quotes.h"

#include "app/headless.h"
#include "quotes/loader.h"
#include "quotes/quoteclient.h"
#include "quotes/tickeronderzoek.h"
#include "support/toplevel.h"

#include <QDate>

namespace {

// The batch size of the download run: one request per 180 tickers.
constexpr int kBatch = 180;

QString price(double value) { return QString::number(value, 'g', 15); }

QString dateText(qint32 yyyymmdd)
{
    if (yyyymmdd == 0)
        return QStringLiteral("0");
    return QString::number(yyyymmdd);
}

}  // namespace

int cmdQuote(HeadlessContext& c)
{
    if (c.args.isEmpty()) {
        c.err << "quote needs at least one ticker\n";
        return 2;
    }
    headlessStartup(c, true);
    QStringList notFound, rejected, incomplete, unanswered;
    bool failed = false;
    QuoteClient client;
    for (qsizetype from = 0; from < c.args.size(); from += kBatch) {
        loader l(client);
        l.directUse = true;
        l.setTickers(c.args.mid(from, kBatch));
        runUntil(&l, &loader::ready, [&l] { l.startnu(); });
        if (!l.DownloadOk()) {
            failed = true;
            // Why, when known: a service that cannot be reached did not fail
            // a download, it was never asked.
            c.err << (l.timeout()       ? "Download timed out: "
                      : l.unreachable() ? "Quote service not reached: "
                                        : "Download failed: ")
                  << l.originaltickers().join(QLatin1Char(' '))
                  << (l.problem().isEmpty() ? QString() : QStringLiteral(" (%1)").arg(l.problem())) << '\n';
            continue;
        }
        const CurrentQuotes& q = l.quotes();
        for (const CurrentQuote& quote : q.quotes) {
            if (quote.ticker.isEmpty())
                continue;
            const core::Bar& b = quote.bar;
            c.out << quote.ticker << ',' << dateText(b.date) << ',' << quote.time << ',' << price(b.open.value) << ','
                  << price(b.high.value) << ',' << price(b.low.value) << ',' << price(b.close.value) << ','
                  << price(b.volume.value) << ',' << quote.name << '\n';
        }
        notFound += l.notfound();
        rejected += l.SymbolsVerworpen();
        incomplete += l.incomplete();
        unanswered += l.missing();
    }
    if (!notFound.isEmpty())
        c.out << "not found: " << notFound.join(QLatin1Char(' ')) << '\n';
    if (!rejected.isEmpty())
        c.out << "rejected: " << rejected.join(QLatin1Char(' ')) << '\n';
    if (!incomplete.isEmpty())
        c.out << "not all values available: " << incomplete.join(QLatin1Char(' ')) << '\n';
    if (!unanswered.isEmpty())
        c.out << "no answer: " << unanswered.join(QLatin1Char(' ')) << '\n';
    if (failed)
        return kExitFailed;
    return incomplete.isEmpty() && unanswered.isEmpty() ? 0 : kExitPartial;
}

int cmdInvestigate(HeadlessContext& c)
{
    if (c.args.size() != 1 || c.args[0].isEmpty()) {
        c.err << "investigate needs exactly one ticker\n";
        return 2;
    }
    headlessStartup(c, true);
    QuoteClient client;
    clsTickeronderzoek t(client);
    t.ticker = c.args[0];
    runUntil(&t, &clsTickeronderzoek::goDone, [&t] { t.go(); });
    const bool quotePageMissing = t.pageMissing;
    if (quotePageMissing)
        c.err << "No answer from the quote service for " << t.ticker << '\n';
    else if (t.changed)
        c.out << t.ticker << " changed to " << t.newticker << '\n';
    else
        c.out << t.ticker << " not changed\n";

    bool found = false;
    QObject::connect(&t, &clsTickeronderzoek::examined, &t, [&found](bool answer) { found = answer; });
    runUntil(&t, &clsTickeronderzoek::examined, [&t] { t.examine(); });
    if (found) {
        const QDate d(t.startDatumYear, t.startDatumMonth, t.startDatumDay);
        c.out << "history from "
              << (d.isValid()
                      ? d.toString(Qt::ISODate)
                      : QStringLiteral("%1-%2-%3").arg(t.startDatumYear).arg(t.startDatumMonth).arg(t.startDatumDay))
              << '\n';
    } else {
        if (t.pageMissing)
            c.err << "No answer from the quote service for the history of " << t.ticker << '\n';
        c.out << "history start not found\n";
    }
    return quotePageMissing || t.pageMissing ? 1 : 0;
}
