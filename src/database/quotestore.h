#pragma once

#include "core/bar.h"
#include "support/errors.h"

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QVector>
#include <map>
#include <memory>
#include <optional>

class Database;
class Statement;
namespace barpack {
class TextCache;
}

// A quote store that cannot be used: not a store, damaged, from a newer
// version, or a disk that refused the write. The message names the file and
// what the user can do.
class StoreError : public AppError {
public:
    StoreError(int code, const QString& message) : AppError(code, message) {}
};

// Every bar the program accepted, kept apart from the symbol database in a
// plain SQLite file of its own (WAL mode) in the data folder: per symbol and
// day the figures with their exact texts, the source they came from, whether
// the day is provisional or repaired, and for a repaired day the values as
// they were sent. Splits and dividends are kept as events.
//
// Bars are keyed by symbol and day in one table without row ids; the figures
// are packed (see barpack.h), which keeps a bar near 30 bytes on disk.
class QuoteStore {
public:
    static constexpr int kVersion = 1;

    // "quotestore.sqlite" in the data folder.
    static QString defaultPath();

    // Opens the store at `path`, making a new one when there is none. Throws
    // StoreError, without writing anything to the file, when the file is not
    // a quote store, is damaged or was written by a newer version.
    explicit QuoteStore(const QString& path = defaultPath());
    ~QuoteStore();
    QuoteStore(const QuoteStore&) = delete;
    QuoteStore& operator=(const QuoteStore&) = delete;

    QString path() const { return path_; }

    // Writes go in short transactions: begin, put, commit. A write outside
    // one commits on its own.
    void begin();
    void commit();
    void rollback();

    // The source of bars fetched from `host` at `fetched`: one per run and
    // host, made on first use.
    int source(const QString& host, const QDateTime& fetched);
    struct Source {
        QString host;
        QDateTime fetched;  // UTC
    };
    std::optional<Source> sourceInfo(int id);

    // Stores one day of `ticker`, replacing what the store held for it.
    // A repaired bar comes with the values as they were sent; a bar that is
    // not repaired drops the sent values kept for that day.
    void put(const QString& ticker, const core::Bar& bar, int source, const core::Bar* asSent = nullptr);

    // The same for the days of one symbol (ascending by date, as a
    // historical run has them), a month row at a time.
    void putDays(const QString& ticker, const QVector<core::Bar>& days, int source,
                 const QHash<qint32, core::Bar>& asSent = {});

    struct Row {
        core::Bar bar;
        int source = 0;
        std::optional<core::Bar> asSent;  // repaired days
    };
    // The days of `ticker` from `from` to `to` (YYYYMMDD, 0 for open ends),
    // ascending.
    QVector<Row> rows(const QString& ticker, qint32 from = 0, qint32 to = 0);
    QVector<core::Bar> bars(const QString& ticker, qint32 from = 0, qint32 to = 0);
    // Only the days and their flags, from `from` on (0: all): what finding
    // gaps needs, without unpacking a figure.
    struct DayFlags {
        qint32 date = 0;
        quint32 flags = 0;
    };
    QVector<DayFlags> days(const QString& ticker, qint32 from = 0);

    // What the gap filling knows of a day a symbol lacks.
    struct GapState {
        qint32 askedAfter = 0;  // the last session after which it was asked for
        int tries = 0;
        bool settled = false;  // the provider's answer showed no trading that day
    };
    // Every day of `ticker` the gap filling keeps a state for.
    QHash<qint32, GapState> gapStates(const QString& ticker);
    void setGapState(const QString& ticker, qint32 date, const GapState& state);
    // The earliest and the latest stored day of `ticker`, 0 when none.
    qint32 firstDay(const QString& ticker);
    qint32 lastDay(const QString& ticker);

    struct Event {
        qint32 date = 0;
        QString kind;  // "split", "dividend", "capitalGain"
        QString value;
    };
    void putEvent(const QString& ticker, const Event& event);
    QVector<Event> events(const QString& ticker);

    // Moves the bars and events of `oldTicker` to `newTicker`; days the new
    // ticker already holds keep their values.
    void renameSymbol(const QString& oldTicker, const QString& newTicker);

    QStringList tickers();

    struct Summary {
        int symbols = 0;
        qint64 bars = 0;
        qint32 first = 0, last = 0;  // YYYYMMDD
        qint64 bytes = 0;            // the file and its write-ahead log
    };
    Summary summary();
    // SQLite's integrity check: empty when the store is sound, else what it
    // found.
    QStringList check();

    // Days since 1970-01-01 for YYYYMMDD, and back.
    static int dayNumber(qint32 date);
    static qint32 dateOf(int dayNumber);

private:
    struct Entry {
        quint32 flags = 0;
        int source = 0;
        QByteArray figures;
    };
    using Month = std::map<int, Entry>;  // by day of the month
    static bool readMonth(QByteArrayView bytes, Month& out);
    static QByteArray monthBytes(const Month& month);
    static qsizetype entriesInOrder(QByteArrayView bytes, int* last);
    void flush();
    void flushForReading();
    // The month rows of symbol `id` from `firstMonth` to `lastMonth`.
    QVector<std::pair<int, Month>> months(int id, int firstMonth, int lastMonth, bool descending = false,
                                          int limit = -1);

    // With `made`, whether it was made just now.
    int symbolId(const QString& ticker, bool create, bool* made = nullptr);
    static void appendEntry(QByteArray& month, int day, quint32 flags, int source, const core::Bar& bar);
    void run(std::unique_ptr<Statement>& statement, const char* sql);
    void putSent(int id, qint32 date, const core::Bar* asSent);
    [[noreturn]] void failed(const std::exception& e, const QString& doing) const;

    QString path_;
    std::unique_ptr<Database> db_;
    // The ids of every symbol the store holds, read at the first use; a
    // rollback forgets them (an id made in it is gone).
    QHash<QString, int> ids_;
    bool idsRead_ = false;
    void forgetIds();
    QByteArray packed_;     // reused for every put
    bool anySent_ = false;  // the store keeps values as sent of some day
    std::unique_ptr<Statement> insertSent_, deleteSent_, readRow_, writeRow_, insertSymbol_, readRange_, heldMonths_,
        insertRow_, begin_, commit_;
    QByteArray month_;                           // reused for every month row putDays() makes
    std::unique_ptr<barpack::TextCache> texts_;  // the texts bars() read back
    // Days put in the open transaction, by symbol and month: merged into
    // their rows at the commit (or before a read).
    std::map<std::pair<int, int>, Month> pending_;
};
