#pragma once

#include <QString>
#include <QStringView>
#include <QTime>

// What the program knows of the exchanges behind the ticker suffixes: the
// time zone and the closing time of a trading day, and the main index whose
// history tells the exchange's sessions when the store has too few of its
// symbols.
namespace exchanges {

struct Exchange {
    const char* suffix;    // "" for the US exchanges
    const char* timeZone;  // IANA name
    QTime close;           // local time
    const char* index;     // the main index's ticker
};

// The exchange of `ticker`: by its suffix (after the last "."; none for the
// US), or, for an index, the exchange whose main index it is. nullptr for a
// currency ("...=X"), an index of no known exchange or an unknown suffix.
const Exchange* ofTicker(QStringView ticker);

// The time of a quote's time field: "4:00pm", "10:35am", "16:00"; invalid
// when unreadable.
QTime quoteTime(QStringView text);

// Whether a quote of `exchange` stamped `localTime` (the exchange's own time)
// was taken before that day's close: its day is provisional. An invalid time
// tells nothing: the day counts as final.
bool beforeClose(const Exchange& exchange, const QTime& localTime);

}  // namespace exchanges
