#include "runs/adoption.h"

#include "database/quotestore.h"
#include "writers/codecs/codec.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/storedfiles.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace adoption {

bool adoptable(const ExportFormat& format, QString* why)
{
    if (format.stored && (format.stored->keepsFolders() || format.perSymbolFiles()))
        return true;
    *why = format.perSymbolFiles()
               ? QStringLiteral("Quotaris cannot read the files of %1 (%2) back").arg(format.letter).arg(format.name())
               : QStringLiteral("%1 (%2) writes the quotes of a run into run-wide files, not a file per symbol")
                     .arg(format.letter)
                     .arg(format.name());
    return false;
}

bool sameDay(const core::Bar& stored, const core::Bar& file, const ExportFormat& format, bool fileHasOpen)
{
    const bool single = format.stored && format.stored->keepsFolders();
    const auto same = [single](const core::Figure& a, const core::Figure& b) {
        return single ? static_cast<float>(a.value) == static_cast<float>(b.value) : a.value == b.value;
    };
    if (fileHasOpen && !same(stored.open, file.open))
        return false;
    if (!same(stored.high, file.high) || !same(stored.low, file.low) || !same(stored.close, file.close) ||
        !same(stored.volume, file.volume))
        return false;
    return !stored.openInterest.given() || !file.openInterest.given() || same(stored.openInterest, file.openInterest);
}

QString figures(const core::Bar& b)
{
    return QStringList{b.open.text, b.high.text, b.low.text, b.close.text, b.volume.text}.join(u' ');
}

Adopter::Adopter(QuoteStore& store, Database* db, const ExportFormat& format, const QString& folder)
    : store_(store), format_(format), folder_(QDir(folder).absolutePath()), when_(QDateTime::currentDateTimeUtc())
{
    when_ = when_.addMSecs(-when_.time().msec());
    if (format.stored && format.stored->keepsFolders() && db)
        index_ = std::make_unique<storedfiles::MetastockIndex>(*db, folder_);
}

Adopter::~Adopter() = default;

QString Adopter::fileOf(const QString& ticker, const QString& name) const
{
    const QDir dir(folder_);
    const QString extension = QLatin1String(format_.extension);
    for (const QString& base :
         {filenames::tickerBaseName(ticker), filenames::longBaseName(filenames::reduceName(name))}) {
        if (base.isEmpty())
            continue;
        const QString path = dir.filePath(base + extension);
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

Outcome Adopter::adopt(const QString& ticker, const QString& name)
{
    Outcome out;
    StoredBars bars;
    if (format_.stored->keepsFolders()) {
        if (!index_)
            return out;
        const storedfiles::MetastockIndex::Entry* entry = index_->find(ticker);
        if (!entry)
            return out;
        out.where = entry->folder + entry->dataFile;
        bars = storedfiles::readSecurity(*entry);
    } else {
        out.where = fileOf(ticker, name);
        if (out.where.isEmpty())
            return out;
        bars = format_.stored->readFile(out.where);
    }
    out.read = static_cast<int>(bars.days.size());
    out.skipped = bars.skipped;
    if (bars.days.isEmpty())
        return out;

    // A figure the file does not keep is not given in the store either.
    for (core::Bar& b : bars.days) {
        b.flags = 0;
        if (!bars.hasOpen)
            b.open = core::Figure();
        if (!bars.hasOpenInterest || (b.openInterest.given() && b.openInterest.value == 0))
            b.openInterest = core::Figure();
    }

    QHash<qint32, core::Bar> held;
    if (store_.lastDay(ticker) != 0) {
        for (QuoteStore::Row& r : store_.rows(ticker, bars.days.front().date, bars.days.back().date))
            held.insert(r.bar.date, std::move(r.bar));
    }
    QVector<core::Bar> lacking;
    if (held.isEmpty()) {
        lacking = std::move(bars.days);
    } else {
        for (core::Bar& b : bars.days) {
            const auto stored = held.constFind(b.date);
            if (stored == held.constEnd())
                lacking.append(std::move(b));
            else if (sameDay(*stored, b, format_, bars.hasOpen))
                ++out.same;
            else
                out.conflicts.append({*stored, std::move(b)});
        }
    }
    if (lacking.isEmpty())
        return out;
    store_.begin();
    try {
        const int source = store_.source(QUrl::fromLocalFile(out.where).toString(), when_);
        store_.putDays(ticker, lacking, source);
        store_.commit();
    } catch (...) {
        store_.rollback();
        throw;
    }
    out.added = static_cast<int>(lacking.size());
    return out;
}

}  // namespace adoption
