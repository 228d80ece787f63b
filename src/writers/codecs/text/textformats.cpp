#include "writers/codecs/text/textformats.h"

#include "support/textconv.h"
#include "writers/clssortstock.h"
#include "writers/filenames.h"
#include "writers/textio.h"

#include <algorithm>

namespace {
constexpr qint64 kFirstTail = 4096;

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
    out.reserve(64);
    appendLine(out, base, quote);
    return out;
}

void TextQuoteWriter::appendPrices(QByteArray& out, const Quote& q)
{
    using namespace quotetext;
    for (const QString* price : {&q.open, &q.high, &q.low, &q.close}) {
        appendPrice(out, *price, true);
        out += ',';
    }
    // The volume as a plain number; a text of digits alone already is one,
    // unless it has leading zeros or more digits than a double holds.
    const QStringView volume = QStringView(q.volume).trimmed();
    const bool plain = !volume.isEmpty() && volume.size() <= 15 && (volume.size() == 1 || volume.front() != u'0') &&
                       std::all_of(volume.begin(), volume.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    if (plain)
        appendField(out, volume);
    else
        out += field(plainNumber(textconv::val(pointDecimal(q.volume))));
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
    // further back only while the end holds no dated line.
    for (qint64 want = kFirstTail;; want *= 8) {
        qint64 start = 0, size = 0;
        const QByteArray tail = textio::readTail(file.path, want, &start, &size, kept_);
        QVector<QByteArrayView> lines = textio::splitLines(tail);
        if (start > 0 && !lines.isEmpty())
            lines.removeFirst();  // may begin in the middle of a line
        for (qsizetype i = lines.size() - 1; i >= 0; --i) {
            const auto date = lineDate(lines[i]);
            if (!date)
                continue;
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
        if (start == 0)
            break;
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

void StockguruWriter::appendLine(QByteArray& out, const QString& base, const Quote& q) const
{
    using namespace quotetext;
    appendField(out, base);
    out += ",D,";
    appendNumber(out, year(q.date) % 100, 2);
    appendNumber(out, month(q.date) % 100, 2);
    appendNumber(out, day(q.date) % 100, 2);
    out += ',';
    appendPrices(out, q);
    out += ",1";
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

void GetWriter::appendLine(QByteArray& out, const QString&, const Quote& q) const
{
    using namespace quotetext;
    appendNumber(out, month(q.date) % 100, 2);
    out += '/';
    appendNumber(out, day(q.date) % 100, 2);
    out += '/';
    appendNumber(out, year(q.date) % 100, 2);
    out += ',';
    appendPrices(out, q);
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

void AsciiWriter::appendLine(QByteArray& out, const QString&, const Quote& q) const
{
    quotetext::appendNumber(out, q.date, 8);
    out += ',';
    appendPrices(out, q);
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
