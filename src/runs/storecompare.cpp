#include "runs/storecompare.h"

#include "database/lists.h"
#include "database/quotestore.h"
#include "runs/symbolstatus.h"
#include "support/errors.h"
#include "writers/codecs/codec.h"
#include "writers/formatregistry.h"

#include <QHash>
#include <charconv>

namespace storecompare {

QString figureText(double value, bool singlePrecision)
{
    char text[64];
    const auto [end, ec] =
        singlePrecision ? std::to_chars(text, text + sizeof text, static_cast<float>(value), std::chars_format::fixed)
                        : std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return ec == std::errc() ? QString::fromLatin1(text, end - text) : QString::number(value);
}

FormatComparison compare(const QVector<core::Bar>& stored, const storedfiles::Series& file, bool singlePrecision)
{
    FormatComparison out;
    out.stored = static_cast<int>(stored.size());
    out.hasOpen = file.hasOpen;
    QHash<qint32, const storedfiles::Day*> byDate;
    byDate.reserve(file.days.size());
    for (const storedfiles::Day& d : file.days)
        byDate.insert(d.date.year() * 10000 + d.date.month() * 100 + d.date.day(), &d);
    const auto same = [singlePrecision](const core::Figure& a, double b) {
        return singlePrecision ? static_cast<float>(a.value) == static_cast<float>(b) : a.value == b;
    };
    int both = 0;
    for (const core::Bar& b : stored) {
        const storedfiles::Day* d = byDate.value(b.date);
        if (!d) {
            out.days.append({Day::Kind::Lacking, b, std::nullopt});
            continue;
        }
        ++both;
        const bool equal = (!file.hasOpen || same(b.open, d->open)) && same(b.high, d->high) && same(b.low, d->low) &&
                           same(b.close, d->close) && same(b.volume, d->volume) &&
                           (!file.hasOpenInterest || !b.openInterest.given() || same(b.openInterest, d->openInterest));
        if (equal)
            ++out.same;
        else
            out.days.append({Day::Kind::Differs, b, *d});
    }
    out.fileOnly = static_cast<int>(file.days.size()) - both;
    return out;
}

QVector<FormatComparison> compareFormats(Database& db, QuoteStore& store, const QString& ticker)
{
    QString name;
    try {
        const QVector<lists::Symbol> found = lists::symbolsWithTicker(db, ticker);
        if (!found.isEmpty())
            name = found.first().name;
    } catch (const AppError&) {
        // Only a file named by its long name is then not found.
    }
    const QVector<core::Bar> bars = store.bars(ticker);
    QVector<FormatComparison> out;
    for (QChar letter : symbolstatus::formatsShown()) {
        const ExportFormat* format = formats::find(letter);
        StoredSymbol file = format->stored->lookup(db, *format)->read(ticker, name);
        FormatComparison c = compare(bars, file.series, format->stored->keepsFolders());
        c.letter = letter;
        c.where = std::move(file.where);
        out.append(std::move(c));
    }
    return out;
}

}  // namespace storecompare
