#include "gateway/legacytext.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace legacytext {

namespace {

// Letters that Unicode does not decompose into a Latin-1 base letter.
QString spelledOut(QChar c)
{
    switch (c.unicode()) {
    case 0x0141:
        return QStringLiteral("L");  // Ł
    case 0x0142:
        return QStringLiteral("l");  // ł
    case 0x0110:
        return QStringLiteral("D");  // Đ
    case 0x0111:
        return QStringLiteral("d");  // đ
    case 0x0131:
        return QStringLiteral("i");  // ı
    case 0x0152:
        return QStringLiteral("OE");  // Œ
    case 0x0153:
        return QStringLiteral("oe");  // œ
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x2032:
        return QStringLiteral("'");
    case 0x201C:
    case 0x201D:
    case 0x201E:
        return QStringLiteral("\"");
    case 0x2013:
    case 0x2014:
    case 0x2212:
        return QStringLiteral("-");
    case 0x2026:
        return QStringLiteral("...");
    case 0x20AC:
        return QStringLiteral("EUR");
    default:
        return QString();
    }
}

QByteArray toLatin1(const QString& text)
{
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() <= 0xFF) {
            out += static_cast<char>(c.unicode());
            continue;
        }
        if (const QString spelled = spelledOut(c); !spelled.isEmpty()) {
            out += spelled.toLatin1();
            continue;
        }
        bool kept = false;
        for (const QChar d : QString(c).normalized(QString::NormalizationForm_KD)) {
            if (d.unicode() <= 0xFF) {
                out += static_cast<char>(d.unicode());
                kept = true;
            }
        }
        if (!kept && !c.isMark() && !c.isLowSurrogate())
            out += '?';
    }
    return out;
}

}  // namespace

QByteArray price(double value, int decimals)
{
    if (std::isnan(value) || std::isinf(value))
        return "0";
    const double scale = std::pow(10.0, decimals);
    // The answer's decimal text, not its binary neighbour, decides the
    // rounding: 120.495 is 120.49499... in binary and must give 120.50.
    const double scaled = value * scale;
    const double rounded = std::round(scaled + std::copysign(std::abs(scaled) * 1e-12 + 1e-9, scaled));
    return QByteArray::number(rounded / scale, 'f', decimals);
}

QByteArray exactPrice(double value, int decimals)
{
    if (std::isnan(value) || std::isinf(value))
        return "0";
    char buffer[400];
    // The provider keeps prices as 32-bit floats and sends them widened: a
    // value that is such a float is written as the float's shortest text.
    // Any other value keeps ten significant digits, which drops the noise
    // of arithmetic on doubles (0.30000000000000004).
    const auto narrow = static_cast<float>(value);
    std::to_chars_result r{};
    if (std::isfinite(narrow) && static_cast<double>(narrow) == value) {
        r = std::to_chars(buffer, buffer + sizeof buffer, narrow, std::chars_format::fixed);
    } else {
        const int magnitude = value == 0 ? 0 : static_cast<int>(std::floor(std::log10(std::abs(value))));
        r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed,
                          std::clamp(9 - magnitude, 0, 20));
    }
    if (r.ec != std::errc())
        return price(value, decimals);
    QByteArray text(buffer, r.ptr - buffer);
    qsizetype point = text.indexOf('.');
    if (point < 0) {
        point = text.size();
        text += '.';
    }
    while (text.endsWith('0') && text.size() - point - 1 > decimals)
        text.chop(1);
    const qsizetype have = text.size() - point - 1;
    if (have < decimals)
        text += QByteArray(decimals - have, '0');
    if (text.endsWith('.'))
        text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

QByteArray volume(double value)
{
    if (std::isnan(value) || std::isinf(value) || value < 0)
        return "0";
    return QByteArray::number(static_cast<qint64>(std::llround(value)));
}

QByteArray quoteDate(const QDate& date)
{
    return QByteArray::number(date.month()) + '/' + QByteArray::number(date.day()) + '/' +
           QByteArray::number(date.year());
}

QByteArray quoteTime(const QTime& time)
{
    const int hour12 = time.hour() % 12 == 0 ? 12 : time.hour() % 12;
    const QByteArray minutes = QByteArray::number(time.minute()).rightJustified(2, '0');
    return QByteArray::number(hour12) + ':' + minutes + (time.hour() < 12 ? "am" : "pm");
}

QByteArray historyDate(const QDate& date)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return QByteArray::number(date.day()) + '-' + months[date.month() - 1] + '-' +
           QByteArray::number(date.year() % 100).rightJustified(2, '0');
}

QByteArray csvName(const QString& name)
{
    QByteArray out = toLatin1(name.simplified());
    out.replace('"', QByteArray());
    const qsizetype comma = out.indexOf(',');
    if (comma >= 0)
        out = out.left(comma + 1) + out.mid(comma + 1).replace(',', QByteArray());
    return out.trimmed();
}

QByteArray html(const QString& text)
{
    QByteArray out;
    for (const char c : toLatin1(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

}  // namespace legacytext
