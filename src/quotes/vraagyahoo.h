#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// Asks the quote service for the names and exchanges of a list of tickers,
// or for the members of an index, fifty at a time from `vanafwaarzoeken`.
// Created for one query: set the members, call go, read the results.
class vraagyahoo {
public:
    QStringList tickers;
    bool getname = false;
    bool getmarket = false;
    bool getquotes = false;   // asks for quote fields too; they are not decoded
    QString getcomponents;    // the index symbol; empty for a ticker query
    int vanafwaarzoeken = 0;  // offset of the first member

    void go();

    // The request go sends.
    QString url() const;

    QVector<QString> yahooticker, yahooname, yahoomarket;
    bool Busy = false;
    bool answered = true;  // false when the service could not be reached or answered with a page
    QString problem;       // why nothing usable came (FetchResult::problemText)
};
