#include "writers/metaclass.h"

#include "mslink/error.h"
#include "mslink/reader.h"
#include "mslink/writer.h"
#include "support/log.h"
#include "support/textconv.h"
#include "writers/classzoekmetastock.h"
#include "writers/metastockrun.h"

#include <algorithm>
#include <charconv>
#include <map>

namespace {

constexpr qint32 kNoon = 120000;

QString values(qint32 date, float o, float h, float l, float c, float v)
{
    return QStringLiteral(" %1 %2 %3 %4 %5 %6")
        .arg(date)
        .arg(o)
        .arg(h)
        .arg(l)
        .arg(c)
        .arg(static_cast<double>(v), 0, 'f', 0);
}

float number(const QString& text)
{
    return static_cast<float>(textconv::val(QString(text).replace(QLatin1Char(','), QLatin1Char('.'))));
}

// Selects `ticker` (its data file `file` when the map knows it), adding it
// when the map's folder no longer holds it.
void selectOrAdd(mslink::Writer& w, const QString& ticker, const QString& name, const QString& file)
{
    try {
        w.selectSecurity(ticker, file);
    } catch (const mslink::Error& e) {
        if (e.code() != mslink::ErrorCode::NoSecurity)
            throw;
        w.addSecurity(ticker, name, 1);
    }
}

}  // namespace

void metaclass::NaamHistorie(const QString& name)
{
    WriteLog(QStringLiteral("historical name: ") + name);
    historyName_ = name;
}

void metaclass::GeefHistorieticker(const QString& ticker)
{
    WriteLog(QStringLiteral("historical ticker"));
    historyTicker_ = ticker.trimmed();
}

void metaclass::ticker(const QString& value)
{
    WriteLog(QStringLiteral("Ticker: ") + value);
    ticker_ = value.trimmed();
}

void metaclass::tdate(qint32 value)
{
    WriteLog(QStringLiteral("Date: ") + QString::number(value));
    date_ = value;
}

void metaclass::topen(double value)
{
    WriteLog(QStringLiteral("Open: ") + QString::number(value));
    open_ = static_cast<float>(value);
}

void metaclass::thigh(double value)
{
    WriteLog(QStringLiteral("High: ") + QString::number(value));
    high_ = static_cast<float>(value);
}

void metaclass::tlow(double value)
{
    WriteLog(QStringLiteral("Low: ") + QString::number(value));
    low_ = static_cast<float>(value);
}

void metaclass::tclose(double value)
{
    WriteLog(QStringLiteral("Close: ") + QString::number(value));
    close_ = static_cast<float>(value);
}

void metaclass::tvolume(double value)
{
    WriteLog(QStringLiteral("Volume: ") + QString::number(value, 'f', 0));
    volume_ = static_cast<float>(value);
}

void metaclass::tname(const QString& value)
{
    WriteLog(QStringLiteral("Name: ") + value);
    name_ = value;
}

void metaclass::setQuote(const Quote& q)
{
    tname(q.name);
    ticker(q.ticker);
    tdate(q.date);
    topen(number(q.open));
    thigh(number(q.high));
    tlow(number(q.low));
    tclose(number(q.close));
    tvolume(number(q.volume));
}

void metaclass::setBar(const QString& ticker, const QString& name, const core::Bar& bar)
{
    tname(name);
    this->ticker(ticker);
    tdate(bar.date);
    topen(static_cast<float>(bar.open.value));
    thigh(static_cast<float>(bar.high.value));
    tlow(static_cast<float>(bar.low.value));
    tclose(static_cast<float>(bar.close.value));
    tvolume(static_cast<float>(bar.volume.value));
}

StepOutcome metaclass::go()
{
    if (cancel_ && cancel_->cancelled())
        return StepOutcome::Ignored;
    classzoekmetastock find(run_);
    find.cancelWith(cancel_);
    find.ticker(ticker_);
    find.tickername(name_);
    find.go();
    const QString folder = find.gevonden();
    const QString file = find.dataFile();
    if (folder.isEmpty() || date_ == 0)
        return StepOutcome::Ignored;

    // A missing open, high or low takes the close.
    for (float* price : {&open_, &high_, &low_}) {
        if (*price == 0.0f)
            *price = close_;
    }
    return metastock::step(run_, folder, [&] {
        mslink::Writer w;
        w.openFolder(folder, &run_.session);
        selectOrAdd(w, ticker_, name_, file);
        if (w.recordExists(date_)) {
            mslink::Reader r;
            r.openFolder(folder, &run_.session);
            r.findSecurity(ticker_, w.selectedDataFile());
            r.seekDate(QString::number(date_));
            r.goToFoundRecord();
            const float stored = r.currentRecordVolume();
            r.closeFolder();
            // A larger stored volume is the later quote of that day: keep it.
            if (!(stored > volume_)) {
                try {
                    w.changeRecord(date_, date_, kNoon, open_, high_, low_, close_, volume_, 0);
                } catch (const mslink::Error& e) {
                    if (e.code() != mslink::ErrorCode::NoRecord)
                        throw;
                    w.appendRecord(date_, kNoon, open_, high_, low_, close_, volume_, 0);
                    w.reorder();
                }
                w.flush();
                WriteLog(QStringLiteral("change ") + ticker_ + values(date_, open_, high_, low_, close_, volume_));
            }
        } else {
            w.appendRecord(date_, kNoon, open_, high_, low_, close_, volume_, 0);
            w.flush();
            WriteLog(QStringLiteral("append ") + ticker_ + values(date_, open_, high_, low_, close_, volume_));
        }
        w.closeSecurity();
        w.release();
    });
}

