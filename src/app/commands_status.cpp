#include "app/commands_status.h"

#include "app/commands_lists.h"
#include "app/headless.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "runs/storecompare.h"
#include "runs/symbolstatus.h"
#include "support/errors.h"
#include "writers/codecs/codec.h"
#include "writers/formatregistry.h"

#include <QDate>
#include <QFileInfo>

using symbolstatus::FileState;

namespace {

QString isoDate(qint32 date) { return QDate(date / 10000, date / 100 % 100, date % 100).toString(Qt::ISODate); }

QString figures(const core::Bar& b, bool withOpen)
{
    QStringList out;
    if (withOpen)
        out << b.open.text;
    out << b.high.text << b.low.text << b.close.text << b.volume.text;
    return out.join(u' ');
}

QString figures(const storedfiles::Day& d, bool withOpen, bool single)
{
    using storecompare::figureText;
    QStringList out;
    if (withOpen)
        out << figureText(d.open, single);
    out << figureText(d.high, single) << figureText(d.low, single) << figureText(d.close, single)
        << figureText(d.volume, single);
    return out.join(u' ');
}

// status --symbol TICKER: the store's bars beside each format's file.
int symbolStatus(HeadlessContext& c, const QString& ticker)
{
    if (!QFileInfo::exists(QuoteStore::defaultPath())) {
        c.err << "No bars stored for " << ticker << " (there is no quote store yet)\n";
        return 1;
    }
    QVector<storecompare::FormatComparison> found;
    try {
        const auto db = Database::openDefault();
        QuoteStore store;
        if (store.lastDay(ticker) == 0) {
            c.err << "No bars stored for " << ticker << '\n';
            return 1;
        }
        found = storecompare::compareFormats(*db, store, ticker);
        const qint32 last = store.lastDay(ticker);
        const QVector<QuoteStore::DayFlags> days = store.days(ticker, last);
        if (!days.isEmpty() && (days.last().flags & core::Bar::Provisional))
            c.out << ticker << ": the last stored day " << isoDate(last) << " is " << symbolstatus::provisionalText()
                  << '\n';
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    if (found.isEmpty())
        c.err << "No export format with files per symbol is on ("
              << formats::letters(formats::storedOrder(), QStringLiteral(", "), QStringLiteral(" or ")) << ")\n";
    for (const storecompare::FormatComparison& f : std::as_const(found)) {
        const ExportFormat* format = formats::find(f.letter);
        const bool single = format && format->stored && format->stored->keepsFolders();
        int differ = 0;
        for (const storecompare::Day& d : f.days)
            differ += d.kind == storecompare::Day::Kind::Differs ? 1 : 0;
        c.out << ticker << ',' << f.letter << ',' << (f.where.isEmpty() ? QStringLiteral("(no file)") : f.where) << ": "
              << f.stored << " stored days, " << f.same << " same, " << differ << " differ, "
              << (f.days.size() - differ) << " lacking, " << f.fileOnly << " only in the file\n";
        for (const storecompare::Day& d : f.days) {
            if (d.kind == storecompare::Day::Kind::Lacking)
                c.out << "  " << isoDate(d.stored.date) << " lacking: store " << figures(d.stored, f.hasOpen) << '\n';
            else
                c.out << "  " << isoDate(d.stored.date) << " differs: store " << figures(d.stored, f.hasOpen)
                      << "; file " << figures(*d.file, f.hasOpen, single) << '\n';
        }
    }
    return 0;
}

}  // namespace

int cmdStatus(HeadlessContext& c)
{
    int list = 0;
    bool stale = false;
    QString symbol;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& arg = c.args[i];
        if (arg == QLatin1String("--stale")) {
            stale = true;
        } else if (arg == QLatin1String("--symbol") && i + 1 < c.args.size() && c.args.size() == 2) {
            symbol = c.args[++i];
        } else if (arg == QLatin1String("--list") && i + 1 < c.args.size()) {
            list = listNumber(c, c.args[++i]);
            if (list == 0)
                return 2;
        } else {
            c.err << "Usage: quotaris status [--list N] [--stale] | --symbol TICKER\n";
            return 2;
        }
    }
    if (!headlessStartup(c))
        return 1;
    if (!symbol.isEmpty())
        return symbolStatus(c, symbol);
    QVector<symbolstatus::SymbolStatus> status;
    try {
        const auto db = Database::openDefault();
        QVector<int> all;
        for (int n = 1; n <= lists::kCount; ++n)
            all << n;
        const QVector<lists::Symbol> symbols =
            list ? lists::symbolsOfList(*db, list) : lists::symbolsForDownload(*db, all);
        status = symbolstatus::statusOf(*db, symbols);
        symbolstatus::addGaps(status);
    } catch (const AppError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    if (symbolstatus::formatsShown().isEmpty())
        c.err << "No export format with files per symbol is on ("
              << formats::letters(formats::storedOrder(), QStringLiteral(", "), QStringLiteral(" or ")) << ")\n";
    for (const symbolstatus::SymbolStatus& s : std::as_const(status)) {
        for (const symbolstatus::FormatDate& f : s.formats) {
            if (stale && f.state == FileState::Ok)
                continue;
            c.out << s.ticker << ',' << f.letter << ',' << f.last.toString(Qt::ISODate) << ','
                  << symbolstatus::stateText(f.state);
            // The store's last day of the symbol was taken before the close.
            if (s.provisional.isValid())
                c.out << ',' << symbolstatus::provisionalText() << ' ' << s.provisional.toString(Qt::ISODate);
            // Its open gaps in the store's last sessions of its market.
            if (s.gaps > 0)
                c.out << ",gaps " << s.gaps;
            c.out << '\n';
        }
    }
    return 0;
}
