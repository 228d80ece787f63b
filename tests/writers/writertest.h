#pragma once

#include "testutil.h"

#include "support/state.h"
#include "writers/clsschrijfstock.h"

#include <QDir>

// Every per-symbol format writes into its own folder below the test root.
class WriterTest : public QuotarisTest {
protected:
    void SetUp() override
    {
        QuotarisTest::SetUp();
        folder = path(QStringLiteral("out/"));
        QDir().mkpath(folder);
        ProgramSettings& s = settings();
        s.stockguru = s.h1 = s.h2 = s.h3 = s.h5 = s.h8 = s.prn = folder;
    }

    // One quote through go() with the switches of `letter`.
    StepOutcome write(QChar letter, const QString& ticker, qint32 date, const QString& open, const QString& high,
                      const QString& low, const QString& close, const QString& volume,
                      const QString& name = QStringLiteral("Xyz"))
    {
        clsschrijfstock w;
        w.schrijfascii(letter == QLatin1Char('C'));
        w.schrijfkbf(letter == QLatin1Char('K'));
        w.schrijfGET(letter == QLatin1Char('D'));
        w.tname(name);
        w.ticker(ticker);
        w.tdate(date);
        w.topen(open);
        w.thigh(high);
        w.tlow(low);
        w.tclose(close);
        w.tvolume(volume);
        return w.go();
    }

    QByteArray golden(const char* name) const { return readAll(QStringLiteral(GOLDEN_DIR "/") + QLatin1String(name)); }

    QString folder;
};
