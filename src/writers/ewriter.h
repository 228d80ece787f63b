#pragma once

#include "core/bar.h"
#include "quotes/currentquotes.h"

#include <QDate>
#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <memory>

class XlsBook;
class Workbooks;

// The Excel writer: appends one worksheet row per quote to the workbook
// `filename` (columns A to H: ticker, name, date, open, high, low, close,
// volume) and writes the workbook to disk.
//
// Use: set `filename` (in the workbooks of its owner), then the rows (from a current run's quotes or a
// history block's days; or, as texts, the eight arrays ytickers ... yvolume,
// parallel, one element per quote, or `raw` with `HName`), then call go(). go() takes the rows at once and returns; the
// file is written from the event loop, and Busy() stays true until that write has ended (callers that need it wait,
// yielding, for !Busy()). `done` is emitted then. A workbook whose save takes long is saved less often: flush() writes
// what is not on disk yet, and a run calls it at its end.
//
// Every ewriter given the same Workbooks and filename adds to the same
// workbook, in the order of their go() calls; each write replaces the file
// whole (temporary file, then rename), so the file always holds a complete
// workbook. The workbook is kept in memory while a writer of it lives (see
// Workbooks for how long else); a writer given any other file that no writer
// holds starts that file afresh. A write that fails is reported through the error dialog; after
// it the writer takes no more rows for that workbook.
class ewriter : public QObject {
    Q_OBJECT
public:
    explicit ewriter(QObject* parent = nullptr);
    ~ewriter() override;

    void filename(const QString& path, Workbooks& books);
    QString filename() const { return filename_; }

    // The quotes of a current run's batch, one row each: a price as its
    // number, the volume as the plain text of its number.
    void rows(const QVector<CurrentQuote>& quotes);
    // The days of one symbol's history, `ticker` and `name` on every row: a
    // price as the number its text is (a text that is no number stays text),
    // the volume as sent.
    void rows(const QString& ticker, const QString& name, const QVector<core::Bar>& days);

    // Parallel arrays of one batch; setting them leaves raw mode.
    void ytickers(const QStringList& v);
    void yname(const QStringList& v) { name_ = v; }
    void ydate(const QStringList& v) { date_ = v; }
    void yopen(const QStringList& v) { open_ = v; }
    void yhigh(const QStringList& v) { high_ = v; }
    void ylow(const QStringList& v) { low_ = v; }
    void yclose(const QStringList& v) { close_ = v; }
    void yvolume(const QStringList& v) { volume_ = v; }

    // Raw mode: lines separated by CR LF, each "ticker,date,open,high,low,
    // close,volume"; a line counts when it has at least two fields and a
    // ticker. Column B is then HName on every row.
    void raw(const QString& block);
    void HName(const QString& name) { hname_ = name; }

    void go();
    bool Busy() const { return busy_; }
    // Writes the rows of this workbook that are not on disk yet, at once.
    // False when the workbook could not be written (reported).
    bool flush();

    // The rows of this workbook that are on disk, and its sheet count.
    int rowsSaved() const;
    int sheets() const;
    // True once a write of this workbook failed.
    bool failed() const;

    // The name Workbooks::create() would take, without writing anything.
    static QString workbookName(bool historical, const QDate& day = QDate::currentDate());

    // Whether format E can be written: the folder (default: the Excel
    // folder of the settings) exists and a file can be created in it.
    static bool engineTest(const QString& folder = QString());

    // A price text as a number: "," read as ".", blanks around ignored.
    // False for a text that is no number.
    static bool priceValue(const QString& text, double* value);

    // The workbook shared by the writers of one file (internal).
    struct Book;

signals:
    void done(bool ok);

private:
    void write();

    QString filename_;
    std::shared_ptr<Book> book_;
    QStringList tickers_, name_, date_, open_, high_, low_, close_, volume_;
    QVector<CurrentQuote> quotes_;  // a batch's rows, in place of the texts
    QString hname_;
    bool raw_ = false;
    bool busy_ = false;
    QTimer timer_;
};

// The Excel workbooks of one owner (a run's Excel format): the writers it
// gives them to share the workbook of a file name. The last workbook
// create() made for each kind of run stays in memory with its owner, so a
// writer made later for the same file continues it instead of starting the
// file afresh; the others live as long as a writer of theirs.
class Workbooks {
public:
    Workbooks();
    ~Workbooks();
    Workbooks(const Workbooks&) = delete;
    Workbooks& operator=(const Workbooks&) = delete;

    // A new, empty workbook under the first free name of the Excel folder:
    // "quotesYYYYMMDD-n.xls" for a current run, "history-n.xls" for a
    // historical one, n from 1 to 5000 (an empty file counts as free).
    // Returns its path; empty when every name is taken. Throws FileError
    // when the workbook cannot be written.
    QString create(bool historical, const QDate& day = QDate::currentDate());

private:
    friend class ewriter;
    // The workbook of `path`: the one a writer or create() holds, else a
    // new one.
    std::shared_ptr<ewriter::Book> open(const QString& path);

    QHash<QString, std::weak_ptr<ewriter::Book>> open_;
    std::shared_ptr<ewriter::Book> lastMade_[2];  // current, historical
};