void metaclass::raw(const QString& block)
{
    block_.clear();
    std::map<qint32, mslink::Record> byDate;
    auto value = [](QStringView field) {
        char buffer[64];
        const QStringView t = field.trimmed();
        const qsizetype n = std::min<qsizetype>(t.size(), sizeof buffer);
        for (qsizetype i = 0; i < n; ++i)
            buffer[i] = t[i].unicode() < 0x80 ? static_cast<char>(t[i].unicode()) : '?';
        double v = 0;
        std::from_chars(buffer, buffer + n, v);
        return v;
    };
    auto price = [&value](QStringView field) { return static_cast<float>(value(field)); };
    for (QStringView line : QStringView(block).tokenize(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QStringView f[7];
        int n = 0;
        for (QStringView field : line.trimmed().tokenize(QLatin1Char(','))) {
            if (n == 7)
                break;
            f[n++] = field;
        }
        if (n < 7)
            continue;
        const int date = static_cast<int>(value(f[1]));
        if (date < 19000101 || date > 99991231)
            continue;
        mslink::Record r;
        r.date = date;
        r.time = kNoon;
        r.close = price(f[5]);
        r.open = price(f[2]);
        r.high = price(f[3]);
        r.low = price(f[4]);
        for (float* missing : {&r.open, &r.high, &r.low}) {
            if (*missing == 0.0f)
                *missing = r.close;
        }
        r.volume = price(f[6]);
        byDate[r.date] = r;  // a date twice: the later line holds
    }
    setBlock(byDate);
}

void metaclass::days(const QVector<core::Bar>& days)
{
    std::map<qint32, mslink::Record> byDate;
    for (const core::Bar& d : days) {
        if (d.date < 19000101 || d.date > 99991231)
            continue;
        mslink::Record r;
        r.date = d.date;
        r.time = kNoon;
        r.close = static_cast<float>(d.close.value);
        r.open = static_cast<float>(d.open.value);
        r.high = static_cast<float>(d.high.value);
        r.low = static_cast<float>(d.low.value);
        for (float* missing : {&r.open, &r.high, &r.low}) {
            if (*missing == 0.0f)
                *missing = r.close;
        }
        r.volume = static_cast<float>(d.volume.value);
        byDate[r.date] = r;  // a date twice: the later day holds
    }
    setBlock(byDate);
}

void metaclass::setBlock(const std::map<qint32, mslink::Record>& byDate)
{
    block_.clear();
    for (const auto& [date, r] : byDate)
        block_.append(r);
    lowest_ = block_.empty() ? 0 : block_.dates.front();
    highest_ = block_.empty() ? 0 : block_.dates.back();
}

mslink::RecordArrays mergeHistory(const mslink::RecordArrays& stored, const mslink::RecordArrays& fresh)
{
    mslink::RecordArrays out;
    if (stored.empty())
        return fresh;
    if (fresh.empty())
        return stored;
    if (fresh.dates.front() > stored.dates.back() || fresh.dates.back() < stored.dates.front()) {
        const bool after = fresh.dates.front() > stored.dates.back();
        const mslink::RecordArrays& first = after ? stored : fresh;
        const mslink::RecordArrays& second = after ? fresh : stored;
        out = first;
        for (size_t i = 0; i < second.size(); ++i)
            out.append(second.at(i));
        return out;
    }
    // Overlap: one record per date; a new one replaces the stored one of its
    // date unless its volume is smaller.
    std::map<qint32, mslink::Record> table;
    for (size_t i = 0; i < stored.size(); ++i)
        table[stored.dates[i]] = stored.at(i);
    for (size_t i = 0; i < fresh.size(); ++i) {
        const auto it = table.find(fresh.dates[i]);
        if (it == table.end() || !(fresh.volumes[i] < it->second.volume))
            table[fresh.dates[i]] = fresh.at(i);
    }
    for (const auto& [date, r] : table)
        out.append(r);
    return out;
}

StepOutcome metaclass::goraw()
{
    if (cancel_ && cancel_->cancelled())
        return StepOutcome::Ignored;
    classzoekmetastock find(run_);
    find.cancelWith(cancel_);
    find.ticker(historyTicker_);
    find.tickername(historyName_);
    find.go();
    const QString folder = find.gevonden();
    const QString file = find.dataFile();
    if (folder.isEmpty() || block_.empty())
        return StepOutcome::Ignored;

    WriteLog(historyTicker_ + QStringLiteral("reading symbol ") + folder);
    const StepOutcome outcome = metastock::step(
        run_, folder,
        [&] {
            mslink::Writer w;
            w.openFolder(folder, &run_.session);
            selectOrAdd(w, historyTicker_, historyName_, file);
            mslink::Reader r;
            r.openFolder(folder, &run_.session);
            mslink::RecordArrays stored;
            if (r.findSecurity(historyTicker_, w.selectedDataFile())) {
                r.loadAllRecords();
                stored = r.arrays();
            }
            r.closeFolder();
            if (!stored.empty())
                w.deleteRecords(stored.dates.front(), stored.dates.back());
            w.writeRecordArrays(mergeHistory(stored, block_));
            w.reorder();
            w.flush();
            w.closeSecurity();
            w.release();
        },
        true);
    islaatste_ = false;
    return outcome;
}
