// Export of the symbols of one list to a text file.
#include "database/clsdata.h"

#include "database/db.h"
#include "database/lists.h"
#include "support/errors.h"
#include "support/messages.h"
#include "support/yield.h"

#include <QSaveFile>
#include <QVector>
#include <optional>

namespace {
struct ExportRow {
    QString market, ticker, name;
};

QString lineOf(const ExportRow& row, const QStringList& columns)
{
    QStringList values;
    for (const QString& c : columns) {
        if (c == QLatin1String("Market"))
            values << row.market;
        else if (c == QLatin1String("Symbol"))
            values << row.ticker;
        else if (c == QLatin1String("Name"))
            values << row.name;
        else
            values << QString();
    }
    return values.join(QLatin1Char(','));
}
}  // namespace

int clsData::Export(const QString& fileName, int listNumber, const QStringList& columns)
{
    auto status = [this](const QString& text) {
        if (statusText)
            statusText(text);
    };
    std::optional<BusyPointer> busy;
    busy.emplace();
    QVector<ExportRow> rows;
    const bool read =
        guarded([&] {
            rows.clear();
            Statement st = db_->prepare(
                QStringLiteral("SELECT markt.Market, fondsen.codeyahoo, fondsen.naamyahoo "
                               "FROM markt LEFT JOIN fondsen ON markt.id = fondsen.marktid WHERE fondsen.%1 = 1")
                    .arg(lists::column(listNumber)));
            while (st.next())
                rows.append({st.text(0), st.text(1), st.text(2)});
        }) == StepOutcome::Done;
    if (!read)
        return -1;
    if (rows.isEmpty()) {
        busy.reset();
        msgBox(QStringLiteral("List %1 is empty").arg(listNumber));
        return 0;
    }

    const int count = static_cast<int>(rows.size());
    // Written beside the target and renamed over it at the end, so a failure
    // never leaves a partial file behind.
    const bool written = guarded([&] {
                             QSaveFile file(fileName);
                             if (!file.open(QIODevice::WriteOnly))
                                 throw FileError(file, QStringLiteral("Cannot create the export file"));
                             for (int i = 0; i < count; ++i) {
                                 yieldToGui();
                                 status(QStringLiteral("Exporting %1 of %2").arg(i + 1).arg(count));
                                 const QByteArray line = lineOf(rows[i], columns).toLatin1() + "\r\n";
                                 if (file.write(line) != line.size())
                                     throw FileError(file, QStringLiteral("Cannot write the export file"));
                             }
                             if (!file.commit())
                                 throw FileError(file, QStringLiteral("Cannot write the export file"));
                         }) == StepOutcome::Done;
    if (!written)
        return -1;
    status(QStringLiteral("%1 Exported").arg(count));
    return count;
}
