#include "quotes/historydecode.h"

#include "quotes/csvfields.h"
#include "quotes/currentquotes.h"
#include "support/log.h"
#include "support/state.h"
#include "support/textconv.h"
#include "support/years.h"

#include <QSet>
#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

// A computed price or volume as plain decimal text: no exponent, no
// trailing zeros.
QString decimalText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    QString text = QString::number(value, 'f', 6);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString field(QByteArrayView f)
{
    QString text = QString::fromLatin1(f).trimmed();
    text.remove(QLatin1Char('\n'));
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    return text;
}

int monthNumber(QByteArrayView name)
{
    static const char* const names[] = {"jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov"};
    const QByteArray lower = name.first(std::min<qsizetype>(name.size(), 3)).toByteArray().toLower();
    for (int m = 0; m < 11; ++m) {
        if (lower == names[m])
            return m + 1;
    }
    return 12;
}

// A computed price or volume: its plain text and the number that text reads
// as (what every reader of the text would take).
core::Figure computed(double value)
{
    QString text = decimalText(value);
    const double v = textconv::val(text);
    return core::Figure(std::move(text), v);
}

// Split adjustment: the answer's adjusted close says by how much the day's
// prices must be divided (and its volume multiplied).
void adjustForSplits(core::Bar& r, const QString& adjusted)
{
    const double adj = textconv::val(adjusted);
    if (adjusted == r.close.text || adj <= 0)
        return;
    const double ratio = r.close.value / adj;
    if (ratio == 0)
        return;
    for (core::Figure core::Bar::*price : core::Bar::kPrices)
        r.*price = computed(std::floor((r.*price).value / ratio * 100 + 0.499999999999) / 100);
    r.volume = computed(std::floor(r.volume.value * ratio));
}

void convertToEuro(core::Bar& r, double rate)
{
    WriteLog(QStringLiteral("starting conversion"));
    // Cut to cents, never up; the tiny term keeps 22.0371 / 2.20371 at 10
    // instead of 9.99 through binary rounding.
    for (core::Figure core::Bar::*price : core::Bar::kPrices)
        r.*price = computed(std::floor((r.*price).value * 100 / rate + 1e-9) / 100);
    WriteLog(QStringLiteral("Ending conversion"));
}

// A field of the answer as it is kept.
core::Figure figure(QByteArrayView f)
{
    QString text = field(f);
    const double v = textconv::val(text);
    return core::Figure(std::move(text), v);
}

}  // namespace

QString historyLine(const QString& ticker, const core::Bar& r)
{
    return ticker + QLatin1Char(',') + QString::number(r.date) + QLatin1Char(',') + r.open.text + QLatin1Char(',') +
           r.high.text + QLatin1Char(',') + r.low.text + QLatin1Char(',') + r.close.text + QLatin1Char(',') +
           r.volume.text;
}

QString historyUrl(const QString& host, const QString& ticker, const QDate& start, const QDate& end)
{
    // Put together piece by piece: an encoded ticker holds "%" signs that
    // QString::arg would take for its own markers.
    const auto n = [](int v) { return QString::number(v); };
    const QString url = QStringLiteral("http://") + host + QStringLiteral("/table.csv?s=") +
                        queryText(ticker.toLower()) + QStringLiteral("&a=") + n(start.month() - 1) +
                        QStringLiteral("&b=") + n(start.day()) + QStringLiteral("&c=") + n(start.year()) +
                        QStringLiteral("&d=") + n(end.month() - 1) + QStringLiteral("&e=") + n(end.day()) +
                        QStringLiteral("&f=") + n(end.year()) + QStringLiteral("&y=0&g=d&ignore=.csv");
    return url.toLower();
}

bool badHistoryAnswer(QByteArrayView body, bool timedOut)
{
    return timedOut || body.size() < 50 || body.startsWith('<') || body.contains(QByteArrayView("No Prices"));
}

double euroRate(const QString& ticker)
{
    const qsizetype dot = ticker.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return 0;
    const QString suffix = ticker.mid(dot + 1).toUpper();
    static const struct {
        const char* suffixes;
        double rate;
    } rates[] = {{"AS", 2.20371}, {"VI", 13.7603},       {"BR", 40.3399}, {"DE BE F MU SG BM D H HA", 1.95583},
                 {"MI", 1936.27}, {"MA BC VA", 166.386}, {"LS", 200.482}, {"I", 0.787564}};
    for (const auto& r : rates) {
        if (QString::fromLatin1(r.suffixes).split(QLatin1Char(' ')).contains(suffix))
            return r.rate;
    }
    return 0;
}

qint32 historyDate(QByteArrayView text) { return historyDate(text, 0); }

