#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

class Database;

// Data access for symbols, markets and the download bookkeeping tables.
// An instance holds one connection of its own for its whole life. Callers set
// the public members, then call an operation; every statement runs under the
// standard error dialog, and Abort leaves the operation with the members as
// they stand.
//
// Tickers go into the database exactly as given (a quote in a ticker is a
// character like any other); names and types are stored with every single
// quote turned into a double quote.
class clsData {
public:
    // Opens the program's database; throws DbError when it cannot.
    clsData();
    ~clsData();
    clsData(const clsData&) = delete;
    clsData& operator=(const clsData&) = delete;

    // Opens an instance under the error dialog; null when the database could
    // not be opened and the user gave up.
    static std::unique_ptr<clsData> open();

    Database& db() { return *db_; }

    // True once the user chose Abort in the error dialog of an operation;
    // loops over many symbols stop then. Cleared by clearAborted().
    bool aborted() const { return aborted_; }
    void clearAborted() { aborted_ = false; }

    // ---- symbol check (set these, call go(), read the results) ----
    bool geentype = false;  // caller has no type: report the stored one instead
    QString tickercode;
    QString fondsnaam;
    QString MarktNaam;  // may be empty; go() replaces it by the derived market
    QString fondstype;

    int marketid = 0;
    QString fondstypedatabase;
    bool marketchanged = false;
    bool namechanged = false;
    bool typechanged = false;
    bool notfound = true;

    void go();
    // Empties the four tables the check fills (newname, newmarket, newtype,
    // newticker); called once before a batch of checks.
    void leegtijdelijk();

    // ---- symbols and markets ----
    bool addgelukt = false;  // the last add changed a row

    void addtodatabase2(const QString& ticker, const QString& name, int marketId, const QString& type);
    // Puts an existing symbol on list `listNumber` (keeping its name, market
    // and type), or adds it with type "Unknown" and on that list.
    void addtodatabase3(const QString& ticker, const QString& name, int marketId, int listNumber);
    // The id of the market "Unknown", created when missing; 0 when that
    // failed.
    int markt0();
    // Renames a symbol and records the change in newtickers. When the new
    // ticker is stored already, that row stays and gains the old row's list
    // memberships, the old row goes, and `successorExisted` is set.
    void changeticker(const QString& oldTicker, const QString& newTicker);
    bool successorExisted = false;
    void removeticker(const QString& ticker);

    // Writes the symbols of list `listNumber` to `fileName`, one line per
    // symbol with the `columns` ("Symbol", "Name", "Market") joined by ",",
    // CR LF line ends, single-byte text. The file appears complete or not at
    // all. Returns the number of rows written; 0 for an empty list (no file,
    // a message says so); -1 when the file could not be written.
    int Export(const QString& fileName, int listNumber, const QStringList& columns);
    // Progress of Export ("Exporting i of n", "n Exported").
    std::function<void(const QString&)> statusText;

    // ---- download bookkeeping ----
    QString historyticker;
    QString historynaam;
    QDate historystartdate;
    QDate historyenddate;
    bool historytimeout = false;
    bool historygelukt = false;
    bool historymislukt = false;

    void tickersmislukt(const QStringList& tickers);
    // Gives symbols that still have no name of their own (the ticker as
    // name, type "Unknown", as an import leaves them) the name the quote
    // service sent: (ticker, name) pairs. Returns how many got one.
    int nameUnnamed(const QVector<QPair<QString, QString>>& names);
    // What the quote service says of a symbol.
    struct Description {
        QString ticker, name, market, type;  // name empty: none known
    };
    // Gives each described symbol that is still under the market "Unknown"
    // (as an import leaves it) its market (derived from the ticker where the
    // ticker tells, as the symbol check derives it; else the one given; else
    // "N/A"), its type, and the name unless it has one of its own (one other
    // than its ticker). One short transaction, without the error dialog: a
    // symbol that cannot be described now stays as it was, and `error` says
    // why. Returns how many symbols changed.
    int describeUnknown(const QVector<Description>& symbols, QString* error = nullptr);
    void voegvervallentoe(const QString& ticker);
    void voegverWorpentoe(const QString& ticker);
    void leegvervallen();  // vervallen and verworpen
    void leegnewtickers();
    void leegnietgelukt();
    void leeghistory();
    // The integrity check's findings: emptied when a run starts, one row
    // per finding (date as YYYYMMDD); written in one transaction, the
    // caller's when one is open.
    struct Finding {
        QString ticker;
        qint32 date = 0;
        QString kind, seen, done;
    };
    void leegfindings();
    void voegfindingstoe(const QVector<Finding>& findings);
    // Records the attempt the history members describe, merging it into an
    // earlier row of the same outcome where the ranges meet.
    void writehistory();

    // ---- settings and MetaStock map ----
    void schrijftimeout();
    void leegmetastock();

private:
    // Runs one statement under the error dialog; false when the user aborted.
    bool step(const std::function<void()>& statement);
    void deriveMarket();
    bool findMarket();
    void checkSymbol();
    bool recordIn(const char* table);
    void markOnce(const char* table, const QString& ticker);
    bool historyFailureMerged();
    bool historySuccessMerged();
    void insertHistory();

    std::unique_ptr<Database> db_;
    bool aborted_ = false;
};

// The market of `ticker` as the symbol check derives it: "Indices" for
// "^...", "Currency" for "...=X", else `given`, else the market of its suffix,
// else "N/A".
QString derivedMarket(const QString& ticker, const QString& given);

// The stored form of a name or type: every single quote becomes a double
// quote.
QString storedText(const QString& text);
