#include "database/quotestore.h"

#include "core/dates.h"
#include "database/barpack.h"
#include "database/db.h"

using barpack::getVarint;
using barpack::putVarint;
#include "support/paths.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
#include <algorithm>
#include <limits>
#include <sqlcipher/sqlite3.h>

namespace {

// "QSTB" in the file's header: the file is a quote store.
constexpr qint64 kApplicationId = 0x51535442;
constexpr qint64 kEpochJulianDay = 2440588;  // 1970-01-01

const char* const kSchema[] = {
    "CREATE TABLE symbol(id INTEGER PRIMARY KEY, ticker TEXT NOT NULL UNIQUE)",
    "CREATE TABLE source(id INTEGER PRIMARY KEY, host TEXT NOT NULL, fetched INTEGER NOT NULL,"
    " UNIQUE(host, fetched))",
    // One row per symbol and month (year * 12 + month - 1): its days in
    // order, each the day of the month, core::Bar's flags, the source and
    // the packed figures (barpack.h). A month of bars costs one row.
    "CREATE TABLE bar(symbol INTEGER NOT NULL, month INTEGER NOT NULL, days INTEGER NOT NULL,"
    " entries BLOB NOT NULL, PRIMARY KEY(symbol, month)) WITHOUT ROWID",
    // day: days since 1970-01-01.
    // The values as sent of the days the integrity check repaired.
    "CREATE TABLE sent(symbol INTEGER NOT NULL, day INTEGER NOT NULL, figures BLOB NOT NULL,"
    " PRIMARY KEY(symbol, day)) WITHOUT ROWID",
    "CREATE TABLE event(symbol INTEGER NOT NULL, day INTEGER NOT NULL, kind TEXT NOT NULL,"
    " value TEXT NOT NULL, PRIMARY KEY(symbol, day, kind)) WITHOUT ROWID",
    // Days the gap filling asked the provider for and did not get: the last
    // session after which it asked, how often, and whether the provider's
    // answer settled that the day has no trading for the symbol.
    "CREATE TABLE gap(symbol INTEGER NOT NULL, day INTEGER NOT NULL, asked INTEGER NOT NULL,"
    " tries INTEGER NOT NULL, settled INTEGER NOT NULL, PRIMARY KEY(symbol, day)) WITHOUT ROWID",
};

bool damaged(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

QString refusal(const QString& path, const QString& why, const QString& todo)
{
    return QStringLiteral("The quote store %1 %2. Nothing was written to it. %3").arg(path, why, todo);
}

// How many days ahead putDays() asks for the texts it packs.
constexpr qsizetype kAhead = 4;

const QString kMoveAway = QStringLiteral("Move it out of the data folder; Quotaris then starts a new store.");

int monthOf(qint32 date) { return date / 10000 * 12 + date / 100 % 100 - 1; }
qint32 dateIn(int month, int day) { return (month / 12) * 10000 + (month % 12 + 1) * 100 + day; }

// One entry of a month row as it lies in the row's bytes.
struct RawEntry {
    int day = 0;
    quint64 flags = 0, source = 0;
    QByteArrayView figures;
};

// The entry at `at`, which moves past it; false on bytes that are no entry.
bool nextEntry(QByteArrayView bytes, qsizetype& at, RawEntry& e)
{
    e.day = static_cast<unsigned char>(bytes[at++]);
    quint64 size = 0;
    if (e.day < 1 || e.day > 31 || !getVarint(bytes, at, &e.flags) || !getVarint(bytes, at, &e.source) ||
        !getVarint(bytes, at, &size) || size > quint64(bytes.size() - at))
        return false;
    e.figures = bytes.sliced(at, static_cast<qsizetype>(size));
    at += static_cast<qsizetype>(size);
    return true;
}

}  // namespace

// The entries of one month row, read in order; false on bytes that are no
// entries.
bool QuoteStore::readMonth(QByteArrayView bytes, Month& out)
{
    qsizetype at = 0;
    RawEntry raw;
    while (at < bytes.size()) {
        if (!nextEntry(bytes, at, raw))
            return false;
        Entry& e = out[raw.day];
        e.flags = static_cast<quint32>(raw.flags);
        e.source = static_cast<int>(raw.source);
        e.figures = raw.figures.toByteArray();
    }
    return true;
}

QByteArray QuoteStore::monthBytes(const Month& month)
{
    QByteArray out;
    for (const auto& [day, e] : month) {
        out.append(static_cast<char>(day));
        putVarint(out, e.flags);
        putVarint(out, static_cast<quint64>(e.source));
        putVarint(out, static_cast<quint64>(e.figures.size()));
        out.append(e.figures);
    }
    return out;
}

QString QuoteStore::defaultPath() { return paths::dataFile(QStringLiteral("quotestore.sqlite")); }

// Counted from the parts, so that a day that does not exist (the 0th, the
// 32nd: a bound one day off a month's end) still falls in order instead of
// making an invalid date.
int QuoteStore::dayNumber(qint32 date)
{
    qint64 y = date / 10000;
    const qint64 m = std::clamp<qint64>(date / 100 % 100, 1, 12);
    const qint64 d = date % 100;
    y -= m <= 2 ? 1 : 0;
    const qint64 era = (y >= 0 ? y : y - 399) / 400;
    const qint64 yoe = y - era * 400;
    const qint64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const qint64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<int>(era * 146097 + doe - 719468);
}

qint32 QuoteStore::dateOf(int dayNumber) { return core::dateNumber(QDate::fromJulianDay(dayNumber + kEpochJulianDay)); }

QuoteStore::QuoteStore(const QString& path) : path_(path)
{
    const QFileInfo info(path);
    // SQLite writes its header with the first transaction: an empty file
    // holds nothing, and becomes a new store.
    if (info.exists() && info.isFile() && info.size() == 0)
        QFile::remove(path);
    const bool fresh = !QFileInfo::exists(path);
    try {
        db_ = std::make_unique<Database>(path, Database::Mode::CreateIfMissing, Database::Key::None);
    } catch (const DbError& e) {
        if (damaged(e.code()))
            throw StoreError(errnum::FileCorrupt, refusal(path, QStringLiteral("is not a quote store"), kMoveAway));
        throw StoreError(e.code(),
                         QStringLiteral("The quote store %1 could not be opened: %2").arg(path, e.description()));
    }
    try {
        if (!fresh) {
            const qint64 id = db_->scalar(QStringLiteral("PRAGMA application_id")).toLongLong();
            const qint64 version = db_->scalar(QStringLiteral("PRAGMA user_version")).toLongLong();
            const bool empty = db_->scalar(QStringLiteral("SELECT count(*) FROM sqlite_master")).toLongLong() == 0;
            if (!(empty && id == 0) && id != kApplicationId)
                throw StoreError(errnum::FileCorrupt, refusal(path, QStringLiteral("is not a quote store"), kMoveAway));
            if (version > kVersion)
                throw StoreError(errnum::FileCorrupt,
                                 refusal(path, QStringLiteral("was written by a newer version of Quotaris"),
                                         QStringLiteral("Update Quotaris, or move the file out of the data "
                                                        "folder to start a new store.")));
        }
        db_->exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        // A commit reaches the disk before the user's files are written.
        db_->exec(QStringLiteral("PRAGMA synchronous=FULL"));
        if (db_->scalar(QStringLiteral("PRAGMA user_version")).toLongLong() == 0) {
            Transaction t(*db_);
            for (const char* sql : kSchema)
                db_->exec(QString::fromLatin1(sql));
            db_->exec(QStringLiteral("PRAGMA application_id=%1").arg(kApplicationId));
            db_->exec(QStringLiteral("PRAGMA user_version=%1").arg(kVersion));
            t.commit();
        }
        anySent_ = db_->scalar(QStringLiteral("SELECT EXISTS(SELECT 1 FROM sent)")).toBool();
    } catch (const StoreError&) {
        throw;
    } catch (const DbError& e) {
        if (damaged(e.code()))
            throw StoreError(errnum::FileCorrupt,
                             refusal(path, QStringLiteral("is damaged"),
                                     QStringLiteral("Run \"quotaris store check\", or move it out of the data folder "
                                                    "to start a new store.")));
        throw StoreError(e.code(),
                         QStringLiteral("The quote store %1 could not be opened: %2").arg(path, e.description()));
    }
}

QuoteStore::~QuoteStore() = default;

void QuoteStore::failed(const std::exception& e, const QString& doing) const
{
    const auto* db = dynamic_cast<const DbError*>(&e);
    const int code = db ? db->code() : errnum::DeviceIo;
    QString why = db ? db->description() : QString::fromUtf8(e.what());
    if (db && damaged(code))
        why = QStringLiteral("the file is damaged; run \"quotaris store check\"");
    else if (db && (code & 0xff) == SQLITE_FULL)
        why = QStringLiteral("No space left on device");
    throw StoreError(db && (code & 0xff) == SQLITE_FULL ? errnum::DiskFull : code,
                     QStringLiteral("The quote store %1 could not %2: %3").arg(path_, doing, why));
}

// BEGIN and COMMIT prepared once: a run makes a transaction per symbol.
void QuoteStore::run(std::unique_ptr<Statement>& statement, const char* sql)
{
    if (!statement)
        statement = std::make_unique<Statement>(*db_, QString::fromLatin1(sql));
    statement->reset();
    statement->run();
    statement->reset();
}

void QuoteStore::begin()
{
    try {
        run(begin_, "BEGIN IMMEDIATE");
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be written"));
    }
}

void QuoteStore::commit()
{
    try {
        flush();
        run(commit_, "COMMIT");
    } catch (const std::exception& e) {
        pending_.clear();
        forgetIds();
        db_->rollback();
        failed(e, QStringLiteral("be written"));
    }
}

void QuoteStore::rollback()
{
    pending_.clear();
    forgetIds();
    db_->rollback();
}

// Merges the days put since the last flush into their month rows.
void QuoteStore::flush()
{
    if (!readRow_) {
        readRow_ =
            std::make_unique<Statement>(*db_, QStringLiteral("SELECT entries FROM bar WHERE symbol=? AND month=?"));
        writeRow_ = std::make_unique<Statement>(
            *db_, QStringLiteral("INSERT OR REPLACE INTO bar(symbol, month, days, entries) VALUES(?, ?, ?, ?)"));
    }
    for (auto& [key, days] : pending_) {
        Statement& read = *readRow_;
        read.reset();
        read.bindInteger(1, key.first).bindInteger(2, key.second);
        QByteArray bytes;
        qsizetype count = 0;
        if (read.next()) {
            // The usual day after the last one the row holds (a current run's)
            // goes on its end, without taking the row apart.
            const QByteArrayView held = read.blob(0);
            int last = 0;
            const qsizetype entries = entriesInOrder(held, &last);
            if (entries > 0 && days.begin()->first > last) {
                bytes = held.toByteArray();
                bytes += monthBytes(days);
                count = entries + static_cast<qsizetype>(days.size());
            } else {
                Month month;
                if (!readMonth(held, month))
                    throw DbError(SQLITE_CORRUPT, QString());
                for (auto& [day, e] : days)
                    month[day] = std::move(e);
                bytes = monthBytes(month);
                count = static_cast<qsizetype>(month.size());
            }
        } else {
            bytes = monthBytes(days);
            count = static_cast<qsizetype>(days.size());
        }
        read.reset();
        Statement& write = *writeRow_;
        write.reset();
        write.bindInteger(1, key.first).bindInteger(2, key.second).bindInteger(3, static_cast<qint64>(count));
        write.bindBlob(4, bytes.constData(), static_cast<int>(bytes.size()));
        write.run();
    }
    pending_.clear();
}

// The number of entries of a month row whose days are all in order (each
// once), and its last day; 0 for any other row (readMonth then says whether
// it is one at all).
qsizetype QuoteStore::entriesInOrder(QByteArrayView bytes, int* last)
{
    qsizetype at = 0, count = 0;
    RawEntry e;
    int previous = 0;
    while (at < bytes.size()) {
        if (!nextEntry(bytes, at, e) || e.day <= previous)
            return 0;
        previous = e.day;
        ++count;
    }
    *last = previous;
    return count;
}

void QuoteStore::flushForReading()
{
    try {
        flush();
    } catch (const std::exception& e) {
        pending_.clear();
        failed(e, QStringLiteral("be written"));
    }
}

QVector<std::pair<int, QuoteStore::Month>> QuoteStore::months(int id, int firstMonth, int lastMonth, bool descending,
                                                              int limit)
{
    flushForReading();
    QVector<std::pair<int, Month>> out;
    Statement st = db_->prepare(QStringLiteral("SELECT month, entries FROM bar WHERE symbol=? AND month BETWEEN ? AND ?"
                                               " ORDER BY month %1 LIMIT ?")
                                    .arg(descending ? QStringLiteral("DESC") : QStringLiteral("ASC")));
    st.bindInteger(1, id).bindInteger(2, firstMonth).bindInteger(3, lastMonth).bindInteger(4, limit);
    try {
        while (st.next()) {
            Month m;
            if (!readMonth(st.blob(1), m))
                throw DbError(SQLITE_CORRUPT, QString());
            out.append({static_cast<int>(st.integer(0)), std::move(m)});
        }
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be read"));
    }
    return out;
}

int QuoteStore::symbolId(const QString& ticker, bool create, bool* made)
{
    if (made)
        *made = false;
    if (!idsRead_) {
        ids_.clear();
        Statement st = db_->prepare(QStringLiteral("SELECT ticker, id FROM symbol"));
        while (st.next())
            ids_.insert(st.text(0), static_cast<int>(st.integer(1)));
        idsRead_ = true;
    }
    const auto known = ids_.constFind(ticker);
    if (known != ids_.constEnd())
        return *known;
    if (!create)
        return 0;
    if (!insertSymbol_)
        insertSymbol_ = std::make_unique<Statement>(*db_, QStringLiteral("INSERT INTO symbol(ticker) VALUES(?)"));
    Statement& insert = *insertSymbol_;
    insert.reset();
    insert.bind(1, ticker);
    insert.run();
    const int id = static_cast<int>(db_->lastInsertRowId());
    ids_.insert(ticker, id);
    if (made)
        *made = true;
    return id;
}

void QuoteStore::forgetIds()
{
    ids_.clear();
    idsRead_ = false;
}

int QuoteStore::source(const QString& host, const QDateTime& fetched)
{
    const qint64 at = fetched.toSecsSinceEpoch();
    try {
        const QVariant id = db_->scalar(QStringLiteral("SELECT id FROM source WHERE host=? AND fetched=?"), {host, at});
        if (id.isValid())
            return id.toInt();
        db_->exec(QStringLiteral("INSERT INTO source(host, fetched) VALUES(?, ?)"), {host, at});
        return static_cast<int>(db_->lastInsertRowId());
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be written"));
    }
}

std::optional<QuoteStore::Source> QuoteStore::sourceInfo(int id)
{
    Statement st = db_->prepare(QStringLiteral("SELECT host, fetched FROM source WHERE id=?"));
    st.bindInteger(1, id);
    if (!st.next())
        return std::nullopt;
    return Source{st.text(0), QDateTime::fromSecsSinceEpoch(st.integer(1), Qt::UTC)};
}

// Keeps the values as sent of a repaired day, or forgets those of a day
// put again without a repair.
void QuoteStore::putSent(int id, qint32 date, const core::Bar* asSent)
{
    if (!asSent && !anySent_)
        return;
    const int day = dayNumber(date);
    if (!insertSent_) {
        insertSent_ = std::make_unique<Statement>(
            *db_, QStringLiteral("INSERT OR REPLACE INTO sent(symbol, day, figures) VALUES(?, ?, ?)"));
        deleteSent_ = std::make_unique<Statement>(*db_, QStringLiteral("DELETE FROM sent WHERE symbol=? AND day=?"));
    }
    if (asSent) {
        packed_.clear();
        barpack::pack(*asSent, packed_);
        Statement& sent = *insertSent_;
        sent.reset();
        sent.bindInteger(1, id).bindInteger(2, day);
        sent.bindBlob(3, packed_.constData(), static_cast<int>(packed_.size()));
        sent.run();
        anySent_ = true;
    } else {
        Statement& sent = *deleteSent_;
        sent.reset();
        sent.bindInteger(1, id).bindInteger(2, day);
        sent.run();
    }
}

void QuoteStore::put(const QString& ticker, const core::Bar& bar, int source, const core::Bar* asSent)
{
    try {
        const int id = symbolId(ticker, true);
        Entry e;
        e.flags = bar.flags;
        e.source = source;
        barpack::pack(bar, e.figures);
        pending_[{id, monthOf(bar.date)}][bar.date % 100] = std::move(e);
        putSent(id, bar.date, asSent);
        if (!db_->inTransaction())
            flush();
    } catch (const std::exception& e) {
        pending_.clear();
        failed(e, QStringLiteral("be written"));
    }
}

void QuoteStore::putDays(const QString& ticker, const QVector<core::Bar>& days, int source,
                         const QHash<qint32, core::Bar>& asSent)
{
    const bool ascending = std::adjacent_find(days.cbegin(), days.cend(), [](const core::Bar& a, const core::Bar& b) {
                               return a.date >= b.date;
                           }) == days.cend();
    if (!ascending || !db_->inTransaction()) {
        for (const core::Bar& b : days) {
            const auto sent = asSent.constFind(b.date);
            put(ticker, b, source, sent == asSent.constEnd() ? nullptr : &*sent);
        }
        return;
    }
    if (days.isEmpty())
        return;
    // A month the store does not hold yet is written as it comes, without
    // an entry of its own per day; a month it holds is merged.
    try {
        flush();
        bool made = false;
        const int id = symbolId(ticker, true, &made);
        if (!readRow_)
            flush();  // makes the statements
        if (!asSent.isEmpty() || anySent_) {
            for (const core::Bar& b : days) {
                const auto sent = asSent.constFind(b.date);
                putSent(id, b.date, sent == asSent.constEnd() ? nullptr : &*sent);
            }
        }
        // The months of the range the store holds, in one look; a symbol
        // made just now holds none.
        QVector<int> held;
        if (!made) {
            if (!heldMonths_) {
                heldMonths_ = std::make_unique<Statement>(
                    *db_,
                    QStringLiteral("SELECT month FROM bar WHERE symbol=? AND month BETWEEN ? AND ? ORDER BY month"));
            }
            Statement& heldMonths = *heldMonths_;
            heldMonths.reset();
            heldMonths.bindInteger(1, id).bindInteger(2, monthOf(days.first().date));
            heldMonths.bindInteger(3, monthOf(days.last().date));
            while (heldMonths.next())
                held.append(static_cast<int>(heldMonths.integer(0)));
            heldMonths.reset();
        }
        QByteArray& month = month_;
        qsizetype i = 0;
        while (i < days.size()) {
            const int key = monthOf(days[i].date);
            qsizetype end = i;
            while (end < days.size() && monthOf(days[end].date) == key)
                ++end;
            if (std::binary_search(held.cbegin(), held.cend(), key)) {
                for (qsizetype k = i; k < end; ++k) {
                    Entry e;
                    e.flags = days[k].flags;
                    e.source = source;
                    barpack::pack(days[k], e.figures);
                    pending_[{id, key}][days[k].date % 100] = std::move(e);
                }
            } else {
                month.resize(0);
                for (qsizetype k = i; k < end; ++k) {
                    // The figures' texts lie apart from the bars: the ones a
                    // few days on are asked for while this one is packed.
                    if (k + kAhead < days.size()) {
                        const core::Bar& next = days[k + kAhead];
                        for (const core::Figure* f : {&next.open, &next.high, &next.low, &next.close, &next.volume})
                            __builtin_prefetch(f->text.constData());
                    }
                    appendEntry(month, days[k].date % 100, days[k].flags, source, days[k]);
                }
                // A row the store does not hold: a plain insert (one that
                // replaces would make SQLite keep a statement journal).
                if (!insertRow_) {
                    insertRow_ = std::make_unique<Statement>(
                        *db_, QStringLiteral("INSERT INTO bar(symbol, month, days, entries) VALUES(?, ?, ?, ?)"));
                }
                Statement& write = *insertRow_;
                write.reset();
                write.bindInteger(1, id).bindInteger(2, key).bindInteger(3, static_cast<qint64>(end - i));
                write.bindBlob(4, month.constData(), static_cast<int>(month.size()));
                write.run();
            }
            i = end;
        }
    } catch (const std::exception& e) {
        pending_.clear();
        failed(e, QStringLiteral("be written"));
    }
}

// One entry of a month row: the day, flags, source, the size of the
// figures and the figures, made in place and appended at once.
void QuoteStore::appendEntry(QByteArray& month, int day, quint32 flags, int source, const core::Bar& bar)
{
    char entry[1 + 2 * barpack::kMostVarint + 1 + barpack::kMostCompact];
    char* p = entry;
    *p++ = static_cast<char>(day);
    p = barpack::varintAt(p, flags);
    p = barpack::varintAt(p, static_cast<quint64>(source));
    // The compact form takes fewer than 128 bytes: its size is one byte.
    char* const size = p++;
    if (const char* end = barpack::packCompact(bar, p)) {
        *size = static_cast<char>(end - p);
        month.append(entry, end - entry);
        return;
    }
    month.append(entry, size - entry);
    QByteArray figures;
    barpack::pack(bar, figures);
    putVarint(month, static_cast<quint64>(figures.size()));
    month.append(figures);
}

QVector<QuoteStore::Row> QuoteStore::rows(const QString& ticker, qint32 from, qint32 to)
{
    QVector<Row> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    const QVector<std::pair<int, Month>> all =
        months(id, from > 0 ? monthOf(from) : 0, to > 0 ? monthOf(to) : std::numeric_limits<int>::max());
    QHash<qint32, core::Bar> sent;
    if (anySent_) {
        Statement st =
            db_->prepare(QStringLiteral("SELECT day, figures FROM sent WHERE symbol=? AND day BETWEEN ? AND ?"));
        st.bindInteger(1, id);
        st.bindInteger(2, from > 0 ? dayNumber(from) : std::numeric_limits<int>::min());
        st.bindInteger(3, to > 0 ? dayNumber(to) : std::numeric_limits<int>::max());
        while (st.next()) {
            core::Bar b;
            b.date = dateOf(static_cast<int>(st.integer(0)));
            if (!barpack::unpack(st.blob(1), b))
                failed(DbError(SQLITE_CORRUPT, QString()), QStringLiteral("be read"));
            sent.insert(b.date, b);
        }
    }
    qsizetype count = 0;
    for (const auto& m : all)
        count += static_cast<qsizetype>(m.second.size());
    out.reserve(count);
    for (const auto& [month, days] : all) {
        for (const auto& [day, e] : days) {
            Row row;
            row.bar.date = dateIn(month, day);
            if ((from > 0 && row.bar.date < from) || (to > 0 && row.bar.date > to))
                continue;
            if (!barpack::unpack(e.figures, row.bar))
                failed(DbError(SQLITE_CORRUPT, QString()), QStringLiteral("be read"));
            row.bar.flags = e.flags;
            row.source = e.source;
            const auto s = sent.constFind(row.bar.date);
            if (s != sent.constEnd())
                row.asSent = *s;
            out.append(std::move(row));
        }
    }
    return out;
}

QVector<QuoteStore::DayFlags> QuoteStore::days(const QString& ticker, qint32 from)
{
    QVector<DayFlags> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    for (const auto& [month, days] : months(id, from > 0 ? monthOf(from) : 0, std::numeric_limits<int>::max())) {
        for (const auto& [day, e] : days) {
            const qint32 date = dateIn(month, day);
            if (date >= from)
                out.append(DayFlags{date, e.flags});
        }
    }
    return out;
}

qint32 QuoteStore::firstDay(const QString& ticker)
{
    const int id = symbolId(ticker, false);
    if (id == 0)
        return 0;
    const auto first = months(id, 0, std::numeric_limits<int>::max(), false, 1);
    return first.isEmpty() || first[0].second.empty() ? 0 : dateIn(first[0].first, first[0].second.begin()->first);
}

QHash<qint32, QuoteStore::GapState> QuoteStore::gapStates(const QString& ticker)
{
    QHash<qint32, GapState> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    Statement st = db_->prepare(QStringLiteral("SELECT day, asked, tries, settled FROM gap WHERE symbol=?"));
    st.bindInteger(1, id);
    while (st.next()) {
        GapState g;
        g.askedAfter = st.integer(1) ? dateOf(static_cast<int>(st.integer(1))) : 0;
        g.tries = static_cast<int>(st.integer(2));
        g.settled = st.integer(3) != 0;
        out.insert(dateOf(static_cast<int>(st.integer(0))), g);
    }
    return out;
}

void QuoteStore::setGapState(const QString& ticker, qint32 date, const GapState& state)
{
    try {
        db_->exec(
            QStringLiteral("INSERT OR REPLACE INTO gap(symbol, day, asked, tries, settled) VALUES(?, ?, ?, ?, ?)"),
            {symbolId(ticker, true), dayNumber(date), state.askedAfter ? dayNumber(state.askedAfter) : 0, state.tries,
             state.settled ? 1 : 0});
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be written"));
    }
}

// The days alone, unpacked where they go: a fill reads every day of
// thousands of symbols. A month row is read straight into its days when they
// come in order (as every write keeps them); another goes through readMonth.
QVector<core::Bar> QuoteStore::bars(const QString& ticker, qint32 from, qint32 to)
{
    QVector<core::Bar> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    flushForReading();
    if (!readRange_) {
        readRange_ = std::make_unique<Statement>(
            *db_, QStringLiteral("SELECT month, days, entries FROM bar WHERE symbol=? AND month BETWEEN ? AND ?"
                                 " ORDER BY month"));
    }
    // The rows first: the number of days is known before the first is made.
    std::vector<std::pair<int, QByteArray>> rows;
    qsizetype count = 0;
    Statement& st = *readRange_;
    try {
        st.reset();
        st.bindInteger(1, id).bindInteger(2, from > 0 ? monthOf(from) : 0);
        st.bindInteger(3, to > 0 ? monthOf(to) : std::numeric_limits<int>::max());
        while (st.next()) {
            rows.emplace_back(static_cast<int>(st.integer(0)), st.blob(2).toByteArray());
            count += std::max<qint64>(0, st.integer(1));
        }
        st.reset();
    } catch (const std::exception& e) {
        st.reset();
        failed(e, QStringLiteral("be read"));
    }
    if (!texts_)
        texts_ = std::make_unique<barpack::TextCache>();
    const auto unreadable = [this] { failed(DbError(SQLITE_CORRUPT, QString()), QStringLiteral("be read")); };
    // A day of the range, unpacked where it goes.
    const auto take = [&](int month, int day, quint64 flags, QByteArrayView figures) {
        const qint32 date = dateIn(month, day);
        if ((from > 0 && date < from) || (to > 0 && date > to))
            return;
        core::Bar& bar = out.emplace_back();
        bar.date = date;
        if (!barpack::unpack(figures, bar, texts_.get()))
            unreadable();
        bar.flags = static_cast<quint32>(flags);
    };
    out.reserve(count);
    for (const auto& [month, bytes] : rows) {
        const qsizetype before = out.size();
        const QByteArrayView view(bytes);
        qsizetype at = 0;
        RawEntry raw;
        int previous = 0;
        bool inOrder = true;
        while (at < view.size()) {
            if (!nextEntry(view, at, raw))
                unreadable();
            if (raw.day <= previous) {
                inOrder = false;
                break;
            }
            previous = raw.day;
            take(month, raw.day, raw.flags, raw.figures);
        }
        if (inOrder)
            continue;
        // Days out of order or twice: the later entry of a day holds.
        out.resize(before);
        Month m;
        if (!readMonth(view, m))
            unreadable();
        for (const auto& [day, e] : m)
            take(month, day, e.flags, e.figures);
    }
    return out;
}

qint32 QuoteStore::lastDay(const QString& ticker)
{
    const int id = symbolId(ticker, false);
    if (id == 0)
        return 0;
    const auto last = months(id, 0, std::numeric_limits<int>::max(), true, 1);
    return last.isEmpty() || last[0].second.empty() ? 0 : dateIn(last[0].first, last[0].second.rbegin()->first);
}

void QuoteStore::putEvent(const QString& ticker, const Event& event)
{
    try {
        db_->exec(QStringLiteral("INSERT OR REPLACE INTO event(symbol, day, kind, value) VALUES(?, ?, ?, ?)"),
                  {symbolId(ticker, true), dayNumber(event.date), event.kind, event.value});
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be written"));
    }
}

QVector<QuoteStore::Event> QuoteStore::events(const QString& ticker)
{
    QVector<Event> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    Statement st = db_->prepare(QStringLiteral("SELECT day, kind, value FROM event WHERE symbol=? ORDER BY day, kind"));
    st.bindInteger(1, id);
    while (st.next())
        out.append(Event{dateOf(static_cast<int>(st.integer(0))), st.text(1), st.text(2)});
    return out;
}

void QuoteStore::renameSymbol(const QString& oldTicker, const QString& newTicker)
{
    const int from = symbolId(oldTicker, false);
    if (from == 0 || oldTicker == newTicker)
        return;
    flushForReading();
    try {
        Transaction t(*db_);
        const int to = symbolId(newTicker, false);
        if (to == 0) {
            db_->exec(QStringLiteral("UPDATE symbol SET ticker=? WHERE id=?"), {newTicker, from});
        } else {
            // Month by month: the days the new ticker lacks come over.
            std::map<std::pair<int, int>, Month> moved;
            for (auto& [month, days] : months(from, 0, std::numeric_limits<int>::max())) {
                for (const auto& held : months(to, month, month)) {
                    for (const auto& [day, e] : held.second)
                        days.erase(day);
                }
                moved[{to, month}] = std::move(days);
            }
            pending_ = std::move(moved);
            flush();
            for (const char* table : {"sent", "event", "gap"}) {
                db_->exec(QStringLiteral("INSERT OR IGNORE INTO %1 SELECT ?, day, %2 FROM %1 WHERE symbol=?")
                              .arg(QString::fromLatin1(table),
                                   QString::fromLatin1(qstrcmp(table, "sent") == 0    ? "figures"
                                                       : qstrcmp(table, "event") == 0 ? "kind, value"
                                                                                      : "asked, tries, settled")),
                          {to, from});
            }
            for (const char* table : {"bar", "sent", "event", "gap"})
                db_->exec(QStringLiteral("DELETE FROM %1 WHERE symbol=?").arg(QString::fromLatin1(table)), {from});
            db_->exec(QStringLiteral("DELETE FROM symbol WHERE id=?"), {from});
        }
        t.commit();
    } catch (const std::exception& e) {
        pending_.clear();
        forgetIds();
        failed(e, QStringLiteral("be written"));
    }
    forgetIds();
}

QStringList QuoteStore::tickers()
{
    QStringList out;
    Statement st = db_->prepare(QStringLiteral("SELECT ticker FROM symbol ORDER BY ticker"));
    while (st.next())
        out.append(st.text(0));
    return out;
}

QuoteStore::Summary QuoteStore::summary()
{
    flushForReading();
    Summary s;
    Statement st =
        db_->prepare(QStringLiteral("SELECT count(DISTINCT symbol), sum(days), min(month), max(month) FROM bar"));
    if (st.next() && !st.isNull(1)) {
        s.symbols = static_cast<int>(st.integer(0));
        s.bars = st.integer(1);
        const int first = static_cast<int>(st.integer(2)), last = static_cast<int>(st.integer(3));
        s.first = std::numeric_limits<qint32>::max();
        for (const int month : {first, last}) {
            Statement edge = db_->prepare(QStringLiteral("SELECT entries FROM bar WHERE month=?"));
            edge.bindInteger(1, month);
            while (edge.next()) {
                Month m;
                if (!readMonth(edge.blob(0), m) || m.empty())
                    continue;
                s.first = std::min(s.first, dateIn(month, m.begin()->first));
                s.last = std::max(s.last, dateIn(month, m.rbegin()->first));
            }
        }
    }
    s.bytes = QFileInfo(path_).size() + QFileInfo(path_ + QStringLiteral("-wal")).size();
    return s;
}

QStringList QuoteStore::check()
{
    QStringList found;
    try {
        flush();
        Statement st = db_->prepare(QStringLiteral("PRAGMA integrity_check"));
        while (st.next()) {
            const QString line = st.text(0);
            if (line != QLatin1String("ok"))
                found.append(line);
        }
        // The entries and packed figures are ours to check.
        Statement rows = db_->prepare(QStringLiteral(
            "SELECT s.ticker, b.month, b.days, b.entries FROM bar b JOIN symbol s ON s.id=b.symbol ORDER BY s.ticker, "
            "b.month"));
        core::Bar bar;
        while (rows.next()) {
            const int month = static_cast<int>(rows.integer(1));
            Month m;
            if (!readMonth(rows.blob(3), m) || qint64(m.size()) != rows.integer(2)) {
                found.append(QStringLiteral("%1 %2: unreadable days").arg(rows.text(0)).arg(dateIn(month, 0) / 100));
                continue;
            }
            for (const auto& [day, e] : m) {
                if (!barpack::unpack(e.figures, bar))
                    found.append(QStringLiteral("%1 %2: unreadable figures").arg(rows.text(0)).arg(dateIn(month, day)));
            }
        }
    } catch (const DbError& e) {
        found.append(e.description());
    }
    return found;
}
