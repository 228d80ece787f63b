#pragma once

#include "fakeservice.h"

#include <QDate>

// Daily histories as the chart host sends them ("/table.csv"): a header,
// then one line per weekday, newest first, dates as D-Mon-YY. Every symbol
// has prices of its own, so no two symbols get the same answer.
namespace fakehistory {

// The range a "/table.csv" request asks for (months zero-based).
bool range(const FakeQuoteService::Request& request, QDate* start, QDate* end);

// The answer for `symbol` from `start` to `end`, with an adjusted close.
QByteArray answer(const QByteArray& symbol, const QDate& start, const QDate& end);

// The close of `symbol` on `day`, as the answer writes it ("40.10").
QByteArray close(const QByteArray& symbol, const QDate& day);

// Answers every "/table.csv" request with answer(); "No Prices in this date
// range" when the range holds no weekday.
std::function<std::optional<FakeQuoteService::Reply>(const FakeQuoteService::Request&)> responder();

// Answers every "/table.csv" request with answer() up to `last` at most, as a
// service does that has no history of today yet.
std::function<std::optional<FakeQuoteService::Reply>(const FakeQuoteService::Request&)>
responderUntil(const QDate& last);

}  // namespace fakehistory
