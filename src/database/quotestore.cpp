#include "database/quotestore.h"

#include "database/barpack.h"
#include "database/db.h"
#include "support/paths.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>
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
    // day: days since 1970-01-01; figures: packed (barpack.h); flags: core::Bar's.
    "CREATE TABLE bar(symbol INTEGER NOT NULL, day INTEGER NOT NULL, figures BLOB NOT NULL,"
    " source INTEGER NOT NULL, flags INTEGER NOT NULL, PRIMARY KEY(symbol, day)) WITHOUT ROWID",
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

const QString kMoveAway = QStringLiteral("Move it out of the data folder; Quotaris then starts a new store.");

}  // namespace

QString QuoteStore::defaultPath() { return paths::dataFile(QStringLiteral("quotestore.sqlite")); }

int QuoteStore::dayNumber(qint32 date)
{
    return static_cast<int>(QDate(date / 10000, date / 100 % 100, date % 100).toJulianDay() - kEpochJulianDay);
}

qint32 QuoteStore::dateOf(int dayNumber)
{
    const QDate d = QDate::fromJulianDay(dayNumber + kEpochJulianDay);
    return d.year() * 10000 + d.month() * 100 + d.day();
}

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

void QuoteStore::begin()
{
    try {
        db_->begin();
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be written"));
    }
}

void QuoteStore::commit()
{
    try {
        db_->commit();
    } catch (const std::exception& e) {
        db_->rollback();
        failed(e, QStringLiteral("be written"));
    }
}

void QuoteStore::rollback() { db_->rollback(); }

