#pragma once

#include "support/errors.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <initializer_list>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

// A failed database call, carrying SQLite's (extended) result code.
class DbError : public AppError {
public:
    DbError(int code, const QString& message);
    int code() const { return number(); }
    // The statement itself was refused (syntax, a column, table or index that
    // already exists, a table that does not): SQLite's plain SQLITE_ERROR.
    bool commandRefused() const;
};

class Statement;

// One connection to the encrypted symbol database. Each component opens its
// own and drops it when done; nothing shares one.
class Database {
public:
    enum class Mode { OpenExisting, CreateIfMissing };
    // The program's database is encrypted with its password; other files
    // the program keeps (the quote store) are plain SQLite.
    enum class Key { Program, None };

    // Opens `path` with the database password. Throws DbError when the file
    // is missing (OpenExisting), is no database, or has another password.
    // An existing file is never recreated or written to by the open itself.
    explicit Database(const QString& path, Mode mode = Mode::OpenExisting, Key key = Key::Program);
    // Opens the program's database file.
    static std::unique_ptr<Database> openDefault();
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Runs a statement with bound values; returns the number of changed rows.
    int exec(const QString& sql, std::initializer_list<QVariant> values = {});
    Statement prepare(const QString& sql);
    // First column of the first row, or an invalid QVariant when no row.
    QVariant scalar(const QString& sql, std::initializer_list<QVariant> values = {});
    qint64 lastInsertRowId() const;

    void begin();
    void commit();
    void rollback();
    // A transaction is open (begun and neither committed nor rolled back).
    bool inTransaction() const;

    QString path() const { return path_; }
    sqlite3* handle() const { return db_; }

    static const char* password();

private:
    [[noreturn]] void fail(int code) const;
    void release();
    sqlite3* db_ = nullptr;
    QString path_;
    QString used_;  // the database marked in use by this connection
};

// A prepared statement. Values are bound by position (1-based) or all at once.
class Statement {
public:
    Statement(Database& db, const QString& sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;

    Statement& bind(int index, const QVariant& value);
    Statement& bindAll(std::initializer_list<QVariant> values);
    // Without a QVariant, for statements run millions of times.
    Statement& bindInteger(int index, qint64 value);
    Statement& bindBlob(int index, const char* data, int size);  // copied
    // Steps once; true while a row is ready.
    bool next();
    // Steps to completion (for statements that return no rows).
    void run();
    void reset();

    int columnCount() const;
    QString columnName(int column) const;
    bool isNull(int column) const;
    QVariant value(int column) const;
    QString text(int column) const;
    qint64 integer(int column) const;
    double real(int column) const;
    // The column's bytes, valid until the next step or reset.
    QByteArrayView blob(int column) const;

private:
    Database* db_;
    sqlite3_stmt* st_ = nullptr;
};

// Rolls back unless commit() was called.
class Transaction {
public:
    explicit Transaction(Database& db) : db_(db) { db_.begin(); }
    ~Transaction();
    void commit();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    Database& db_;
    bool done_ = false;
};
