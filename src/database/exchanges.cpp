#include "database/exchanges.h"

#include <QRegularExpression>
#include <array>

namespace exchanges {

namespace {

const std::array<Exchange, 22> kExchanges = {{
    {"", "America/New_York", QTime(16, 0), "^GSPC"},    {"TO", "America/Toronto", QTime(16, 0), "^GSPTSE"},
    {"SA", "America/Sao_Paulo", QTime(17, 0), "^BVSP"}, {"L", "Europe/London", QTime(16, 30), "^FTSE"},
    {"I", "Europe/Dublin", QTime(16, 30), "^ISEQ"},     {"IR", "Europe/Dublin", QTime(16, 30), "^ISEQ"},
    {"AS", "Europe/Amsterdam", QTime(17, 30), "^AEX"},  {"BR", "Europe/Brussels", QTime(17, 30), "^BFX"},
    {"PA", "Europe/Paris", QTime(17, 30), "^FCHI"},     {"DE", "Europe/Berlin", QTime(17, 30), "^GDAXI"},
    {"F", "Europe/Berlin", QTime(17, 30), "^GDAXI"},    {"MI", "Europe/Rome", QTime(17, 30), "FTSEMIB.MI"},
    {"MC", "Europe/Madrid", QTime(17, 30), "^IBEX"},    {"S", "Europe/Zurich", QTime(17, 30), "^SSMI"},
    {"SW", "Europe/Zurich", QTime(17, 30), "^SSMI"},    {"CO", "Europe/Copenhagen", QTime(17, 0), "^OMXC25"},
    {"ST", "Europe/Stockholm", QTime(17, 30), "^OMX"},  {"AX", "Australia/Sydney", QTime(16, 0), "^AXJO"},
    {"SI", "Asia/Singapore", QTime(17, 0), "^STI"},     {"HK", "Asia/Hong_Kong", QTime(16, 0), "^HSI"},
    {"TW", "Asia/Taipei", QTime(13, 30), "^TWII"},      {"TWO", "Asia/Taipei", QTime(13, 30), "^TWOII"},
}};

}  // namespace

const Exchange* ofTicker(QStringView ticker)
{
    if (ticker.endsWith(u"=X", Qt::CaseInsensitive))
        return nullptr;
    if (ticker.startsWith(u'^') || ticker.contains(u'.')) {
        for (const Exchange& e : kExchanges) {
            if (ticker.compare(QLatin1String(e.index), Qt::CaseInsensitive) == 0)
                return &e;
        }
        if (ticker.startsWith(u'^'))
            return nullptr;
    }
    const qsizetype dot = ticker.lastIndexOf(u'.');
    const QStringView suffix = dot < 0 ? QStringView() : ticker.mid(dot + 1);
    for (const Exchange& e : kExchanges) {
        if (suffix.compare(QLatin1String(e.suffix), Qt::CaseInsensitive) == 0)
            return &e;
    }
    return nullptr;
}

QTime quoteTime(QStringView text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,2}):(\\d{2})\\s*([ap]m)?\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = pattern.match(text.toString());
    if (!m.hasMatch())
        return QTime();
    int hour = m.capturedView(1).toInt();
    const int minute = m.capturedView(2).toInt();
    const QStringView half = m.capturedView(3);
    if (!half.isEmpty()) {
        if (hour < 1 || hour > 12)
            return QTime();
        hour %= 12;
        if (half.compare(u"pm", Qt::CaseInsensitive) == 0)
            hour += 12;
    }
    return QTime(hour, minute);  // invalid beyond 23:59
}

bool beforeClose(const Exchange& exchange, const QTime& localTime)
{
    return localTime.isValid() && localTime < exchange.close;
}

}  // namespace exchanges
