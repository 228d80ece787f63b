#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <memory>

class AsyncFetch;

// Reads the quote service's pages of one symbol: whether the service has
// replaced it by another symbol, and from which date on it holds history.
class clsTickeronderzoek {
public:
    QString ticker;

    // Looks for a successor; sets `changed` and, when found, `newticker`.
    // Does nothing while the abort flag is set.
    void go();
    bool changed = false;
    QString newticker;

    // Reads the first date of history into the three fields; false (and the
    // fields unchanged) when the page has none or could not be fetched.
    bool examine();
    qint16 startDatumDay = 0, startDatumMonth = 0, startDatumYear = 0;

    // True when the last page asked for came back empty (no answer, or Stop).
    bool pageMissing = false;
};

// The successor lookup of go() for a caller that goes on while the page is
// on its way: start() returns at once, `finished` comes from the event loop.
// Does nothing but finish while the abort flag is set.
class SuccessorLookup : public QObject {
    Q_OBJECT
public:
    explicit SuccessorLookup(const QString& ticker, QObject* parent = nullptr);
    ~SuccessorLookup() override;

    void start();
    const QString& ticker() const { return ticker_; }
    bool changed() const { return !newticker_.isEmpty(); }
    const QString& newticker() const { return newticker_; }

signals:
    void finished();

private:
    void pageArrived();

    QString ticker_, newticker_;
    std::unique_ptr<AsyncFetch> fetch_;
};

// The examination of the historical-prices page for a caller that goes on
// while the page is on its way: start() returns at once, `finished` comes
// from the event loop.
class HistoryStartExamination : public QObject {
    Q_OBJECT
public:
    explicit HistoryStartExamination(const QString& ticker, QObject* parent = nullptr);
    ~HistoryStartExamination() override;

    void start();
    // The page named a first day of history.
    bool found() const { return found_; }
    // That day; invalid when it names an impossible date (or none).
    QDate first() const { return first_; }
    // False when Stop ended the request.
    bool answered() const { return answered_; }

signals:
    void finished();

private:
    void pageArrived();

    QString ticker_;
    std::unique_ptr<AsyncFetch> fetch_;
    QDate first_;
    bool found_ = false;
    bool answered_ = false;
};
