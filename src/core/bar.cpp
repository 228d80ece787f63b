#include "core/bar.h"

#include <QLocale>
#include <cmath>

namespace core {

Figure Figure::parse(QStringView t)
{
    QString text = t.trimmed().toString();
    text.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    // The C locale: no group separators, no locale's own decimal point.
    const double v = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(v))
        return Figure();
    return Figure(std::move(text), v);
}

Figure Figure::of(double v)
{
    if (!std::isfinite(v))
        return Figure();
    if (v == 0)
        return Figure(QStringLiteral("0"), v);
    return Figure(QString::number(v, 'f', QLocale::FloatingPointShortest), v);
}

}  // namespace core
