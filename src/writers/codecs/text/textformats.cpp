#include "writers/codecs/text/textformats.h"

#include "support/textconv.h"
#include "writers/clssortstock.h"
#include "writers/filenames.h"
#include "writers/textio.h"

#include <algorithm>

namespace {
constexpr qint64 kFirstTail = 4096;
// The end of a tail whose lines are looked at first.
constexpr qsizetype kLastLines = 512;

// `count` digits at `from`, or -1.
int digits(QByteArrayView text, qsizetype from, qsizetype count)
{
    if (from < 0 || from + count > text.size())
        return -1;
    int value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<qint32> checked(int year, int month, int day)
{
    const qint32 date = year * 10000 + month * 100 + day;
    if (year < 0 || !quotetext::plausibleDate(date))
        return std::nullopt;
    return date;
}

}  // namespace

std::optional<qint32> TextQuoteWriter::lineDate(QByteArrayView line) const
{
    if (!line.isEmpty() && line.front() == '<')
        return 0;
    return parseDate(line);
}

QByteArray TextQuoteWriter::line(const QString& base, const Quote& quote) const
{
    QByteArray out;
    appendLine(out, base, quote);
    return out;
}

QByteArray TextQuoteWriter::volumeText(QStringView volume)
{
    using namespace quotetext;
    // The volume as a plain number; a text of digits alone already is one,
    // unless it has leading zeros or more digits than a double holds.
    const QStringView v = volume.trimmed();
    const bool plain = !v.isEmpty() && v.size() <= 15 && (v.size() == 1 || v.front() != u'0') &&
                       std::all_of(v.begin(), v.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    return plain ? QByteArray() : field(plainNumber(textconv::val(pointDecimal(volume.toString()))));
}

qsizetype TextQuoteWriter::pricesRoom(const Fields& f, const QByteArray& volume)
{
    return f.open.size() + f.high.size() + f.low.size() + f.close.size() + 4 +
           (volume.isEmpty() ? f.volume.size() : volume.size());
}

void TextQuoteWriter::putPrices(quotetext::LineWriter& line, const Fields& f, const QByteArray& volume)
{
    for (QStringView price : {f.open, f.high, f.low, f.close}) {
        line.price(price);
        line.put(',');
    }
    if (volume.isEmpty())
        line.field(f.volume.trimmed());
    else
        line.put(volume);
}

void TextQuoteWriter::appendPrices(QByteArray& out, const Quote& q)
{
    const Fields f = fieldsOf(q);
    const QByteArray volume = volumeText(f.volume);
    quotetext::LineWriter line(out, pricesRoom(f, volume));
    putPrices(line, f, volume);
}

void TextQuoteWriter::appendDay(QByteArray& out, const QString& base, Quote& quote, const core::Bar& day) const
{
    quote.date = day.date;
    quote.open = day.open.text;
    quote.high = day.high.text;
    quote.low = day.low.text;
    quote.close = day.close.text;
    quote.volume = day.volume.text;
    appendLine(out, base, quote);
}

void TextQuoteWriter::write(const SymbolFile& file, const Quote& quote)
{
    const QByteArray newLine = line(file.base, quote);
    // A file whose end was just read for the integrity check is there.
    if (!(kept_ && kept_->has(file.path)) && !filenames::filePresent(file.path)) {
        textio::append(file.path, newLine + textio::kCrLf);
        return;
    }
    // A new day comes after everything in the file: look at the end only,
    // further back only while the end holds no dated line. The latest dated
    // line of a tail is looked for in its last few lines first: a run does
    // this for every quote of every file.
    const auto lastDate = [this](QByteArrayView tail, bool cut) -> std::optional<qint32> {
        QVector<QByteArrayView> lines = textio::splitLines(tail);
        if (cut && !lines.isEmpty())
            lines.removeFirst();  // may begin in the middle of a line
        for (qsizetype i = lines.size() - 1; i >= 0; --i) {
            if (const auto date = lineDate(lines[i]))
                return date;
        }
        return std::nullopt;
    };
    for (qint64 want = kFirstTail;; want *= 8) {
        qint64 start = 0, size = 0;
        const QByteArray tail = textio::readTail(file.path, want, &start, &size, kept_);
        std::optional<qint32> date;
        if (tail.size() > kLastLines)
            date = lastDate(QByteArrayView(tail).last(kLastLines), true);
        if (!date)
            date = lastDate(tail, start > 0);
        if (!date) {
            if (start == 0)
                break;
            continue;
        }
        if (*date >= quote.date) {
            insertByRewrite(file.path, quote.date, newLine);
            return;
        }
        QByteArray bytes;
        if (!textio::endsWithLineBreak(tail))
            bytes += textio::kCrLf;  // a file written without a final line break
        textio::append(file.path, bytes + newLine + textio::kCrLf);
        return;
    }
    insertByRewrite(file.path, quote.date, newLine);
}

void TextQuoteWriter::insertByRewrite(const QString& file, qint32 date, const QByteArray& newLine) const
{
    const QByteArray content = textio::readWhole(file);
    QVector<QByteArrayView> lines;
    for (QByteArrayView l : textio::splitLines(content)) {
        if (!textio::isBlank(l))
            lines.append(l);
    }
    // From the end: replace the line of the same date or go in after the
    // first earlier one; lines without a date are passed over.
    qsizetype at = 0;
    bool replace = false;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const auto d = lineDate(lines[i]);
        if (!d || *d > date)
            continue;
        replace = *d == date;
        at = replace ? i : i + 1;
        break;
    }
    QByteArray out;
    out.reserve(content.size() + newLine.size() + 2);
    for (qsizetype i = 0; i <= lines.size(); ++i) {
        if (i == at)
            out += newLine + textio::kCrLf;
        if (i == lines.size())
            break;
        if (replace && i == at)
            continue;
        out += lines[i].toByteArray() + textio::kCrLf;
    }
    textio::rewrite(file, out);
}

void TextQuoteWriter::writeDays(const SymbolFile& file, const Quote& block, const QVector<core::Bar>& days)
{
    clsSortstock sort;
    sort.layout = this;
    sort.geefdatums.reserve(days.size());
    sort.geefeinden.reserve(days.size());
    sort.geefregels.reserve(days.size() * 64);
    Quote quote = block;
    for (const core::Bar& d : days) {
        sort.geefdatums.append(d.date);
        appendDay(sort.geefregels, file.base, quote, d);
        sort.geefeinden.append(sort.geefregels.size());
        if (sort.geeflaagstedatum == 0 || d.date < sort.geeflaagstedatum)
            sort.geeflaagstedatum = d.date;
        sort.geefhoogstedatum = std::max(sort.geefhoogstedatum, d.date);
    }
    sort.geefTicker(file.path);
}

void TextQuoteWriter::writeBlock(const SymbolFile& file, const QVector<Quote>& quotes)
{
    clsSortstock sort;
    sort.layout = this;
    sort.geefdatums.reserve(quotes.size());
    sort.geefeinden.reserve(quotes.size());
    sort.geefregels.reserve(quotes.size() * 48);
    for (const Quote& q : quotes) {
        sort.geefdatums.append(q.date);
        appendLine(sort.geefregels, file.base, q);
        sort.geefeinden.append(sort.geefregels.size());
        if (sort.geeflaagstedatum == 0 || q.date < sort.geeflaagstedatum)
            sort.geeflaagstedatum = q.date;
        sort.geefhoogstedatum = std::max(sort.geefhoogstedatum, q.date);
    }
    sort.geefTicker(file.path);
}

void StockguruWriter::append(QByteArray& out, const QString& base, const Fields& f)
{
    using namespace quotetext;
    const QByteArray volume = volumeText(f.volume);
    LineWriter line(out, base.size() + 3 + 3 * 20 + 1 + pricesRoom(f, volume) + 2);
    line.field(base);
    line.put(",D,");
    line.number(year(f.date) % 100, 2);
    line.number(month(f.date) % 100, 2);
    line.number(day(f.date) % 100, 2);
    line.put(',');
    putPrices(line, f, volume);
    line.put(",1");
}

void StockguruWriter::appendLine(QByteArray& out, const QString& base, const Quote& q) const
{
    append(out, base, fieldsOf(q));
}

void StockguruWriter::appendDay(QByteArray& out, const QString& base, Quote&, const core::Bar& day) const
{
    append(out, base, fieldsOf(day));
}

std::optional<qint32> StockguruWriter::parseDate(QByteArrayView line) const
{
    const qsizetype mark = line.indexOf(QByteArrayView(",D,"));
    if (mark < 0)
        return std::nullopt;
    const int yy = digits(line, mark + 3, 2), mm = digits(line, mark + 5, 2), dd = digits(line, mark + 7, 2);
    if (yy < 0 || mm < 0 || dd < 0)
        return std::nullopt;
    return checked(quotetext::expandYear(yy), mm, dd);
}

void GetWriter::append(QByteArray& out, const Fields& f)
{
    using namespace quotetext;
    const QByteArray volume = volumeText(f.volume);
    LineWriter line(out, 3 * 20 + 3 + pricesRoom(f, volume));
    line.number(month(f.date) % 100, 2);
    line.put('/');
    line.number(day(f.date) % 100, 2);
    line.put('/');
    line.number(year(f.date) % 100, 2);
    line.put(',');
    putPrices(line, f, volume);
}

void GetWriter::appendLine(QByteArray& out, const QString&, const Quote& q) const { append(out, fieldsOf(q)); }

void GetWriter::appendDay(QByteArray& out, const QString&, Quote&, const core::Bar& day) const
{
    append(out, fieldsOf(day));
}

std::optional<qint32> GetWriter::parseDate(QByteArrayView line) const
{
    if (line.size() < 8 || line[2] != '/' || line[5] != '/')
        return std::nullopt;
    const int mm = digits(line, 0, 2), dd = digits(line, 3, 2), yy = digits(line, 6, 2);
    if (yy < 0 || mm < 0 || dd < 0)
        return std::nullopt;
    return checked(quotetext::expandYear(yy), mm, dd);
}

void AsciiWriter::append(QByteArray& out, const Fields& f)
{
    const QByteArray volume = volumeText(f.volume);
    quotetext::LineWriter line(out, 20 + 1 + pricesRoom(f, volume));
    line.number(f.date, 8);
    line.put(',');
    putPrices(line, f, volume);
}

void AsciiWriter::appendLine(QByteArray& out, const QString&, const Quote& q) const { append(out, fieldsOf(q)); }

void AsciiWriter::appendDay(QByteArray& out, const QString&, Quote&, const core::Bar& day) const
{
    append(out, fieldsOf(day));
}

std::optional<qint32> AsciiWriter::parseDate(QByteArrayView line) const
{
    const int date = digits(line, 0, 8);
    if (date < 0)
        return std::nullopt;
    return checked(date / 10000, date / 100 % 100, date % 100);
}

qsizetype TextQuoteWriter::pricesStart(QByteArrayView line, qsizetype*) const
{
    const qsizetype comma = line.indexOf(',');
    return comma < 0 ? -1 : comma + 1;
}

qsizetype StockguruWriter::pricesStart(QByteArrayView line, qsizetype* baseEnd) const
{
    const qsizetype mark = line.indexOf(QByteArrayView(",D,"));
    if (mark < 0)
        return -1;
    if (baseEnd)
        *baseEnd = mark;
    const qsizetype comma = line.indexOf(',', mark + 3);
    return comma < 0 ? -1 : comma + 1;
}
