#include "xlsreaders.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <freexl.h>

namespace {
QVector<int> rowsOf(const QVector<int>& wanted, int rows)
{
    QVector<int> out;
    if (wanted.isEmpty()) {
        for (int r = 0; r < rows; ++r)
            out << r;
        return out;
    }
    for (int r : wanted) {
        const int row = r < 0 ? rows + r : r;
        if (row >= 0 && row < rows)
            out << row;
    }
    return out;
}
}  // namespace

QVector<ReadSheet> readWithFreeXl(const QString& file, QString* error, const QVector<int>& wanted)
{
    QVector<ReadSheet> sheets;
    const void* handle = nullptr;
    const int rc = freexl_open(file.toLocal8Bit().constData(), &handle);
    if (rc != FREEXL_OK || !handle) {
        *error = QStringLiteral("freexl_open failed: %1").arg(rc);
        if (handle)
            freexl_close(handle);
        return sheets;
    }
    unsigned int count = 0;
    freexl_get_info(handle, FREEXL_BIFF_SHEET_COUNT, &count);
    for (unsigned short s = 0; s < count; ++s) {
        ReadSheet sheet;
        const char* name = nullptr;
        unsigned int rows = 0;
        unsigned short columns = 0;
        if (freexl_get_worksheet_name(handle, s, &name) != FREEXL_OK ||
            freexl_select_active_worksheet(handle, s) != FREEXL_OK ||
            freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
            *error = QStringLiteral("sheet %1 unreadable").arg(s);
            break;
        }
        sheet.name = QString::fromUtf8(name);
        sheet.rows = static_cast<int>(rows);
        sheet.columns = columns;
        for (int r : rowsOf(wanted, sheet.rows)) {
            QVector<QVariant> row;
            for (unsigned short c = 0; c < columns; ++c) {
                FreeXL_CellValue v;
                if (freexl_get_cell_value(handle, static_cast<unsigned>(r), c, &v) != FREEXL_OK) {
                    *error = QStringLiteral("cell %1,%2 unreadable").arg(r).arg(c);
                    freexl_close(handle);
                    return sheets;
                }
                if (v.type == FREEXL_CELL_INT)
                    row << QVariant(static_cast<double>(v.value.int_value));
                else if (v.type == FREEXL_CELL_DOUBLE)
                    row << QVariant(v.value.double_value);
                else if (v.type == FREEXL_CELL_TEXT || v.type == FREEXL_CELL_SST_TEXT)
                    row << QVariant(QString::fromUtf8(v.value.text_value));
                else
                    row << QVariant();
            }
            sheet.cells << row;
        }
        sheets << sheet;
    }
    freexl_close(handle);
    return sheets;
}

QVector<ReadSheet> readWithXlrd(const QString& file, QString* error, const QVector<int>& wanted)
{
    static const char script[] = R"(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
wanted = [int(x) for x in sys.argv[2].split(',')] if sys.argv[2] else None
out = []
for sh in book.sheets():
    rows = range(sh.nrows) if wanted is None else [r if r >= 0 else sh.nrows + r for r in wanted]
    cells = []
    for r in rows:
        if r < 0 or r >= sh.nrows:
            continue
        row = []
        for c in range(sh.ncols):
            cell = sh.cell(r, c)
            row.append([cell.ctype, cell.value])
        cells.append(row)
    out.append({'name': sh.name, 'rows': sh.nrows, 'columns': sh.ncols, 'cells': cells})
print(json.dumps(out))
)";
    QStringList rows;
    for (int r : wanted)
        rows << QString::number(r);
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"), QString::fromLatin1(script), file, rows.join(QLatin1Char(','))});
    QVector<ReadSheet> sheets;
    if (!p.waitForFinished(120000) || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        return sheets;
    }
    for (const QJsonValue& s : QJsonDocument::fromJson(p.readAllStandardOutput()).array()) {
        const QJsonObject o = s.toObject();
        ReadSheet sheet;
        sheet.name = o.value(QStringLiteral("name")).toString();
        sheet.rows = o.value(QStringLiteral("rows")).toInt();
        sheet.columns = o.value(QStringLiteral("columns")).toInt();
        for (const QJsonValue& r : o.value(QStringLiteral("cells")).toArray()) {
            QVector<QVariant> row;
            for (const QJsonValue& c : r.toArray()) {
                const int type = c.toArray().at(0).toInt();
                const QJsonValue v = c.toArray().at(1);
                row << (type == 1 ? QVariant(v.toString()) : type == 2 ? QVariant(v.toDouble()) : QVariant());
            }
            sheet.cells << row;
        }
        sheets << sheet;
    }
    return sheets;
}
