#include "quotes/pages.h"

#include "quotes/csvfields.h"

#include <cmath>
#include <limits>

namespace {

QString latin1(QByteArrayView v) { return QString::fromLatin1(v.data(), v.size()); }

// The text from `from` up to one character before the next ">", as a 16-bit
// whole number; nothing when there is no such text or it overflows.
std::optional<int> numberBeforeTag(QByteArrayView page, qsizetype from, qsizetype* tagAt)
{
    if (from < 0 || from > page.size())
        return std::nullopt;
    const qsizetype gt = page.indexOf('>', from);
    if (gt < 0 || gt - 1 < from)
        return std::nullopt;
    const double value = std::nearbyint(csv::number(page.sliced(from, gt - 1 - from)));
    if (value < std::numeric_limits<qint16>::min() || value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    *tagAt = gt;
    return static_cast<int>(value);
}

}  // namespace

bool plausibleTicker(const QString& ticker)
{
    if (ticker.isEmpty() || ticker.size() > 20)
        return false;
    for (const QChar c : ticker) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '.' ||
                        u == '^' || u == '=' || u == '_' || u == '-';
        if (!ok)
            return false;
    }
    return true;
}

std::optional<QString> findChangedTicker(QByteArrayView page)
{
    QString successor;
    const QByteArrayView see("**SEE&lt;");
    const QByteArrayView changed("is no longer valid. It has changed to");
    // Both markers count only after the first character of the page.
    const qsizetype s = page.indexOf(see);
    if (s >= 1) {
        const qsizetype start = s + see.size();
        const qsizetype end = page.indexOf(QByteArrayView("&gt"), start);
        if (end < 0)
            return std::nullopt;
        successor = latin1(page.sliced(start, end - start));
    } else {
        const qsizetype c = page.indexOf(changed);
        if (c < 1)
            return std::nullopt;
        const qsizetype link = page.indexOf(QByteArrayView("q?s="), c);
        if (link < 0)
            return std::nullopt;
        const qsizetype start = link + 4;
        const qsizetype end = page.indexOf(QByteArrayView("\">"), start);
        if (end < 0)
            return std::nullopt;
        successor = latin1(page.sliced(start, end - start));
    }
    if (!plausibleTicker(successor))
        return std::nullopt;
    return successor;
}

std::optional<HistoryStart> findHistoryStart(QByteArrayView page)
{
    if (page.isEmpty() || page.contains(QByteArrayView("Invalid Ticker Symbol")) ||
        page.contains(QByteArrayView("There is no Historical Prices data available for")))
        return std::nullopt;

    const qsizetype s = page.indexOf(QByteArrayView("Start Date:"));
    if (s < 0)
        return std::nullopt;
    HistoryStart h;
    qsizetype from = -1;
    const qsizetype selected = page.indexOf(QByteArrayView("&quot;selected&quot;"));
    const qsizetype p = selected + 29;
    if (selected >= 0 && p - s < 201) {
        // The selected month option belongs to the start-date controls.
        const auto month = numberBeforeTag(page, p, &from);
        if (!month)
            return std::nullopt;
        h.month = *month;
    } else {
        const qsizetype close = page.indexOf(QByteArrayView("</select>"), s);
        if (close < 0)
            return std::nullopt;
        from = page.indexOf(QByteArrayView("<input type="), close);
        if (from < 0)
            return std::nullopt;
        h.month = 0;
    }

    const auto field = [&](char width) -> std::optional<int> {
        const QByteArray pattern = QByteArray("maxlength=\"") + width + "\" value=";
        const qsizetype at = page.indexOf(pattern, from);
        if (at < 0)
            return std::nullopt;
        return numberBeforeTag(page, at + 21, &from);
    };
    const auto day = field('2');
    if (!day)
        return std::nullopt;
    const auto year = field('4');
    if (!year)
        return std::nullopt;
    h.day = *day;
    h.year = *year;
    if (h.month == 0)
        h.month = 12;
    return h;
}
