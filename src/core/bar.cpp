#include "core/bar.h"

#include <QLocale>

namespace core {

Figure Figure::parse(const QString& t)
{
    bool ok = false;
    const double v = t.toDouble(&ok);
    return ok ? Figure(t, v) : Figure();
}

Figure Figure::of(double v) { return Figure(QString::number(v, 'g', QLocale::FloatingPointShortest), v); }

}  // namespace core
