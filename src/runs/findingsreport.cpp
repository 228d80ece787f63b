#include "runs/findingsreport.h"

#include "database/clsdata.h"
#include "database/quotestore.h"
#include "support/errors.h"

#include <QFileInfo>
#include <QSet>
#include <algorithm>
#include <memory>

namespace findingsreport {

bool load(clsData& data, QVector<bookkeeping::FindingRow>& rows)
{
    rows.clear();
    return guarded([&] { rows = bookkeeping::findings(data.db()); }) != StepOutcome::Aborted;
}

QStringList text()
{
    return {QStringLiteral("The integrity check found these faults in the quotes."),
            QStringLiteral("Each line says what was seen and what was done: flagged, repaired or skipped."),
            QStringLiteral("Options sets what is done.")};
}

QStringList columns()
{
    return {QStringLiteral("Symbol"), QStringLiteral("Date"), QStringLiteral("Kind"), QStringLiteral("Seen"),
            QStringLiteral("Done")};
}

QStringList repairedColumns()
{
    return {QStringLiteral("Symbol"), QStringLiteral("Date"), QStringLiteral("As sent (O H L C V)"),
            QStringLiteral("As written")};
}

QString RepairedDay::line() const
{
    const auto figures = [](const core::Bar& b) {
        return QStringList{b.open.text, b.high.text, b.low.text, b.close.text, b.volume.text}.join(u' ');
    };
    const QDate day(written.date / 10000, written.date / 100 % 100, written.date % 100);
    return QStringLiteral("%1 %2 sent %3; written %4")
        .arg(ticker, day.toString(Qt::ISODate), figures(sent), figures(written));
}

QVector<RepairedDay> repairedDays(const QVector<bookkeeping::FindingRow>& findings)
{
    QVector<RepairedDay> out;
    const bool any = std::any_of(findings.cbegin(), findings.cend(), [](const bookkeeping::FindingRow& f) {
        return f.done.startsWith(QLatin1String("repaired"));
    });
    if (!any || !QFileInfo::exists(QuoteStore::defaultPath()))
        return out;
    QSet<QPair<QString, qint32>> listed;
    try {
        QuoteStore store;
        for (const bookkeeping::FindingRow& f : findings) {
            if (!f.done.startsWith(QLatin1String("repaired")) || !f.date.isValid())
                continue;
            const qint32 first = f.date.year() * 10000 + f.date.month() * 100 + f.date.day();
            const QVector<QuoteStore::Row> rows = store.rows(f.ticker, first);
            // The run stored the days of a block under one source.
            const int source = rows.isEmpty() ? 0 : rows.front().source;
            for (const QuoteStore::Row& r : rows) {
                if (!r.asSent || !r.bar.has(core::Bar::Repaired) || r.source != source)
                    break;
                if (listed.contains({f.ticker, r.bar.date}))
                    continue;
                listed.insert({f.ticker, r.bar.date});
                out.append({f.ticker, *r.asSent, r.bar});
            }
        }
    } catch (const StoreError&) {
        return {};
    }
    std::sort(out.begin(), out.end(), [](const RepairedDay& a, const RepairedDay& b) {
        return a.ticker != b.ticker ? a.ticker < b.ticker : a.written.date < b.written.date;
    });
    return out;
}

}  // namespace findingsreport
