#include "writers/storedfiles.h"

#include "database/foldermap.h"
#include "mslink/error.h"
#include "mslink/folder.h"
#include "support/paths.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/metastockmap.h"
#include "writers/metastockrun.h"
#include "writers/symbolwriter.h"
#include "writers/textio.h"

#include <QFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace storedfiles {
namespace {

QDate toDate(qint32 yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }

// A MetaStock figure as the shortest text that reads back as the same
// single-precision number ("12.34", not the double nearest the float).
core::Figure singleFigure(float value)
{
    char text[64];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    if (ec != std::errc())
        return core::Figure::of(value);
    return core::Figure::parse(QString::fromLatin1(text, end - text));
}

const StoredCodec* codecOf(QChar letter)
{
    const ExportFormat* format = formats::find(letter);
    return format ? format->stored : nullptr;
}

}  // namespace

bool readable(QChar letter) { return codecOf(letter) != nullptr; }

Series series(const StoredBars& bars)
{
    Series out;
    out.hasOpen = bars.hasOpen;
    out.hasOpenInterest = bars.hasOpenInterest;
    out.skipped = bars.skipped;
    out.days.reserve(bars.days.size());
    for (const core::Bar& b : bars.days)
        out.days.append(Day{toDate(b.date), b.open.value, b.high.value, b.low.value, b.close.value, b.volume.value,
                            b.openInterest.value});
    return out;
}

Series readDays(const QString& path, QChar letter)
{
    const StoredCodec* codec = codecOf(letter);
    return codec ? codec->readSeries(path) : Series{};
}

QDate lastDate(const QString& path, QChar letter)
{
    const StoredCodec* codec = codecOf(letter);
    return codec ? codec->lastDate(path) : QDate();
}

QString symbolPath(QChar letter, const QString& ticker, const QString& name)
{
    return symbolFile(letter.toUpper(), ticker, filenames::reduceName(name)).path;
}

MetastockIndex::MetastockIndex(Database& db, const QString& root)
{
    if (root.isEmpty())
        return;
    for (const auto& [ticker, map] : foldermap::rows(db))
        mapped_.insert(ticker.toLower(), map);
    for (const QString& folder : metastockmap::collectFolders(root, true)) {
        if (!mslink::Folder::present(folder))
            continue;
        mslink::Folder f(folder);
        try {
            f.load();
        } catch (const mslink::Error&) {
            continue;  // a damaged folder shows its symbols as missing
        }
        const QString dir = paths::withTrailingSlash(folder);
        for (const mslink::Security& s : f.securities()) {
            const Entry entry{dir, s.dataFileName(), s.symbol, s.lastDate ? toDate(s.lastDate) : QDate()};
            byFile_.insert(dir + entry.dataFile, entry);
            const QString key = s.symbol.toLower();
            if (!bySymbol_.contains(key))
                bySymbol_.insert(key, entry);
        }
    }
}

const MetastockIndex::Entry* MetastockIndex::find(const QString& ticker) const
{
    const QString key = ticker.trimmed().toLower();
    const auto mapped = mapped_.constFind(key);
    if (mapped != mapped_.constEnd()) {
        const auto file = byFile_.constFind(*mapped);
        if (file != byFile_.constEnd())
            return &*file;
    }
    const auto symbol = bySymbol_.constFind(mslink::storableSymbol(ticker).toLower());
    return symbol == bySymbol_.constEnd() ? nullptr : &*symbol;
}

namespace {

// Every readable record of a security, by date (the last of a repeated date
// stays), as `make` turns it; records without a valid date or with a value
// that is no finite number are counted in `skipped`.
template <class Day, class Make>
QVector<Day> securityDays(const MetastockIndex::Entry& entry, int& skipped, Make make)
{
    QVector<Day> days;
    try {
        mslink::Folder f(entry.folder);
        f.load();
        const int index = f.find(entry.symbol, entry.dataFile);
        if (index < 0)
            return days;
        std::map<qint32, Day> byDate;
        for (const mslink::Record& r : f.records(index)) {
            const bool finite = std::isfinite(r.open) && std::isfinite(r.high) && std::isfinite(r.low) &&
                                std::isfinite(r.close) && std::isfinite(r.volume) && std::isfinite(r.openInterest);
            if (!toDate(r.date).isValid() || !finite) {
                ++skipped;
                continue;
            }
            byDate[r.date] = make(r);
        }
        days.reserve(static_cast<qsizetype>(byDate.size()));
        for (auto& [date, day] : byDate)
            days.append(std::move(day));
    } catch (const mslink::Error&) {
    }
    return days;
}

}  // namespace

StoredBars readSecurity(const MetastockIndex::Entry& entry)
{
    StoredBars out;
    out.hasOpenInterest = true;
    out.days = securityDays<core::Bar>(entry, out.skipped, [](const mslink::Record& r) {
        core::Bar bar;
        bar.date = r.date;
        bar.open = singleFigure(r.open);
        bar.high = singleFigure(r.high);
        bar.low = singleFigure(r.low);
        bar.close = singleFigure(r.close);
        bar.volume = singleFigure(r.volume);
        bar.openInterest = singleFigure(r.openInterest);
        return bar;
    });
    return out;
}

Series readMetastock(const MetastockIndex::Entry& entry)
{
    Series series;
    series.hasOpenInterest = true;
    series.days = securityDays<Day>(entry, series.skipped, [](const mslink::Record& r) {
        return Day{toDate(r.date), r.open, r.high, r.low, r.close, r.volume, r.openInterest};
    });
    return series;
}

Series readSymbol(Database& db, QChar letter, const QString& ticker, const QString& name)
{
    const ExportFormat* format = formats::find(letter);
    if (!format || !format->stored)
        return {};
    return format->stored->lookup(db, *format)->read(ticker, name).series;
}

}  // namespace storedfiles