int QuoteStore::symbolId(const QString& ticker, bool create)
{
    const auto known = ids_.constFind(ticker);
    if (known != ids_.constEnd())
        return *known;
    const QVariant id = db_->scalar(QStringLiteral("SELECT id FROM symbol WHERE ticker=?"), {ticker});
    if (id.isValid()) {
        ids_.insert(ticker, id.toInt());
        return id.toInt();
    }
    if (!create)
        return 0;
    db_->exec(QStringLiteral("INSERT INTO symbol(ticker) VALUES(?)"), {ticker});
    const int made = static_cast<int>(db_->lastInsertRowId());
    ids_.insert(ticker, made);
    return made;
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

void QuoteStore::put(const QString& ticker, const core::Bar& bar, int source, const core::Bar* asSent)
{
    try {
        const int id = symbolId(ticker, true);
        const int day = dayNumber(bar.date);
        packed_.clear();
        barpack::pack(bar, packed_);
        if (!insertBar_) {
            insertBar_ = std::make_unique<Statement>(
                *db_, QStringLiteral(
                          "INSERT OR REPLACE INTO bar(symbol, day, figures, source, flags) VALUES(?, ?, ?, ?, ?)"));
            insertSent_ = std::make_unique<Statement>(
                *db_, QStringLiteral("INSERT OR REPLACE INTO sent(symbol, day, figures) VALUES(?, ?, ?)"));
            deleteSent_ =
                std::make_unique<Statement>(*db_, QStringLiteral("DELETE FROM sent WHERE symbol=? AND day=?"));
        }
        Statement& st = *insertBar_;
        st.reset();
        st.bindInteger(1, id).bindInteger(2, day);
        st.bindBlob(3, packed_.constData(), static_cast<int>(packed_.size()));
        st.bindInteger(4, source).bindInteger(5, bar.flags);
        st.run();
        if (asSent) {
            packed_.clear();
            barpack::pack(*asSent, packed_);
            Statement& sent = *insertSent_;
            sent.reset();
            sent.bindInteger(1, id).bindInteger(2, day);
            sent.bindBlob(3, packed_.constData(), static_cast<int>(packed_.size()));
            sent.run();
        } else {
            Statement& sent = *deleteSent_;
            sent.reset();
            sent.bindInteger(1, id).bindInteger(2, day);
            sent.run();
        }
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be written"));
    }
}

QVector<QuoteStore::Row> QuoteStore::rows(const QString& ticker, qint32 from, qint32 to)
{
    QVector<Row> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    Statement st =
        db_->prepare(QStringLiteral("SELECT b.day, b.figures, b.source, b.flags, s.figures FROM bar b LEFT JOIN sent s"
                                    " ON s.symbol=b.symbol AND s.day=b.day WHERE b.symbol=? AND b.day BETWEEN ? AND ?"
                                    " ORDER BY b.day"));
    st.bindInteger(1, id);
    st.bindInteger(2, from > 0 ? dayNumber(from) : std::numeric_limits<int>::min());
    st.bindInteger(3, to > 0 ? dayNumber(to) : std::numeric_limits<int>::max());
    try {
        while (st.next()) {
            Row row;
            row.bar.date = dateOf(static_cast<int>(st.integer(0)));
            if (!barpack::unpack(st.blob(1), row.bar))
                throw DbError(SQLITE_CORRUPT, QString());
            row.source = static_cast<int>(st.integer(2));
            row.bar.flags = static_cast<quint32>(st.integer(3));
            if (!st.isNull(4)) {
                core::Bar sent;
                sent.date = row.bar.date;
                if (!barpack::unpack(st.blob(4), sent))
                    throw DbError(SQLITE_CORRUPT, QString());
                row.asSent = sent;
            }
            out.append(std::move(row));
        }
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be read"));
    }
    return out;
}

QVector<QuoteStore::DayFlags> QuoteStore::days(const QString& ticker, qint32 from)
{
    QVector<DayFlags> out;
    const int id = symbolId(ticker, false);
    if (id == 0)
        return out;
    if (!selectDays_)
        selectDays_ = std::make_unique<Statement>(
            *db_, QStringLiteral("SELECT day, flags FROM bar WHERE symbol=? AND day>=? ORDER BY day"));
    Statement& st = *selectDays_;
    st.reset();
    st.bindInteger(1, id).bindInteger(2, from > 0 ? dayNumber(from) : std::numeric_limits<int>::min());
    try {
        while (st.next())
            out.append(DayFlags{dateOf(static_cast<int>(st.integer(0))), static_cast<quint32>(st.integer(1))});
    } catch (const std::exception& e) {
        failed(e, QStringLiteral("be read"));
    }
    return out;
}

qint32 QuoteStore::firstDay(const QString& ticker)
{
    const int id = symbolId(ticker, false);
    if (id == 0)
        return 0;
    if (!selectFirst_)
        selectFirst_ = std::make_unique<Statement>(
            *db_, QStringLiteral("SELECT day FROM bar WHERE symbol=? ORDER BY day LIMIT 1"));
    Statement& st = *selectFirst_;
    st.reset();
    st.bindInteger(1, id);
    return st.next() ? dateOf(static_cast<int>(st.integer(0))) : 0;
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

QVector<core::Bar> QuoteStore::bars(const QString& ticker, qint32 from, qint32 to)
{
    QVector<core::Bar> out;
    const QVector<Row> all = rows(ticker, from, to);
    out.reserve(all.size());
    for (const Row& r : all)
        out.append(r.bar);
    return out;
}

qint32 QuoteStore::lastDay(const QString& ticker)
{
    const int id = symbolId(ticker, false);
    if (id == 0)
        return 0;
    const QVariant day = db_->scalar(QStringLiteral("SELECT max(day) FROM bar WHERE symbol=?"), {id});
    return day.isValid() && !day.isNull() ? dateOf(day.toInt()) : 0;
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
    try {
        Transaction t(*db_);
        const int to = symbolId(newTicker, false);
        if (to == 0) {
            db_->exec(QStringLiteral("UPDATE symbol SET ticker=? WHERE id=?"), {newTicker, from});
        } else {
            for (const char* table : {"bar", "sent", "event", "gap"}) {
                db_->exec(QStringLiteral("INSERT OR IGNORE INTO %1 SELECT ?, day, %2 FROM %1 WHERE symbol=?")
                              .arg(QString::fromLatin1(table),
                                   QString::fromLatin1(qstrcmp(table, "bar") == 0     ? "figures, source, flags"
                                                       : qstrcmp(table, "sent") == 0  ? "figures"
                                                       : qstrcmp(table, "event") == 0 ? "kind, value"
                                                                                      : "asked, tries, settled")),
                          {to, from});
                db_->exec(QStringLiteral("DELETE FROM %1 WHERE symbol=?").arg(QString::fromLatin1(table)), {from});
            }
            db_->exec(QStringLiteral("DELETE FROM symbol WHERE id=?"), {from});
        }
        t.commit();
    } catch (const std::exception& e) {
        ids_.clear();
        failed(e, QStringLiteral("be written"));
    }
    ids_.clear();
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
    Summary s;
    s.symbols = db_->scalar(QStringLiteral("SELECT count(DISTINCT symbol) FROM bar")).toInt();
    Statement st = db_->prepare(QStringLiteral("SELECT count(*), min(day), max(day) FROM bar"));
    if (st.next()) {
        s.bars = st.integer(0);
        if (s.bars > 0) {
            s.first = dateOf(static_cast<int>(st.integer(1)));
            s.last = dateOf(static_cast<int>(st.integer(2)));
        }
    }
    s.bytes = QFileInfo(path_).size() + QFileInfo(path_ + QStringLiteral("-wal")).size();
    return s;
}

QStringList QuoteStore::check()
{
    QStringList found;
    try {
        Statement st = db_->prepare(QStringLiteral("PRAGMA integrity_check"));
        while (st.next()) {
            const QString line = st.text(0);
            if (line != QLatin1String("ok"))
                found.append(line);
        }
        // The packed figures are ours to check.
        Statement bars = db_->prepare(QStringLiteral(
            "SELECT s.ticker, b.day, b.figures FROM bar b JOIN symbol s ON s.id=b.symbol ORDER BY s.ticker, b.day"));
        core::Bar bar;
        while (bars.next()) {
            if (!barpack::unpack(bars.blob(2), bar))
                found.append(QStringLiteral("%1 %2: unreadable figures")
                                 .arg(bars.text(0))
                                 .arg(dateOf(static_cast<int>(bars.integer(1)))));
        }
    } catch (const DbError& e) {
        found.append(e.description());
    }
    return found;
}
