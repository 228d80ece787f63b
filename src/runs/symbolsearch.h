#pragma once

#include "database/lists.h"
#include "quotes/quoteclient.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>

class SearchyahooClass;

// What the symbol search window does, without the window: the search on the
// quote service (by name, exact symbol or index members) with its paging,
// the comparison of every hit with the database, the search in the local
// database, and adding hits to the database and to lists. The headless
// "search" and "members" commands run the same object. A search on the
// service is answered from the event loop with `searched`.
class SymbolSearch : public QObject {
    Q_OBJECT
public:
    explicit SymbolSearch(QObject* parent = nullptr);
    ~SymbolSearch() override;

    // One hit of the service, as the result grid shows it.
    struct Hit {
        QString ticker, name, market, type;
        QString inDatabase;   // "Yes", "No", or the corrections made
        bool stored = false;  // the symbol is in the database
        int marketId = 0;
    };

    // Kind of security as the chooser offers it: 0 stocks, 1 funds, 2 indices;
    // -1 for none chosen.
    static QString kindText(int index);

    // ---- search on the quote service ----
    QString text;        // name or symbol
    bool us = false;     // US and Canada only
    bool exact = false;  // exact symbol
    QString kind = QStringLiteral("Stocks");
    QString components;  // index whose members are shown; empty for a search
    int memberOffset = 0;
    int firstticker = 1;

    // Starts the search with the inputs above (text, or components when
    // set); the results below are there when `searched` comes.
    void internetsearch();
    // Start the next and previous page of the last search; false (and
    // nothing started) when there is none.
    bool next50();
    bool previous50();

    QVector<Hit> hits;
    bool answered = true;  // false: the service could not be reached
    QString summary;       // the text of the results frame
    // Beside " Returned No Results": whether the service could not be
    // reached, answered with something unusable, or answered with no match.
    QString problem;
    int from = 0, to = 0, results = 0;
    bool canNext = false, canPrevious = false;

    // ---- search in the local database ----
    // The LIKE pattern of a local name search for `text`.
    static QString likePattern(const QString& text, bool byName);
    QVector<lists::Symbol> localsearch(const QString& text, bool byName);

    // ---- adding ----
    // Adds every hit not yet in the database; returns how many were tried.
    int addAll();
    // Adds the hits at `rows` not yet in the database; returns how many
    // were added.
    int addSelected(const QVector<int>& rows);
    // Adds the hits at `rows` to the database where needed and puts them on
    // list n; returns the message to show.
    QString lijsttoevoegen2(const QVector<int>& rows, int n);
    // Puts symbols of the database on list n; returns the message to show.
    static QString lijsttoevoegen(const QStringList& tickers, int n);

signals:
    void searched();

private:
    void searchAnswered();
    void readAnswer();
    void compareWithDatabase();
    bool memberList() const { return !components.isEmpty(); }

    QuoteClient client_;
    std::unique_ptr<SearchyahooClass> search_;
    bool searching_ = false;
    bool again_ = false;  // asked again while searching
};
