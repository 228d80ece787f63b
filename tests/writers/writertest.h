#pragma once

#include "testutil.h"

#include "support/state.h"
#include "writers/clsschrijfstock.h"
#include "writers/formatregistry.h"

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
        s.format('S').folder = s.format('C').folder = s.format('K').folder = s.format('V').folder =
            s.format('I').folder = s.format('D').folder = s.format('P').folder = folder;
    }

    // One quote through go(), written as format `letter` writes it.
    StepOutcome write(QChar letter, const QString& ticker, qint32 date, const QString& open, const QString& high,
                      const QString& low, const QString& close, const QString& volume,
                      const QString& name = QStringLiteral("Xyz"))
    {
        // Only a format that keeps a file per symbol: any other letter would
        // quietly write Stockguru files.
        const ExportFormat* format = formats::find(letter);
        if (!format || !format->perSymbolFiles()) {
            ADD_FAILURE() << "no per-symbol format: " << letter.toLatin1();
            return StepOutcome::Aborted;
        }
        clsschrijfstock w;
        w.useFormat(letter);
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
