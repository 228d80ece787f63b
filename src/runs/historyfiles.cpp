#include "runs/historyfiles.h"

#include "runs/runsupport.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/paths.h"
#include "support/state.h"
#include "writers/runfiles.h"

namespace {

Quote quoteOf(const HistoryRecord& r, const QString& name)
{
    return {r.ticker, name, r.date, r.open, r.high, r.low, r.close, r.volume};
}

}  // namespace

HistoryRunFiles::HistoryRunFiles() = default;

HistoryRunFiles::~HistoryRunFiles() = default;

bool HistoryRunFiles::create()
{
    WriteLog(QStringLiteral("Opening tempfiles"));
    if (guarded([] { runfiles::createStagingFiles(true); }) == StepOutcome::Aborted)
        return false;
    ami1_ = std::make_unique<AppendFile>(paths::dataFile(QStringLiteral("ami1.txt")));
    ami2_ = std::make_unique<AppendFile>(paths::dataFile(QStringLiteral("ami2.txt")));
    WriteLog(QStringLiteral("closing tempfiles"));

    // A file that cannot be made leaves its format out of this run.
    auto createRunFile = [](std::unique_ptr<AppendFile>& file, QString (*make)(bool, const QDate&)) {
        return guarded([&] { file = std::make_unique<AppendFile>(make(true, QDate::currentDate())); });
    };
    if (runsupport::formatOn(QLatin1Char('V')) &&
        createRunFile(vision_, runfiles::createVisionFile) == StepOutcome::Aborted)
        return false;
    if (runsupport::formatOn(QLatin1Char('I')) &&
        createRunFile(vikingen_, runfiles::createVikingenFile) == StepOutcome::Aborted)
        return false;
    return true;
}

bool HistoryRunFiles::write(const QVector<HistoryRecord>& days, const QString& name, QMap<QChar, int>& written,
                            int& failures)
{
    const ProgramSettings& s = settings();
    const int n = static_cast<int>(days.size());
    auto append = [&](AppendFile* file, const QByteArray& block, QChar letter, const char* startLog,
                      const char* endLog) {
        if (!file)
            return true;
        if (startLog)
            WriteLog(QLatin1String(startLog));
        bool done = false;
        const StepOutcome outcome = guarded([&] {
            file->write(block);
            done = true;
        });
        if (endLog)
            WriteLog(QLatin1String(endLog));
        if (!letter.isNull())
            (done ? written[letter] : failures) += n;
        return outcome != StepOutcome::Aborted;
    };

    QVector<Quote> quotes;
    quotes.reserve(days.size());
    for (const HistoryRecord& r : days)
        quotes.append(quoteOf(r, name));
    if (s.selectprn || s.selectamibroker) {
        QByteArray staged1, staged2;
        staged1.reserve(days.size() * 64);
        staged2.reserve(days.size() * 96);
        for (const Quote& q : quotes) {
            runfiles::appendAmi1Line(staged1, q, s.h11);
            runfiles::appendAmi2Line(staged2, q, QString(), false);
        }
        const QChar prn = s.selectprn ? QLatin1Char('P') : QChar();
        if (!append(ami1_.get(), staged1, prn, nullptr, nullptr) || !append(ami2_.get(), staged2, QChar(), nullptr, nullptr))
            return false;
    }
    if (vision_) {
        QByteArray block;
        block.reserve(days.size() * 96);
        for (const Quote& q : quotes)
            runfiles::appendVisionLine(block, q, false);
        if (!append(vision_.get(), block, QLatin1Char('V'), "Writing to Vision2000", "End writing to Vision2000"))
            return false;
    }
    if (vikingen_) {
        QByteArray block;
        block.reserve(days.size() * 96);
        for (const Quote& q : quotes)
            runfiles::appendVikingenRecord(block, q, false);
        if (!append(vikingen_.get(), block, QLatin1Char('I'), "Writing to Vikingen", "End writing to Vikingen"))
            return false;
    }
    return true;
}

void HistoryRunFiles::close()
{
    for (auto* file : {&ami1_, &ami2_, &vision_, &vikingen_}) {
        if (*file)
            (*file)->close();
    }
}
