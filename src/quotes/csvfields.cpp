#include "quotes/csvfields.h"

#include <QDate>
#include <QLocale>
#include <charconv>
#include <cmath>
#include <string>

namespace csv {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0, e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

// The value of a text of one to four digits, or -1 for anything else.
int smallNumber(QByteArrayView v)
{
    v = trimmed(v);
    if (v.isEmpty() || v.size() > 4)
        return -1;
    int value = 0;
    for (const char c : v) {
        if (!isDigit(c))
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

QVector<QByteArrayView> splitLines(QByteArrayView body)
{
    QVector<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i + 1 < body.size(); ++i) {
        if (body[i] == '\r' && body[i + 1] == '\n') {
            lines.append(body.sliced(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    lines.append(body.sliced(start));
    return lines;
}

Fields splitFields(QByteArrayView line)
{
    Fields fields;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == ',') {
            fields.append(line.sliced(start, i - start));
            start = i + 1;
        }
    }
    fields.append(line.sliced(start));
    return fields;
}

QString clean(QByteArrayView field)
{
    const QByteArrayView t = trimmed(field);
    QString out;
    out.reserve(t.size());
    for (const char c : t) {
        if (c != '"')
            out.append(QLatin1Char(c));
    }
    return out.trimmed();
}

QString quotedText(QByteArrayView field)
{
    QByteArrayView t = trimmed(field);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"')
        t = t.sliced(1, t.size() - 2);
    QString out = QString::fromLatin1(t);
    out.replace(QLatin1String("\"\""), QLatin1String("\""));
    return out.trimmed();
}

namespace {

// The longest leading decimal number of `field` (blanks before it skipped,
// "," read as ".", a leading "+" dropped), as text; empty when the field
// does not start with one. `exponent` tells whether it carries one.
std::string leadingNumber(QByteArrayView field, bool* exponent)
{
    qsizetype i = 0;
    while (i < field.size() && isBlank(field[i]))
        ++i;
    // std::string keeps the usual short numbers in place without allocating.
    std::string text;
    auto at = [&](qsizetype k) { return k < field.size() ? (field[k] == ',' ? '.' : field[k]) : '\0'; };
    if (at(i) == '-')
        text += at(i++);
    else if (at(i) == '+')
        ++i;
    qsizetype digits = 0;
    while (isDigit(at(i))) {
        text += at(i++);
        ++digits;
    }
    if (at(i) == '.') {
        text += at(i++);
        while (isDigit(at(i))) {
            text += at(i++);
            ++digits;
        }
    }
    *exponent = false;
    if (digits == 0)
        return {};
    if ((at(i) == 'e' || at(i) == 'E') &&
        (isDigit(at(i + 1)) || ((at(i + 1) == '+' || at(i + 1) == '-') && isDigit(at(i + 2))))) {
        *exponent = true;
        text += at(i++);
        if (!isDigit(at(i)))
            text += at(i++);
        while (isDigit(at(i)))
            text += at(i++);
    }
    return text;
}

double valueOf(const std::string& text)
{
    double value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0;
    return value;
}

}  // namespace

double number(QByteArrayView field)
{
    bool exponent = false;
    const std::string text = leadingNumber(field, &exponent);
    return text.empty() ? 0 : valueOf(text);
}

QString numberText(QByteArrayView field)
{
    bool exponent = false;
    std::string text = leadingNumber(field, &exponent);
    const double value = text.empty() ? 0 : valueOf(text);
    if (value == 0)
        return QStringLiteral("0");
    if (exponent)
        return QString::number(value, 'f', QLocale::FloatingPointShortest);
    // ".5" and "12." as numbers a reader of any export file takes.
    const std::size_t digitsFrom = text[0] == '-' ? 1 : 0;
    if (text[digitsFrom] == '.')
        text.insert(digitsFrom, 1, '0');
    if (text.back() == '.')
        text.pop_back();
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

qint32 cvdatum(QByteArrayView text, int maxYear)
{
    char buf[64];
    qsizetype n = 0;
    for (const char c : text) {
        if (c == '"')
            continue;
        if (n == qsizetype(sizeof buf))
            return 0;  // far longer than any date
        buf[n++] = c;
    }
    const QByteArrayView t(buf, n);
    if (t.size() < 5)
        return 0;
    const qsizetype slash1 = t.indexOf('/');
    if (slash1 < 0)
        return 0;
    const qsizetype slash2 = t.indexOf('/', slash1 + 1);
    if (slash2 < 0)
        return 0;
    const int month = smallNumber(t.sliced(0, slash1));
    const int day = smallNumber(t.sliced(slash1 + 1, slash2 - slash1 - 1));
    const int year = smallNumber(t.sliced(slash2 + 1));
    if (month < 1 || month > 12 || day < 1 || day > 31 || year < 1900 || year > maxYear)
        return 0;
    return year * 10000 + month * 100 + day;
}

int latestQuoteYear() { return QDate::currentDate().year() + 1; }

}  // namespace csv
