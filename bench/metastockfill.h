#pragma once

// Writes a MetaStock folder for a benchmark in one go: `count` securities
// named by `symbol(n)`, each with `days` records ending at `last`.

#include "mslink/datafile.h"
#include "mslink/files.h"
#include "mslink/masters.h"

#include <QDate>
#include <QDir>
#include <functional>

inline void fillMetastockFolder(const QString& dir, int count, int days, const QDate& last,
                                const std::function<QString(int)>& symbol)
{
    using namespace mslink;
    QDir().mkpath(dir);
    std::vector<Record> records;
    for (int i = 0; i < days; ++i) {
        const QDate d = last.addDays(i - days + 1);
        const float p = 10.0f + static_cast<float>(i % 50);
        records.push_back({d.year() * 10000 + d.month() * 100 + d.day(), 120000, p, p + 1, p - 1, p, 1000.0f + i, 0});
    }
    const Layout layout = Layout::fromCount(7);
    const QByteArray data = datafile::encode(layout, records);
    Masters m;
    for (int n = 0; n < count; ++n) {
        Security s;
        s.fileNumber = n + 1;
        s.symbol = symbol(n);
        s.longName = s.symbol + QStringLiteral(" CORP");
        s.name = s.longName.left(kShortNameLength);
        s.layout = layout;
        s.firstDate = records.empty() ? 0 : records.front().date;
        s.lastDate = records.empty() ? 0 : records.back().date;
        files::create(dir + QLatin1Char('/') + s.dataFileName(), data);
        m.securities.push_back(s);
    }
    const QByteArray x = xmasterBytes(m);
    if (!x.isEmpty())
        files::create(dir + QStringLiteral("/XMASTER"), x);
    files::create(dir + QStringLiteral("/EMASTER"), emasterBytes(m));
    files::create(dir + QStringLiteral("/MASTER"), masterBytes(m));
}
