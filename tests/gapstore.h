#pragma once

#include "testutil.h"

#include "database/quotestore.h"

#include <QDate>
#include <QDir>
#include <QStringList>
#include <QVector>
#include <functional>
#include <memory>

inline qint32 ymd(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

// A stored day of a gap test: every price 10.00.
inline core::Bar day(qint32 date, const char* volume = "100", bool provisional = false)
{
    core::Bar b;
    b.date = date;
    b.open = b.high = b.low = b.close = core::Figure::parse(QStringLiteral("10.00"));
    b.volume = core::Figure::parse(QString::fromLatin1(volume));
    b.set(core::Bar::Provisional, provisional);
    return b;
}

// Twelve symbols of one exchange (S0.AS to S11.AS) and the first `Days`
// weekdays from 2 November 2026, in a store of the test's data folder.
template <int Days>
class GapStoreTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        store = std::make_unique<QuoteStore>(QDir(dataFolder()).filePath(QStringLiteral("quotestore.sqlite")));
        for (QDate d(2026, 11, 2); days.size() < Days; d = d.addDays(1)) {
            if (d.dayOfWeek() < Qt::Saturday)
                days.append(ymd(d));
        }
        for (int s = 0; s < 12; ++s)
            tickers.append(QStringLiteral("S%1.AS").arg(s));
    }
    // Every symbol gets every day, but for the days `skip` names.
    void fill(const std::function<bool(int symbol, qint32 date)>& skip)
    {
        store->begin();
        for (int s = 0; s < tickers.size(); ++s) {
            for (qint32 d : std::as_const(days)) {
                if (!skip(s, d))
                    store->put(tickers[s], day(d), 1);
            }
        }
        store->commit();
    }

    std::unique_ptr<QuoteStore> store;
    QVector<qint32> days;
    QStringList tickers;
};
