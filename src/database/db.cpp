#include "database/db.h"

#include "database/dbuse.h"
#include "support/paths.h"

#include <QDate>
#include <QFileInfo>
#include <sqlcipher/sqlite3.h>

namespace {
constexpr char kPassword[] = "mvkotrelnap";
// The window, the scheduler and a headless command may share the database;
// a write waits this long for another process's short transaction (whose
// commit may wait on a busy disk) before it fails as locked.
constexpr int kBusyTimeoutMs = 10000;
}  // namespace

DbError::DbError(int code, const QString& message) : AppError(code, message) {}

bool DbError::commandRefused() const { return (code() & 0xff) == SQLITE_ERROR; }

const char* Database::password() { return kPassword; }

Database::Database(const QString& path, Mode mode, Key key) : path_(path)
{
    const QFileInfo info(path);
    if (info.exists() && info.size() == 0)
        throw DbError(SQLITE_NOTADB, QStringLiteral("unable to open database: %1 is empty").arg(path));
    if (!info.exists() && mode == Mode::OpenExisting)
        throw DbError(SQLITE_CANTOPEN, QStringLiteral("unable to open database: %1 does not exist").arg(path));

    // The program's own database is marked in use for as long as this
    // connection lasts (compaction waits for every other process to let go).
    if (info.absoluteFilePath() == QFileInfo(paths::databaseFile()).absoluteFilePath()) {
        dbuse::connectionOpened(info.absoluteFilePath());
        used_ = info.absoluteFilePath();
    }
    int flags = SQLITE_OPEN_READWRITE;
    if (mode == Mode::CreateIfMissing)
        flags |= SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db_, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
        sqlite3_close(db_);
        db_ = nullptr;
        release();
        throw DbError(rc, QStringLiteral("unable to open database %1: %2").arg(path, message));
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    if (key == Key::Program)
        sqlite3_key(db_, kPassword, static_cast<int>(sizeof kPassword - 1));
    // The key is only checked when the first page is read.
    const int check = sqlite3_exec(db_, "SELECT count(*) FROM sqlite_master;", nullptr, nullptr, nullptr);
    if (check != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db_));
        sqlite3_close(db_);
        db_ = nullptr;
        release();
        throw DbError(check, QStringLiteral("unable to open database %1: %2").arg(path, message));
    }
}

std::unique_ptr<Database> Database::openDefault() { return std::make_unique<Database>(paths::databaseFile()); }

Database::~Database()
{
    if (db_)
        sqlite3_close_v2(db_);
    release();
}

void Database::release()
{
    if (used_.isEmpty())
        return;
    dbuse::connectionClosed(used_);
    used_.clear();
}

void Database::fail(int code) const { throw DbError(code, QString::fromUtf8(sqlite3_errmsg(db_))); }

int Database::exec(const QString& sql, std::initializer_list<QVariant> values)
{
    Statement st(*this, sql);
    st.bindAll(values);
    st.run();
    return sqlite3_changes(db_);
}

Statement Database::prepare(const QString& sql) { return Statement(*this, sql); }

QVariant Database::scalar(const QString& sql, std::initializer_list<QVariant> values)
{
    Statement st(*this, sql);
    st.bindAll(values);
    return st.next() ? st.value(0) : QVariant();
}

bool Database::inTransaction() const { return sqlite3_get_autocommit(db_) == 0; }

qint64 Database::lastInsertRowId() const { return sqlite3_last_insert_rowid(db_); }

void Database::begin() { exec(QStringLiteral("BEGIN IMMEDIATE")); }

void Database::commit() { exec(QStringLiteral("COMMIT")); }

void Database::rollback()
{
    if (!sqlite3_get_autocommit(db_))
        sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

Statement::Statement(Database& db, const QString& sql) : db_(&db)
{
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db.handle(), text.constData(), static_cast<int>(text.size()), &st_, nullptr);
    if (rc != SQLITE_OK)
        throw DbError(rc, QString::fromUtf8(sqlite3_errmsg(db.handle())) + QStringLiteral(" in: ") + sql);
}

Statement::~Statement() { sqlite3_finalize(st_); }

Statement::Statement(Statement&& other) noexcept : db_(other.db_), st_(other.st_) { other.st_ = nullptr; }

Statement& Statement::bind(int index, const QVariant& value)
{
    int rc;
    if (!value.isValid() || value.isNull()) {
        rc = sqlite3_bind_null(st_, index);
    } else {
        switch (value.userType()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            rc = sqlite3_bind_int64(st_, index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(st_, index, value.toDouble());
            break;
        case QMetaType::QDate: {
            const QByteArray iso = value.toDate().toString(Qt::ISODate).toUtf8();
            rc = sqlite3_bind_text(st_, index, iso.constData(), static_cast<int>(iso.size()), SQLITE_TRANSIENT);
            break;
        }
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            rc = sqlite3_bind_blob(st_, index, bytes.constData(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
            break;
        }
        default: {
            const QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text(st_, index, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
            break;
        }
        }
    }
    if (rc != SQLITE_OK)
        throw DbError(rc, QString::fromUtf8(sqlite3_errmsg(db_->handle())));
    return *this;
}

Statement& Statement::bindAll(std::initializer_list<QVariant> values)
{
    int index = 1;
    for (const QVariant& v : values)
        bind(index++, v);
    return *this;
}

Statement& Statement::bindInteger(int index, qint64 value)
{
    const int rc = sqlite3_bind_int64(st_, index, value);
    if (rc != SQLITE_OK)
        throw DbError(rc, QString::fromUtf8(sqlite3_errmsg(db_->handle())));
    return *this;
}

Statement& Statement::bindBlob(int index, const char* data, int size)
{
    const int rc = sqlite3_bind_blob(st_, index, data, size, SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        throw DbError(rc, QString::fromUtf8(sqlite3_errmsg(db_->handle())));
    return *this;
}

QByteArrayView Statement::blob(int column) const
{
    const auto* data = static_cast<const char*>(sqlite3_column_blob(st_, column));
    return QByteArrayView(data, sqlite3_column_bytes(st_, column));
}

bool Statement::next()
{
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    const QString message = QString::fromUtf8(sqlite3_errmsg(db_->handle()));
    sqlite3_reset(st_);
    throw DbError(rc, message);
}

void Statement::run()
{
    while (next()) {
    }
}

void Statement::reset()
{
    sqlite3_reset(st_);
    sqlite3_clear_bindings(st_);
}

int Statement::columnCount() const { return sqlite3_column_count(st_); }

QString Statement::columnName(int column) const { return QString::fromUtf8(sqlite3_column_name(st_, column)); }

bool Statement::isNull(int column) const { return sqlite3_column_type(st_, column) == SQLITE_NULL; }

QVariant Statement::value(int column) const
{
    switch (sqlite3_column_type(st_, column)) {
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(st_, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st_, column));
    case SQLITE_TEXT:
        return QVariant(text(column));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(st_, column));
        return QVariant(QByteArray(data, sqlite3_column_bytes(st_, column)));
    }
    default:
        return QVariant();
    }
}

QString Statement::text(int column) const
{
    const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(st_, column));
    return data ? QString::fromUtf8(data, sqlite3_column_bytes(st_, column)) : QString();
}

qint64 Statement::integer(int column) const { return sqlite3_column_int64(st_, column); }

double Statement::real(int column) const { return sqlite3_column_double(st_, column); }

Transaction::~Transaction()
{
    if (!done_)
        db_.rollback();
}

void Transaction::commit()
{
    db_.commit();
    done_ = true;
}
