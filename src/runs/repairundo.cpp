#include "runs/repairundo.h"

#include "database/lists.h"
#include "database/quotestore.h"
#include "mslink/error.h"
#include "mslink/folder.h"
#include "mslink/writer.h"
#include "support/state.h"
#include "writers/checkfiles.h"
#include "writers/codecs/codec.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/metastockrun.h"
#include "writers/quote.h"
#include "writers/storedfiles.h"
#include "writers/symbolwriter.h"

#include <QFile>
#include <QFileInfo>

namespace repairundo {
namespace {

using State = FileOutcome::State;

// The formats whose files may hold the day: those that are on, and those
// whose folder is set (a format switched off keeps its files).
bool mayHoldFiles(const ExportFormat& f) { return f.hasFolder() && (f.isOn() || !f.chosen().folder.isEmpty()); }

// Whether the numbers of a file's day are `bar`'s; `compareOpen` is false
// for a layout without an open.
bool holds(const Quote& day, const core::Bar& bar, bool compareOpen)
{
    using integrity::number;
    return (!compareOpen || number(day.open) == bar.open.value) && number(day.high) == bar.high.value &&
           number(day.low) == bar.low.value && number(day.close) == bar.close.value &&
           number(day.volume) == bar.volume.value;
}

bool holds(const mslink::Record& r, const core::Bar& bar)
{
    const auto same = [](float a, const core::Figure& b) { return a == static_cast<float>(b.value); };
    return same(r.open, bar.open) && same(r.high, bar.high) && same(r.low, bar.low) && same(r.close, bar.close) &&
           same(r.volume, bar.volume);
}

// A per-symbol file: the day's fields get the texts as sent, every other
// byte stays; the old content is kept beside the file.
std::optional<FileOutcome> undoInFile(QChar letter, const QString& path, const Result& r)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    FileOutcome out{letter, path, State::Rewritten, {}};
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        out.state = State::Failed;
        out.note = f.errorString();
        return out;
    }
    const QByteArray content = f.readAll();
    f.close();
    const std::optional<checkfiles::StoredFile> file = checkfiles::parse(content, letter);
    if (!file)
        return std::nullopt;
    qsizetype at = -1;
    for (qsizetype i = 0; i < file->days.size(); ++i) {
        if (file->days[i].date == r.sent.date)
            at = i;  // of a repeated date the later line counts, as the writers' merge has it
    }
    if (at < 0)
        return std::nullopt;
    const bool withOpen = file->places[at][0].at >= 0;
    if (holds(file->days[at], r.sent, withOpen)) {
        out.state = State::AsSent;
        return out;
    }
    if (!holds(file->days[at], r.repaired, withOpen)) {
        out.state = State::OtherValues;
        return out;
    }
    QVector<Quote> changed = file->days;
    const Quote& was = file->days[at];
    changed[at] = quotetext::quoteOf(was.ticker, was.name, r.sent);
    changed[at].date = was.date;
    if (!withOpen)
        changed[at].open = was.open;
    QString error;
    if (!checkfiles::rewrite(path, checkfiles::patched(content, *file, changed), &out.note, &error)) {
        out.state = State::Failed;
        out.note = error;
    }
    return out;
}

// The MetaStock security of the ticker, through the map and the folders
// below the MetaStock root: the day's record gets the values as sent.
std::optional<FileOutcome> undoInMetastock(QChar letter, Database& db, const QString& ticker, const Result& r)
{
    const QString root = metastock::root();
    if (root.isEmpty() || !QFileInfo(root).isDir())
        return std::nullopt;
    const storedfiles::MetastockIndex index(db, root);
    const storedfiles::MetastockIndex::Entry* entry = index.find(ticker);
    if (!entry)
        return std::nullopt;
    FileOutcome out{letter, entry->folder + entry->dataFile, State::Rewritten, {}};
    try {
        mslink::Folder folder(entry->folder);
        folder.load();
        const int security = folder.find(entry->symbol, entry->dataFile);
        if (security < 0)
            return std::nullopt;
        std::optional<mslink::Record> day;
        for (const mslink::Record& rec : folder.records(security)) {
            if (rec.date == r.sent.date)
                day = rec;
        }
        if (!day)
            return std::nullopt;
        if (holds(*day, r.sent)) {
            out.state = State::AsSent;
            return out;
        }
        if (!holds(*day, r.repaired)) {
            out.state = State::OtherValues;
            return out;
        }
        const QString dataFile = entry->folder + entry->dataFile;
        out.note = checkfiles::backupName(dataFile);
        if (!QFile::copy(dataFile, out.note)) {
            out.state = State::Failed;
            out.note = QStringLiteral("the old file could not be kept as %1").arg(out.note);
            return out;
        }
        const auto single = [](const core::Figure& f) { return static_cast<float>(f.value); };
        mslink::Writer writer;
        writer.openFolder(entry->folder);
        writer.selectSecurity(entry->symbol, entry->dataFile);
        writer.changeRecord(day->date, day->date, day->time, single(r.sent.open), single(r.sent.high),
                            single(r.sent.low), single(r.sent.close), single(r.sent.volume), day->openInterest);
        writer.flush();
        writer.closeSecurity();
        writer.release();
    } catch (const mslink::Error& e) {
        out.state = State::Failed;
        out.note = e.text();
    }
    return out;
}

}  // namespace

Result undo(QuoteStore& store, Database& db, const QString& ticker, qint32 date)
{
    Result r;
    if (store.lastDay(ticker) == 0) {
        r.status = Result::Status::UnknownTicker;
        return r;
    }
    const QVector<QuoteStore::Row> rows = store.rows(ticker, date, date);
    if (rows.isEmpty()) {
        r.status = Result::Status::NoSuchDay;
        return r;
    }
    const QuoteStore::Row& row = rows.front();
    if (!row.bar.has(core::Bar::Repaired) || !row.asSent) {
        r.status = Result::Status::NotRepaired;
        return r;
    }
    r.repaired = row.bar;
    r.sent = *row.asSent;
    r.sent.date = date;
    // Remembered, so that a later download of the day keeps the values as sent.
    r.sent.flags = (row.bar.flags & ~quint32(core::Bar::Repaired)) | core::Bar::KeptAsSent;

    QString name;
    const QVector<lists::Symbol> known = lists::symbolsWithTicker(db, ticker);
    if (!known.isEmpty())
        name = known.front().name;
    for (const ExportFormat& f : formats::registry()) {
        std::optional<FileOutcome> done;
        if (f.stored && f.stored->keepsFolders() && mayHoldFiles(f))
            done = undoInMetastock(f.letter, db, ticker, r);
        else if (f.stored && f.perSymbolFiles() && mayHoldFiles(f))
            done = undoInFile(f.letter, symbolFile(f.letter, ticker, filenames::reduceName(name)).path, r);
        else if (!f.perSymbolFiles() && !(f.stored && f.stored->keepsFolders()) && f.isOn())
            r.runWide << QStringLiteral("%1 (%2)").arg(f.letter).arg(f.name());
        if (done) {
            r.files.append(*done);
            if (done->state == State::Failed)
                r.status = Result::Status::FileFailed;
        }
    }
    if (r.status == Result::Status::FileFailed)
        return r;

    store.begin();
    try {
        store.put(ticker, r.sent, row.source);
    } catch (...) {
        store.rollback();
        throw;
    }
    store.commit();
    return r;
}

}  // namespace repairundo
