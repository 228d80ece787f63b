#pragma once

#include "database/db.h"

#include <QString>
#include <QStringList>

// The columns of a table of `db`, in their order.
inline QStringList columnsOf(Database& db, const QString& table)
{
    QStringList names;
    Statement st = db.prepare(QStringLiteral("PRAGMA table_info(%1)").arg(table));
    while (st.next())
        names << st.text(1);
    return names;
}
