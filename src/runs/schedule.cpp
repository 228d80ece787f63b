#include "runs/schedule.h"

#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"

#include <QLocale>

namespace {
// Window-wide options of the schedule and their keys in the settings store,
// stored as "1" or "0".
const struct {
    const char* key;
    bool Schedule::*member;
} kOptions[] = {
    {"Interval", &Schedule::useInterval},
    {"disconnectschedule", &Schedule::disconnectSchedule},
    {"weekend", &Schedule::weekdaysOnly},
    {"disconnectnormal", &Schedule::disconnectNormal},
};

QTime wholeMinutes(const QTime& t) { return t.isValid() ? QTime(t.hour(), t.minute()) : QTime(0, 0); }

bool weekend(const QDate& day) { return day.dayOfWeek() >= 6; }

QString key(const char* base, int n) { return QLatin1String(base) + QString::number(n); }
}  // namespace

bool TimeNotBefore(const QTime& a, const QTime& b)
{
    if (a.hour() != b.hour())
        return a.hour() > b.hour();
    if (a.minute() != b.minute())
        return a.minute() > b.minute();
    return a.second() >= b.second();
}

Schedule Schedule::load()
{
    const ProgramSettings& s = settings();
    Schedule schedule;
    for (int n = 1; n <= 16; ++n) {
        ListSchedule& l = schedule.lists[n];
        l.on = s.sList[n];
        l.start = wholeMinutes(s.tList[n]);
        l.end = wholeMinutes(s.eList[n]);
        l.interval = wholeMinutes(s.iList[n]);
    }
    for (const auto& option : kOptions) {
        const QString text = store::read(QLatin1String(option.key), QStringLiteral("0"));
        schedule.*option.member = textconv::toBool(text).value_or(false);
    }
    return schedule;
}

void Schedule::save() const
{
    ProgramSettings& s = settings();
    for (int n = 1; n <= 16; ++n) {
        const ListSchedule& l = lists[n];
        s.sList[n] = l.on;
        s.tList[n] = l.start;
        s.eList[n] = l.end;
        s.iList[n] = l.interval;
        store::write(key("SList", n), textconv::fromBool(l.on));
        store::write(key("TList", n), textconv::fromTime(l.start));
        store::write(key("EList", n), textconv::fromTime(l.end));
        store::write(key("IList", n), textconv::fromTime(l.interval));
    }
    for (const auto& option : kOptions)
        store::write(QLatin1String(option.key), this->*option.member ? QStringLiteral("1") : QStringLiteral("0"));
    store::sync();
}

void Schedule::setTimes(int n, const QTime& start, const QTime& end, const QTime& interval)
{
    ListSchedule& l = lists[n];
    l.start = wholeMinutes(start);
    l.end = wholeMinutes(end);
    l.interval = wholeMinutes(interval);
    if (TimeNotBefore(l.start, l.end))
        l.end = l.start;
}

QDate Schedule::skipWeekend(QDate day) const
{
    if (!weekdaysOnly)
        return day;
    // Saturday moves on twice, Sunday once: both end on Monday.
    for (int i = 0; i < 2 && weekend(day); ++i)
        day = day.addDays(1);
    return day;
}

QDateTime Schedule::firstDownload(int n, const QDateTime& now) const
{
    const ListSchedule& l = lists[n];
    QDate day = now.date();
    if (useInterval && !TimeNotBefore(l.end, now.time()))
        day = day.addDays(1);
    if (day != now.date())
        day = skipWeekend(day);
    return QDateTime(day, l.start);
}

QString Schedule::momentText(const QDateTime& exact, const QDateTime& now, const QString& format)
{
    if (!exact.isValid())
        return {};
    if (exact <= now)
        return QStringLiteral("now");
    if (!format.isEmpty())
        return exact.toString(format);
    return QLocale().toString(exact.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           exact.time().toString(QStringLiteral("HH:mm"));
}

QDateTime Schedule::nextDownload(int n, const QDateTime& due, const QDateTime& now) const
{
    const ListSchedule& l = lists[n];
    int minutes = due.time().minute() + l.interval.minute();
    int hours = due.time().hour() + l.interval.hour();
    if (minutes >= 60) {
        minutes -= 60;
        ++hours;
    }
    const bool sameDay = due.date() == now.date();
    bool tomorrow = hours > 23 || !sameDay || !useInterval || l.interval == QTime(0, 0);
    QDateTime next;
    if (!tomorrow) {
        next = QDateTime(due.date(), QTime(hours, minutes));
        tomorrow = TimeNotBefore(next.time(), l.end);
    }
    if (tomorrow)
        next = QDateTime(skipWeekend(due.date().addDays(1)), l.start);
    if (next <= now)
        next = firstAfter(n, now);
    return next;
}

QDateTime Schedule::firstAfter(int n, const QDateTime& now) const
{
    const ListSchedule& l = lists[n];
    const int start = l.start.hour() * 60 + l.start.minute();
    const int step = l.interval.hour() * 60 + l.interval.minute();
    const int end = l.end.hour() * 60 + l.end.minute();
    // Today always counts; a later day only when the weekend rule allows it.
    // Within a week a day with a start time always comes.
    for (QDate day = now.date(); day <= now.date().addDays(7); day = day.addDays(1)) {
        if (day != now.date() && weekdaysOnly && weekend(day))
            continue;
        for (int m = start; m < 24 * 60; m += step) {
            if (m != start && m >= end)
                break;
            const QDateTime moment(day, QTime(m / 60, m % 60));
            if (moment > now)
                return moment;
            if (!useInterval || step == 0)
                break;
        }
    }
    return QDateTime(now.date().addDays(1), l.start);  // not reached
}