qint32 historyDate(QByteArrayView text, int nearYear)
{
    const qsizetype dash = text.indexOf('-');
    if (dash < 1 || dash > 2)
        return 0;
    bool ok = false;
    const int day = text.first(dash).toByteArray().toInt(&ok);
    const QByteArrayView rest = text.sliced(dash + 1);
    const qsizetype dash2 = rest.indexOf('-');
    if (!ok || dash2 < 0 || rest.size() < dash2 + 3)
        return 0;
    const QByteArrayView yy = rest.sliced(dash2 + 1, 2);
    if (!std::isdigit(static_cast<unsigned char>(yy[0])) || !std::isdigit(static_cast<unsigned char>(yy[1])))
        return 0;
    const int twoDigits = (yy[0] - '0') * 10 + (yy[1] - '0');
    int year = expandTwoDigitYear(twoDigits);
    if (nearYear > 0) {
        year = nearYear - nearYear % 100 + twoDigits;
        if (year > nearYear + 50)
            year -= 100;
        else if (year <= nearYear - 50)
            year += 100;
    }
    const int month = monthNumber(rest.first(dash2));
    if (!QDate::isValid(year, month, day))
        return 0;
    return year * 10000 + month * 100 + day;
}

QVector<HistorySplit> decodeSplits(QByteArrayView body, const HistoryDecodeOptions& options)
{
    QVector<HistorySplit> splits;
    const int nearYear = !options.last.isValid()    ? 0
                         : !options.first.isValid() ? options.last.year()
                                                    : (options.first.year() + options.last.year()) / 2;
    for (qsizetype at = body.indexOf(QByteArrayView("Split,")); at >= 0;
         at = body.indexOf(QByteArrayView("Split,"), at + 1)) {
        if (at > 0 && body[at - 1] != '\n')
            continue;
        qsizetype end = body.indexOf('\n', at);
        if (end < 0)
            end = body.size();
        const csv::Fields f = csv::splitFields(body.sliced(at, end - at));
        if (f.size() < 3)
            continue;
        const qint32 date = historyDate(f[1], nearYear);
        const QByteArrayView ratio = f[2];
        const qsizetype colon = ratio.indexOf(':');
        if (date == 0 || colon <= 0)
            continue;
        bool okN = false, okD = false;
        const double n = ratio.first(colon).toDouble(&okN);
        const double d = ratio.sliced(colon + 1).trimmed().toDouble(&okD);
        if (okN && okD && n > 0 && d > 0)
            splits.append({date, n / d});
    }
    return splits;
}

QVector<core::Bar> decodeHistory(QByteArrayView body, const QString& ticker, const HistoryDecodeOptions& options)
{
    WriteLog(QStringLiteral("Decoding raw data"));
    // The header names its columns; without Volume every day has volume 0.
    const bool hasVolume = body.indexOf(QByteArrayView("Volume")) >= 1;
    const double rate = options.euro ? euroRate(ticker) : 0;
    const bool indexOrCurrency = ticker.startsWith(QLatin1Char('^')) || ticker.toUpper().contains(QLatin1String("=X"));

    // A long history makes many lines; their texts are built only for the log.
    const bool logging = settings().teller4 != 0;
    QVector<QByteArrayView> lines;
    for (qsizetype from = 0; from <= body.size();) {
        qsizetype lf = body.indexOf('\n', from);
        if (lf < 0)
            lf = body.size();
        lines.append(body.sliced(from, lf - from));
        from = lf + 1;
    }
    // The century that puts a year nearest the middle of the range asked.
    const int nearYear = !options.last.isValid()    ? 0
                         : !options.first.isValid() ? options.last.year()
                                                    : (options.first.year() + options.last.year()) / 2;
    const qint32 lastDate =
        options.last.isValid() ? options.last.year() * 10000 + options.last.month() * 100 + options.last.day() : 0;
    QSet<qint32> dates;  // taken so far; the walk meets the later row of a date first
    QVector<core::Bar> records;
    records.reserve(lines.size());
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        // The gateway's count of the days it left out for lack of prices.
        if (lines[i].startsWith(QByteArrayView("Left out,"))) {
            WriteLog(ticker + QStringLiteral(": ") + QString::fromLatin1(lines[i]));
            continue;
        }
        const csv::Fields f = csv::splitFields(lines[i]);
        if (f.size() < 5 || !f[0].contains('-'))
            continue;
        if (logging)
            WriteLog(QString::fromLatin1(lines[i]));
        core::Bar r;
        r.date = historyDate(f[0], nearYear);
        if (r.date == 0 || (lastDate != 0 && r.date > lastDate) || dates.contains(r.date))
            continue;
        dates.insert(r.date);
        r.open = figure(f[1]);
        r.high = figure(f[2]);
        r.low = figure(f[3]);
        r.close = figure(f[4]);
        r.volume = hasVolume && f.size() > 5 ? figure(f[5]) : core::Figure(QStringLiteral("0"), 0);
        for (core::Figure* price : {&r.open, &r.high, &r.low}) {
            if (price->value == 0)
                *price = r.close;
        }
        if (options.split && f.size() == 7)
            adjustForSplits(r, field(f[6]));
        if (rate > 0 && r.date / 10000 < 1999)
            convertToEuro(r, rate);
        if (logging)
            WriteLog(QStringLiteral("Decoded ") + historyLine(ticker, r));
        r.set(core::Bar::Refused, options.reject && r.volume.value == 0 && !indexOrCurrency);
        records.append(std::move(r));
    }
    return records;
}
