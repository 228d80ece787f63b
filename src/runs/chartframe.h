#pragma once

#include "writers/storedfiles.h"

#include <QDate>
#include <QSet>
#include <QString>
#include <QVector>

// What the chart of one symbol's stored days shows: the days of the visible
// stretch (a range chosen, zoomed, panned), drawn as at most a few hundred
// bars so a file of decades opens at once; the gaps of more than a week;
// the days the integrity check flagged; the days the file holds with other
// values than the quote store, and the stored days it lacks. The chart
// window draws it.
class Database;

class ChartFrame {
public:
    enum class Range { OneMonth, SixMonths, OneYear, FiveYears, All };

    // A bar is one day, or several consecutive days when the stretch holds
    // more days than bars: open of the first, close of the last, highest
    // high, lowest low, summed volume.
    struct Bar {
        QDate first, last;
        double open = 0, high = 0, low = 0, close = 0, volume = 0;
        bool flagged = false;      // a flagged day among its days
        bool differs = false;      // a day among them the file holds with other values than the store
        bool provisional = false;  // a day among them the store holds as taken before the close
    };
    struct Gap {
        QDate before, after;  // the days either side
    };

    // A gap is more than this many calendar days between two stored days.
    static constexpr int kGapDays = 7;
    // The most bars drawn; a longer stretch is grouped.
    static constexpr int kMaxBars = 400;
    // The fewest days a zoom shows.
    static constexpr int kMinDays = 10;

    // Also forgets the store's differences and provisional days.
    void setSeries(storedfiles::Series series, const QVector<QDate>& flagged = {});
    // The days the file holds with other values than the quote store, and
    // the store's days the file lacks.
    void setStoreDifferences(const QVector<QDate>& differs, QVector<QDate> lacking);
    // The days the quote store holds as provisional: taken before their
    // exchange closed.
    void setProvisional(const QVector<QDate>& days) { provisional_ = QSet<QDate>(days.begin(), days.end()); }
    const storedfiles::Series& series() const { return series_; }
    const QVector<storedfiles::Day>& days() const { return series_.days; }
    bool isEmpty() const { return series_.days.isEmpty(); }

    // The visible stretch: indices into days(), both included.
    int first() const { return first_; }
    int last() const { return last_; }
    int visibleCount() const { return isEmpty() ? 0 : last_ - first_ + 1; }

    // The days up to the last stored day within the range back from it.
    void showRange(Range range);
    // Shows `factor` times as many days (below 1 zooms in), keeping the day
    // at `anchor` (an index) where it is on the screen.
    void zoom(double factor, int anchor);
    void zoom(double factor) { zoom(factor, (first_ + last_) / 2); }
    // Moves the stretch by `days` (positive: later), within the stored days.
    void pan(int days);

    // The bars of the visible stretch, each a day or a group of days.
    QVector<Bar> bars() const;
    // The gaps that end within the visible stretch.
    QVector<Gap> gaps() const;
    // The store's days the file lacks within the visible stretch.
    QVector<QDate> lacking() const;
    // The index of the stored day nearest `date`, or -1 without days.
    int nearest(QDate date) const;
    bool flagged(QDate date) const { return flagged_.contains(date); }
    bool differs(QDate date) const { return differs_.contains(date); }
    bool provisional(QDate date) const { return provisional_.contains(date); }

    // "2024-03-15  O 12.50  H 13.00  L 12.25  C 12.75  V 10500" and the open
    // interest where the format has one; KBF has no open.
    QString describe(int index) const;

private:
    void clampStretch(int count, int anchorIndex, double anchorShare);

    storedfiles::Series series_;
    QSet<QDate> flagged_, differs_, provisional_;
    QVector<QDate> lacking_;  // ascending
    int first_ = 0, last_ = -1;
};

// One symbol's chart as a format stored it: its days, the days the
// integrity check flagged, and where they were read.
namespace chartsource {

struct Loaded {
    storedfiles::Series series;
    QVector<QDate> flagged;
    QString where;  // the file, or the MetaStock folder and data file; empty when there is none
    // Against the quote store (empty without one): the days the file holds
    // with other values, and the stored days it lacks.
    QVector<QDate> differs, lacking;
    // The days the quote store holds as provisional.
    QVector<QDate> provisional;
};

// Reads `ticker`'s days in format `letter` (its name for a long-name file
// from the database), and compares them with the quote store's when there
// is one. A database or store error gives what could be read.
Loaded load(Database& db, QChar letter, const QString& ticker);

}  // namespace chartsource
