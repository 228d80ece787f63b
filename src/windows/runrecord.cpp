#include "windows/runrecord.h"

#include "support/settingsstore.h"

#include <QLocale>

namespace {
QString key(bool historical)
{
    return historical ? QStringLiteral("LastHistoryRun") : QStringLiteral("LastCurrentRun");
}
}  // namespace

void runrecord::note(bool historical, const QString& outcome, const QDateTime& when)
{
    if (outcome.isEmpty())
        return;
    store::write(key(historical), when.toString(Qt::ISODate) + QLatin1Char('\t') + outcome);
}

QString runrecord::last(bool historical)
{
    const QString stored = store::read(key(historical), QString());
    const qsizetype tab = stored.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return {};
    const QDateTime when = QDateTime::fromString(stored.left(tab), Qt::ISODate);
    return QLocale().toString(when, QLocale::ShortFormat) + QStringLiteral(": ") + stored.mid(tab + 1);
}
