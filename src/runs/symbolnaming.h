#pragma once

#include "database/lists.h"

#include <QHash>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <vector>

class clsData;
class QuoteClient;
class vraagyahoo;

// Symbols still under the market "Unknown" (as an import leaves them) learn
// their market, their type and, when they have none of their own, their name
// from the quote service at their first download. It happens beside the
// run, through the run's quote client, with the request the symbol search
// checks a symbol with (names and exchanges), for up to 50 symbols a
// request: no quote waits for it. A name the download's answer carries is
// taken from there. A check that fails, or that the service answers with the
// ticker alone, leaves its symbols as they were, to be checked at their next
// download.
class SymbolNaming : public QObject {
    Q_OBJECT
public:
    static constexpr int kPerRequest = 50;
    static constexpr int kMaxInFlight = 2;

    SymbolNaming(QuoteClient& client, clsData& data, QObject* parent = nullptr);
    ~SymbolNaming() override;

    // The run's symbols: those under the market "Unknown" are checked once
    // downloaded.
    void setSymbols(const QVector<lists::Symbol>& symbols);
    // Symbols a download answered, each with the name its answer carries
    // (empty, or the ticker itself, when it carried none). Checks go out for
    // full requests; flush() sends what is left over.
    void downloaded(const QVector<QPair<QString, QString>>& answered);
    void flush();
    // No further check is sent; those on their way end with the run's abort.
    void stop();

    // Nothing waits to be sent and nothing is on its way.
    bool idle() const { return queue_.isEmpty() && checks_.empty(); }
    // Symbols the database took a description of so far.
    int described() const { return described_; }

    // The type of a symbol as its ticker tells it: "Index" for "^...",
    // "Currency" for "...=X", else "Stock" (what the search's symbol check
    // stores with the kind it offers first).
    static QString typeOf(const QString& ticker);

signals:
    // The last check on its way has ended and none waits.
    void idled();

private:
    struct Check {
        QStringList tickers;
        std::unique_ptr<vraagyahoo> query;
    };
    void send();
    void answered(Check* check);
    void store(const Check& check);

    QuoteClient& client_;
    clsData& data_;
    QHash<QString, QString> unknown_;  // the stored ticker, by its upper-case form, until it is queued
    QHash<QString, QString> names_;    // the download's names, by upper-case ticker
    QStringList queue_;
    std::vector<std::unique_ptr<Check>> checks_;  // on their way
    bool flushing_ = false;
    bool stopped_ = false;
    int described_ = 0;
};
