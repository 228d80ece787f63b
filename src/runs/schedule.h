#pragma once

#include <QDateTime>
#include <QTime>
#include <array>

// One list's place in the daily download schedule. Times are whole minutes.
struct ListSchedule {
    bool on = false;               // the list takes part
    QTime start = QTime(0, 0);     // first download of the day
    QTime end = QTime(0, 0);       // no repeated download at or after this time
    QTime interval = QTime(0, 0);  // hours and minutes between repeated downloads; 00:00 none
};

// The schedule of the sixteen lists and the options that hold for all of
// them, with the rules that place a list's downloads on the time line.
struct Schedule {
    std::array<ListSchedule, 17> lists;  // 1..16; 0 unused
    bool useInterval = false;            // repeat downloads between start and end
    bool weekdaysOnly = false;           // moments moved to a later day skip the weekend
    bool disconnectSchedule = false;     // run the disconnect command after a tick that downloaded
    bool disconnectNormal = false;       // ... after a normal download

    // The lists as the start-up loaded them, the options from the settings store.
    static Schedule load();
    // Into the process-wide values and the settings store.
    void save() const;

    // Sets a list's times as the pickers do: an end time not after the start
    // time becomes the start time.
    void setTimes(int n, const QTime& start, const QTime& end, const QTime& interval);

    // The first download moment of list n for a scheduler started at `now`:
    // today at the start time (also when that has passed, so the list is due
    // at once), or the next day once today's end time has passed with the
    // interval in use.
    QDateTime firstDownload(int n, const QDateTime& now) const;

    // The moment after the download that was due at `due`, seen at `now`:
    // `due` plus the interval while that stays before the end time on the
    // same day, otherwise the next day at the start time. A moment that has
    // already passed (a late start, a run longer than the interval) gives way
    // to the first moment of the list's day that lies after `now`, so a late
    // scheduler does not download the same list at every tick.
    QDateTime nextDownload(int n, const QDateTime& due, const QDateTime& now) const;

    // When list n is next downloaded, seen at `now`, by a scheduler whose
    // moment for it is `exact` (its first download when none is running): a
    // moment already passed is due at once, shown as "now"; any other in
    // the user's short date and the time to the minute, or in `format`. The
    // window, the start page and the schedule command all show this.
    static QString momentText(const QDateTime& exact, const QDateTime& now, const QString& format = {});

private:
    QDateTime firstAfter(int n, const QDateTime& now) const;
    QDate skipWeekend(QDate day) const;
};

// True when the time of day of `a` is not earlier than that of `b` (hours,
// minutes and seconds; dates ignored). Equal times give true.
bool TimeNotBefore(const QTime& a, const QTime& b);
