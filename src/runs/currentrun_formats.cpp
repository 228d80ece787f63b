// The writers of a current run's batch, one per format or group of formats.
// Each counts only the quotes that reached a file.
#include "runs/currentrun.h"

#include "quotes/loader.h"
#include "runs/runsupport.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/clsschrijfstock.h"
#include "writers/filenames.h"
#include "writers/runfiles.h"

namespace {

// Per-symbol files are opened one by one: the event loop gets a turn after
// this many.
constexpr int kQuotesPerYield = 30;

struct FormatTexts {
    QChar letter;
    const char* startLog;
    const char* endLog;
    const char* what;  // in the panel text "Writing ... quotes to <what>..."
};

const FormatTexts kFormatTexts[] = {
    {QLatin1Char('S'), "Writing to Stockguru", "End writing to Stockguru", "Stockguru"},
    {QLatin1Char('D'), "Writing to GET", "End writing to GET", "PRN"},
    {QLatin1Char('C'), "Writing to ASCII", "End Writing to ASCII", "ASCII"},
    {QLatin1Char('K'), "Writing to KBF", "End writing to KBF", "KBF"},
    {QLatin1Char('V'), "Writing to Vision2000", "End writing to Vision2000", "Vision"},
    {QLatin1Char('I'), "Writing to Vikingen", "End writing to Vikingen", "Vikingen"},
};

const FormatTexts& textsOf(QChar letter)
{
    for (const FormatTexts& t : kFormatTexts) {
        if (t.letter == letter)
            return t;
    }
    return kFormatTexts[0];
}

}  // namespace

// The accepted quotes of a loader with the prices and volume as the service
// sent them ("." as decimal point): no number is rounded on its way to a file.
CurrentRun::Batch CurrentRun::batchOf(const loader& l)
{
    const CurrentQuotes& q = l.quotes();
    Batch batch;
    batch.quotes.reserve(q.size());
    for (qsizetype i = 0; i < q.size(); ++i) {
        if (q.yahooticker[i].isEmpty())
            continue;
        batch.times.append(q.yahooTime[i]);
        batch.quotes.append(Quote{q.yahooticker[i], q.yahooname[i], q.yahoodate[i], q.openText[i], q.highText[i],
                                  q.lowText[i], q.closeText[i], q.volumeText[i]});
    }
    return batch;
}

bool CurrentRun::writeStaging(Batch& batch)
{
    const ProgramSettings& s = settings();
    if (!s.selectprn && !s.selectamibroker)
        return true;
    WriteLog(QStringLiteral("Writing to PRN"));
    setPanel2(QStringLiteral("Writing %1 quotes to .prn...").arg(totalDispatched_));
    for (qsizetype i = 0; i < batch.quotes.size(); ++i) {
        Quote& q = batch.quotes[i];
        // A missing open, high or low takes the close, here and in every
        // later format.
        for (QString* price : {&q.open, &q.high, &q.low}) {
            if (*price == QLatin1String("0"))
                *price = q.close;
        }
        if (q.date == 0) {
            notWritten(1);
            continue;
        }
        bool written = false;
        const StepOutcome outcome = guarded([&] {
            ami1_->write(runfiles::ami1Line(q, s.h11));
            ami2_->write(runfiles::ami2Line(q, batch.times[i], true));
            written = true;
        });
        if (outcome == StepOutcome::Aborted)
            return false;
        if (!written)
            notWritten(1);
        else if (s.selectprn)
            ++summary_.written[QLatin1Char('P')];
    }
    WriteLog(QStringLiteral("End writing to PRN"));
    return true;
}

bool CurrentRun::writeSymbolFiles(const Batch& batch, QChar letter)
{
    if (!runsupport::formatOn(letter))
        return true;
    const FormatTexts& f = textsOf(letter);
    yieldToGui();
    WriteLog(QLatin1String(f.startLog));
    int slot = 0;
    for (Quote q : batch.quotes) {
        // Answers that arrive meanwhile only queue their batch, so the window
        // may turn here too.
        if (slot > 0 && slot % kQuotesPerYield == 0)
            yieldToGui();
        setPanel2(QStringLiteral("Writing %1 quotes to %2...").arg(slot++).arg(QLatin1String(f.what)));
        // A long name becomes a file name only with its letters and digits.
        q.name = filenames::reduceName(q.name);
        clsschrijfstock writer;
        writer.schrijfascii(letter == QLatin1Char('C'));
        writer.schrijfkbf(letter == QLatin1Char('K'));
        writer.schrijfGET(letter == QLatin1Char('D'));
        writer.setQuote(q);
        if (writer.go() == StepOutcome::Aborted)
            return false;
        summary_.written[letter] += writer.written();
        notWritten(1 - writer.written());
    }
    WriteLog(QLatin1String(f.endLog));
    return true;
}

bool CurrentRun::appendToRunFile(const Batch& batch, QChar letter)
{
    if (!runsupport::formatOn(letter))
        return true;
    const bool vision = letter == QLatin1Char('V');
    const std::unique_ptr<AppendFile>& file = vision ? vision_ : vikingen_;
    if (!file) {
        // The run file could not be made (the user was told then).
        notWritten(static_cast<int>(batch.quotes.size()));
        return true;
    }
    const FormatTexts& f = textsOf(letter);
    yieldToGui();
    WriteLog(QLatin1String(f.startLog));
    setPanel2(QStringLiteral("Writing %1 quotes to %2...").arg(totalDispatched_).arg(QLatin1String(f.what)));
    for (const Quote& q : batch.quotes) {
        if (q.date == 0) {
            notWritten(1);
            continue;
        }
        bool written = false;
        const StepOutcome outcome = guarded([&] {
            file->write(vision ? runfiles::visionLine(q, true) : runfiles::vikingenRecord(q, true));
            written = true;
        });
        if (outcome == StepOutcome::Aborted)
            return false;
        if (written)
            ++summary_.written[letter];
        else
            notWritten(1);
    }
    WriteLog(QLatin1String(f.endLog));
    return true;
}
