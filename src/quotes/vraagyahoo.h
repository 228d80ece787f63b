#pragma once

#include "quotes/fetch.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <optional>

class QuoteClient;

// Asks the quote service for the names and exchanges of a list of tickers,
// or for the members of an index, fifty at a time from `vanafwaarzoeken`.
// Set the members, call go, read the results once `done` has come.
class vraagyahoo : public QObject {
    Q_OBJECT
public:
    explicit vraagyahoo(QuoteClient& client, QObject* parent = nullptr);
    ~vraagyahoo() override;

    QStringList tickers;
    bool getname = false;
    bool getmarket = false;
    bool getquotes = false;   // asks for quote fields too; they are not decoded
    QString getcomponents;    // the index symbol; empty for a ticker query
    int vanafwaarzoeken = 0;  // offset of the first member
    // How the request is fetched; the lookup's policy when not set.
    std::optional<FetchPolicy> policy;

    // Sends the query and returns; `done` follows from the event loop.
    void go();

    // The request go sends.
    QString url() const;

    QVector<QString> yahooticker, yahooname, yahoomarket;
    bool Busy = false;
    bool answered = true;  // false when the service could not be reached or answered with a page
    QString problem;       // why nothing usable came (FetchResult::problemText)

signals:
    void done();

private:
    void send();
    void fetched();

    QuoteClient& client_;
    FetchRequest request_;
    std::unique_ptr<AsyncFetch> fetch_;
    std::unique_ptr<AsyncFetch> done_;  // the last answered fetch
    bool askedAgain_ = false;
};
