#pragma once

#include <QDate>
#include <QString>

// A bar's date is a number YYYYMMDD; these turn it into a QDate and text, and back.
namespace core {

inline QDate dateOf(qint32 yyyymmdd) { return QDate(yyyymmdd / 10000, yyyymmdd / 100 % 100, yyyymmdd % 100); }
inline qint32 dateNumber(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

// "YYYY-MM-DD"; empty for 0 or a number that is no date.
inline QString isoDate(qint32 yyyymmdd) { return dateOf(yyyymmdd).toString(Qt::ISODate); }

}  // namespace core
