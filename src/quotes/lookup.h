#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVector>

// The decoded answer of a names/exchanges query or of an index member list.
struct LookupResult {
    QVector<QString> yahooticker, yahooname, yahoomarket;
};

// Decodes the CSV answer whose fields are the symbol, then the name when
// `getname`, then the exchange when `getmarket`. With `components` on, the
// indices listed among an index's members are left out.
LookupResult decodeLookup(QByteArrayView body, bool getname, bool getmarket, bool components);

// The market of a symbol whose exchange field is empty, from its suffix
// ("Currency", "Indices", "Taiwan OTC", "Irish", "Zurich", "Amsterdam"), or
// an empty text.
QString marketFromSuffix(const QString& symbol);
