#include "app/commands_store.h"

#include "app/headless.h"
#include "core/dates.h"
#include "database/quotestore.h"

#include <QDate>
#include <QFileInfo>
#include <memory>

namespace {

qint32 dateArgument(const QString& text)
{
    const QDate d = QDate::fromString(text, Qt::ISODate);
    return d.isValid() ? d.year() * 10000 + d.month() * 100 + d.day() : -1;
}

// The store, or nullptr (with the reason on stderr) when there is none yet or
// it cannot be opened. Commands that only read never make a store.
std::unique_ptr<QuoteStore> openStore(HeadlessContext& c, bool* missing)
{
    *missing = false;
    if (!QFileInfo::exists(QuoteStore::defaultPath())) {
        *missing = true;
        return nullptr;
    }
    try {
        return std::make_unique<QuoteStore>();
    } catch (const StoreError& e) {
        c.err << e.description() << '\n';
        return nullptr;
    }
}

QString figures(const core::Bar& b)
{
    return QStringList{b.open.text, b.high.text, b.low.text, b.close.text, b.volume.text}.join(u' ');
}

}  // namespace

int cmdStore(HeadlessContext& c)
{
    const bool check = c.args == QStringList{QStringLiteral("check")};
    if (!c.args.isEmpty() && !check) {
        c.err << "Usage: quotaris store [check]\n";
        return 2;
    }
    if (!headlessStartup(c))
        return 1;
    bool missing = false;
    const auto store = openStore(c, &missing);
    if (missing) {
        c.out << "quote store: none yet (" << QuoteStore::defaultPath() << ")\n";
        return 0;
    }
    if (!store)
        return 1;
    try {
        if (check) {
            const QStringList found = store->check();
            for (const QString& line : found)
                c.out << line << '\n';
            c.out << "store check: " << (found.isEmpty() ? "ok" : "damaged") << '\n';
            return found.isEmpty() ? 0 : 1;
        }
        const QuoteStore::Summary s = store->summary();
        c.out << "quote store: " << store->path() << '\n';
        c.out << "symbols: " << s.symbols << '\n';
        c.out << "bars: " << s.bars << '\n';
        c.out << "first day: " << core::isoDate(s.first) << '\n';
        c.out << "last day: " << core::isoDate(s.last) << '\n';
        c.out << "size: " << s.bytes << " bytes\n";
    } catch (const StoreError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    return 0;
}

int cmdBars(HeadlessContext& c)
{
    QString ticker;
    qint32 from = 0, to = 0;
    for (int i = 0; i < c.args.size(); ++i) {
        const QString& arg = c.args[i];
        if ((arg == QLatin1String("--from") || arg == QLatin1String("--to")) && i + 1 < c.args.size()) {
            const qint32 d = dateArgument(c.args[++i]);
            if (d < 0) {
                c.err << "Not a date (YYYY-MM-DD): " << c.args[i] << '\n';
                return 2;
            }
            (arg == QLatin1String("--from") ? from : to) = d;
        } else if (ticker.isEmpty() && !arg.startsWith(u'-')) {
            ticker = arg;
        } else {
            ticker.clear();
            break;
        }
    }
    if (ticker.isEmpty()) {
        c.err << "Usage: quotaris bars TICKER [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n";
        return 2;
    }
    if (!headlessStartup(c))
        return 1;
    bool missing = false;
    const auto store = openStore(c, &missing);
    if (!store && !missing)
        return 1;
    QVector<QuoteStore::Row> rows;
    QHash<int, QString> sources;
    try {
        if (store)
            rows = store->rows(ticker, from, to);
        for (const QuoteStore::Row& r : std::as_const(rows)) {
            if (sources.contains(r.source))
                continue;
            const auto info = store->sourceInfo(r.source);
            sources.insert(r.source,
                           info ? QStringLiteral("%1 %2").arg(
                                      info->host, info->fetched.toString(QStringLiteral("yyyy-MM-dd HH:mm 'UTC'")))
                                : QString());
        }
    } catch (const StoreError& e) {
        c.err << e.description() << '\n';
        return 1;
    }
    if (rows.isEmpty()) {
        c.err << "No bars stored for " << ticker << '\n';
        return 1;
    }
    c.out << "DATE,OPEN,HIGH,LOW,CLOSE,VOLUME,OPENINT,STATE,SENT,SOURCE\n";
    for (const QuoteStore::Row& r : std::as_const(rows)) {
        const core::Bar& b = r.bar;
        QString state = b.has(core::Bar::Provisional) ? QStringLiteral("provisional") : QStringLiteral("final");
        if (b.has(core::Bar::Repaired))
            state += QStringLiteral(" repaired");
        else if (b.has(core::Bar::KeptAsSent))
            state += QStringLiteral(" repair-undone");
        c.out << core::isoDate(b.date) << ',' << b.open.text << ',' << b.high.text << ',' << b.low.text << ','
              << b.close.text << ',' << b.volume.text << ',' << b.openInterest.text << ',' << state << ','
              << (r.asSent ? figures(*r.asSent) : QString()) << ',' << sources.value(r.source) << '\n';
    }
    return 0;
}
