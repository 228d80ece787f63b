#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

// Independent readers of .xls files for the tests: FreeXL (linked) and
// python3-xlrd (run as a child process). Text cells read back as QString,
// numbers as double, empty cells as an invalid QVariant.
struct ReadSheet {
    QString name;
    int rows = 0;
    int columns = 0;
    QVector<QVector<QVariant>> cells;  // the rows asked for, in order
};

// `wanted`: row numbers to return per sheet (negative counts from the end);
// empty: every row. `error` gets the reader's complaint on failure.
QVector<ReadSheet> readWithFreeXl(const QString& file, QString* error, const QVector<int>& wanted = {});
QVector<ReadSheet> readWithXlrd(const QString& file, QString* error, const QVector<int>& wanted = {});
