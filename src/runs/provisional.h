#pragma once

#include "quotes/currentquotes.h"

#include <QString>
#include <QVector>

// Which days of a current-quote answer are provisional: taken before their
// exchange closed. Judged only by the times the answer carries (the quote's
// date and time field), never by this machine's clock, so that the same
// answer replayed later flags the same days.
namespace provisional {

// Whose clock an answer's date and time fields follow.
enum class Clock {
    UsEastern,      // a legacy quote host: every quote in New York time
    ExchangeLocal,  // the built-in gateway: each quote in its exchange's time
};

// The clock of an answer fetched from `url`: the gateway's while it runs at
// the URL's host and port, else the legacy service's.
Clock clockOf(const QString& url);

// The day of `quote` in its exchange's zone: its date and time fields read
// on `clock` and taken to that zone. A legacy host dates every quote in New
// York, so a Sydney quote taken during its session carries the day before
// its own. The date field as it is for a quote without a readable time or
// of no known exchange.
qint32 localDay(const CurrentQuote& quote, Clock clock);

// Puts every quote of one answer on its exchange's own day (localDay) and
// sets or clears its Provisional flag. A quote
// is provisional when its time, in its exchange's zone, lies before that
// exchange's close on the quote's day. Final are: a quote without a readable
// time, one of no known exchange (currencies, unknown suffixes), and one
// whose day lies before the answer's own day in that exchange's zone (the
// answer's day being that of the latest time among its quotes): that day
// is over whatever the time says. Called before anything compares the
// quotes with stored days.
void mark(QVector<CurrentQuote>& quotes, Clock clock);

}  // namespace provisional
