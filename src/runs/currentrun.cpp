#include "runs/currentrun.h"
#include "runs/metastockbatch.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/settingsrow.h"
#include "quotes/gap.h"
#include "quotes/loader.h"
#include "quotes/tickeronderzoek.h"
#include "support/errors.h"
#include "support/folders.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/clsschrijfstock.h"
#include "writers/filenames.h"
#include "writers/formatregistry.h"
#include "writers/runfiles.h"

#include <QFile>

namespace {
const QString kAborted = QStringLiteral("Download abborted by user");

// Per-symbol formats in the order a batch is written to them, with the
// switches of the writer, the log texts and the panel text.
struct SymbolFormat {
    QChar letter;
    const char* startLog;
    const char* endLog;
    const char* what;
};
const SymbolFormat kSymbolFormats[] = {
    {QLatin1Char('S'), "Writing to Stockguru", "End writing to Stockguru", "Stockguru"},
    {QLatin1Char('D'), "Writing to GET", "End writing to GET", "PRN"},
    {QLatin1Char('C'), "Writing to ASCII", "End Writing to ASCII", "ASCII"},
    {QLatin1Char('K'), "Writing to KBF", "End writing to KBF", "KBF"},
};

bool formatOn(QChar letter)
{
    const ExportFormat* f = formats::find(letter);
    return f && settings().*(f->selected);
}

// The batch of a loader as the writers take it: texts, "." as decimal point;
// `times` gets the time of each quote (only the AmiBroker staging line has one).
QVector<Quote> quotesOf(const loader& l, QStringList* times)
{
    const CurrentQuotes& q = l.quotes();
    QVector<Quote> out;
    out.reserve(q.size());
    for (qsizetype i = 0; i < q.size(); ++i) {
        if (q.yahooticker[i].isEmpty())
            continue;
        times->append(q.yahooTime[i]);
        Quote quote;
        quote.ticker = q.yahooticker[i];
        quote.name = q.yahooname[i];
        quote.date = q.yahoodate[i];
        quote.open = quotetext::plainNumber(q.yahooopen[i]);
        quote.high = quotetext::plainNumber(q.yahoohigh[i]);
        quote.low = quotetext::plainNumber(q.yahoolow[i]);
        quote.close = quotetext::plainNumber(q.yahooclose[i]);
        quote.volume = quotetext::plainNumber(q.yahoovolume[i]);
        out.append(quote);
    }
    return out;
}
}  // namespace

int CurrentRunSummary::totalWritten() const
{
    int total = 0;
    for (int n : written)
        total += n;
    return total;
}

QString CurrentRunSummary::outcome() const
{
    if (nothingToDo)
        return {};
    const int total = totalWritten();
    QString text;
    if (aborted)
        text = kAborted;
    else if (batches > 0 && failedBatches == batches)
        text = QStringLiteral("Download failed: the quote service gave no usable answer");
    else if (total == 0)
        text = QStringLiteral("No quotes could be written");
    else if (failedBatches > 0)
        text = QStringLiteral("Download finished with errors: %1 of %2 requests failed").arg(failedBatches).arg(batches);
    else if (writeFailures > 0)
        text = QStringLiteral("Download finished with errors: %1 quotes could not be written").arg(writeFailures);
    else
        return QStringLiteral("Download finished: %1 quotes downloaded").arg(quotesReceived);
    return text + QStringLiteral(" (%1 quotes downloaded)").arg(quotesReceived);
}

CurrentRun::CurrentRun(QObject* parent) : QObject(parent) {}

CurrentRun::~CurrentRun() = default;

QString CurrentRun::PointDecimal(const QString& text)
{
    return QString(text).replace(QLatin1Char(','), QLatin1Char('.'));
}

void CurrentRun::setPanel1(const QString& text)
{
    if (text != panel1_) {
        panel1_ = text;
        emit panel1Changed(text);
    }
}

void CurrentRun::setPanel2(const QString& text)
{
    if (text != panel2_) {
        panel2_ = text;
        emit panel2Changed(text);
    }
}

QVector<int> CurrentRun::chosenLists() const
{
    if (mode == Mode::Scheduled)
        return {scheduledList};
    if (!severalLists)
        return {list};
    QVector<int> chosen;
    for (int n = 1; n <= 16; ++n) {
        if (settings().dList[n])
            chosen << n;
    }
    return chosen;
}

bool CurrentRun::StartRun()
{
    if (running_)
        return false;
    ProgramSettings& s = settings();
    summary_ = CurrentRunSummary();
    currentGap().setInterval(s.intervalDownload);
    currentGap().stop();
    state().abortFlag = false;

    if (chosenLists().isEmpty()) {
        msgBox(QStringLiteral("First select one or more lists"));
        summary_.nothingToDo = true;
        return false;
    }

    openfiles::closeAll();
    guarded([] { ResetLog(); });

    if (mode == Mode::Normal) {
        settingsrow::Columns columns;
        for (const auto& [column, member] : formats::folderColumns()) {
            s.*member = folders::folderCheck(s.*member);
            columns.append({QLatin1String(column), s.*member});
        }
        guarded([&columns] {
            auto db = Database::openDefault();
            settingsrow::write(*db, columns);
        });
    }
    if (!formats::formatGuard()) {
        summary_.nothingToDo = true;
        return false;
    }
    openfiles::closeAll();

    running_ = true;
    emit lockedChanged(true);
    data_ = clsData::open();
    if (data_ && mode == Mode::Normal) {
        data_->leegvervallen();
        data_->leegnewtickers();
        data_->leegnietgelukt();
    }
    {
        BusyPointer busy;
        yieldToGui();
        state().runMessage.clear();
        if (data_)
            CollectAndDispatch();
        else
            summary_.aborted = true;
        openfiles::closeAll();
        setPanel2(QString());
    }
    loaders_.clear();
    data_.reset();
    if (state().abortFlag)
        summary_.aborted = true;
    if (mode == Mode::Normal)
        state().abortFlag = false;
    running_ = false;
    emit progressChanged(0, 1);
    emit lockedChanged(false);
    setPanel1(summary_.outcome());
    return !summary_.aborted && !summary_.nothingToDo;
}

void CurrentRun::StopRun()
{
    state().runMessage = kAborted;
    setPanel1(QStringLiteral("Disconnecting..."));
    setPanel2(QStringLiteral("Please Wait..."));
    state().abortFlag = true;
}

void CurrentRun::CollectAndDispatch()
{
    const ProgramSettings& s = settings();
    // The run's own files; a file that cannot be made leaves its format out.
    auto createRunFile = [](std::unique_ptr<AppendFile>& file, QString (*create)(bool, const QDate&)) {
        const StepOutcome outcome = guarded([&] { file = std::make_unique<AppendFile>(create(false, QDate::currentDate())); });
        if (outcome == StepOutcome::Aborted)
            state().abortFlag = true;
    };
    if (s.select7)
        createRunFile(vision_, runfiles::createVisionFile);
    if (s.select8)
        createRunFile(vikingen_, runfiles::createVikingenFile);
    metastockbatch::startRun();

    setPanel1(QStringLiteral("Collecting Symbols...."));
    WriteLog(QStringLiteral("Creating tempfiles"));
    if (guarded([] { runfiles::createStagingFiles(false); }) == StepOutcome::Aborted)
        state().abortFlag = true;
    ami1_ = std::make_unique<AppendFile>(paths::dataFile(QStringLiteral("ami1.txt")));
    ami2_ = std::make_unique<AppendFile>(paths::dataFile(QStringLiteral("ami2.txt")));
    WriteLog(QStringLiteral("Finished creating tempfiles"));
    WriteLog(QStringLiteral("Collecting symbols"));

    QVector<lists::Symbol> symbols;
    guarded([&] { symbols = lists::symbolsForDownload(data_->db(), chosenLists()); });
    WriteLog(QStringLiteral("Finished collecting symbols"));

    summary_.symbols = static_cast<int>(symbols.size());
    if (symbols.isEmpty()) {
        if (mode == Mode::Normal && !severalLists)
            msgBox(listCaption + QStringLiteral(" contains no symbols"));
        else if (mode == Mode::Normal)
            msgBox(QStringLiteral("The selected lists contain no symbols"));
        summary_.nothingToDo = true;
        setPanel1(QString());
        return;
    }

    setPanel1(QStringLiteral("Setting up connection...."));
    const int rows = static_cast<int>(symbols.size());
    emit progressChanged(1, rows);
    totalDispatched_ = 0;
    QStringList batch;
    for (int i = 0; i < rows; ++i) {
        yieldToGui();
        if (state().abortFlag) {
            state().runMessage = kAborted;
            break;
        }
        emit progressChanged(i + 1, rows);
        batch << symbols[i].ticker;
        if (batch.size() == kBatchSize || totalDispatched_ + batch.size() == rows) {
            totalDispatched_ += static_cast<int>(batch.size());
            setPanel1(QStringLiteral("Downloading %1 quotes....").arg(totalDispatched_));
            yieldToGui();
            dispatch(batch);
            yieldToGui();
            batch.clear();
        }
    }

    // Every batch, re-downloads of changed tickers included, is written
    // before the run's files are closed. Stop does not cut this wait short:
    // running loaders see the flag themselves and end quickly.
    waitUntil([this] { return idle(); }, -1, AbortFlag::Ignore);
    setPanel1(QString());
    setPanel2(QString());

    if (state().abortFlag) {
        state().runMessage = kAborted;
        return;
    }
    finishFiles();
    if (s.selectprn) {
        setPanel2(QStringLiteral("Exporting to PRN..."));
        const StepOutcome outcome = guarded([] { runfiles::copyRunFile(false); });
        if (outcome != StepOutcome::Done) {
            summary_.writeFailures += summary_.written.value(QLatin1Char('P'));
            summary_.written.remove(QLatin1Char('P'));
        }
        setPanel2(QString());
    }
}

bool CurrentRun::idle() const
{
    if (completing_ > 0)
        return false;
    for (const auto& l : loaders_) {
        if (l->Busy())
            return false;
    }
    return true;
}

void CurrentRun::dispatch(const QStringList& tickers)
{
    QStringList batch = tickers;
    while (batch.size() < kBatchSize)
        batch << QString();
    const int index = static_cast<int>(loaders_.size());
    loaders_.push_back(std::make_unique<loader>());
    loader* l = loaders_.back().get();
    connect(l, &loader::ready, this, [this, index] { BatchComplete(index); });
    l->setTickers(batch);
    ++summary_.batches;
    l->go();
}

void CurrentRun::BatchComplete(int k)
{
    if (state().abortFlag)
        return;
    ++completing_;
    struct Done {
        int& n;
        ~Done() { --n; }
    } done{completing_};

    loader& l = *loaders_[static_cast<size_t>(k)];
    if (!l.DownloadOk()) {
        WriteLog(QStringLiteral("Download failed"));
        QStringList tickers;
        for (const QString& t : l.originaltickers()) {
            if (!t.isEmpty())
                tickers << t;
        }
        data_->tickersmislukt(tickers);
        ++summary_.failedBatches;
        return;
    }
    summary_.quotesReceived += static_cast<int>(l.quotes().size());
    if (!l.foundall()) {
        WriteLog(QStringLiteral("Some quotes were not found"));
        investigate(l);
        if (state().abortFlag)
            return;
    }
    writeBatch(l);
}

void CurrentRun::investigate(loader& l)
{
    QStringList changed;
    for (const QString& entry : l.notfound()) {
        setPanel1(QStringLiteral("Checking symbol"));
        setPanel2(entry);
        yieldToGui();
        if (state().abortFlag)
            return;
        clsTickeronderzoek t;
        t.ticker = entry;
        t.go();
        if (!t.changed)
            continue;
        WriteLog(entry + QStringLiteral(" changed to ") + t.newticker);
        data_->changeticker(entry, t.newticker);
        RenameQuoteFiles(entry, t.newticker);
        changed << t.newticker;
        summary_.changed << entry + QStringLiteral(" -> ") + t.newticker;
    }
    if (!changed.isEmpty())
        dispatch(changed);
    for (const QString& entry : l.notfound()) {
        if (!entry.isEmpty())
            data_->voegvervallentoe(entry);
    }
    for (const QString& entry : l.SymbolsVerworpen()) {
        if (!entry.isEmpty())
            data_->voegverWorpentoe(entry);
    }
}

void CurrentRun::writeBatch(loader& l)
{
    const ProgramSettings& s = settings();
    QStringList times;
    QVector<Quote> quotes = quotesOf(l, &times);
    const QString total = QString::number(totalDispatched_);

    if (s.selectprn || s.selectamibroker) {
        WriteLog(QStringLiteral("Writing to PRN"));
        setPanel2(QStringLiteral("Writing ") + total + QStringLiteral(" quotes to .prn..."));
        for (qsizetype i = 0; i < quotes.size(); ++i) {
            Quote& q = quotes[i];
            // A missing open, high or low takes the close, here and in every
            // later format.
            for (QString* price : {&q.open, &q.high, &q.low}) {
                if (*price == QLatin1String("0"))
                    *price = q.close;
            }
            if (q.date == 0)
                continue;
            bool written = false;
            const StepOutcome outcome = guarded([&] {
                ami1_->write(runfiles::ami1Line(q, s.h11));
                ami2_->write(runfiles::ami2Line(q, times[i], true));
                written = true;
            });
            if (outcome == StepOutcome::Aborted)
                return;
            if (written && s.selectprn)
                ++summary_.written[QLatin1Char('P')];
            else if (!written)
                ++summary_.writeFailures;
        }
        WriteLog(QStringLiteral("End writing to PRN"));
    }
    if (s.selectmetastock &&
        !metastockbatch::writeBatch(quotes, [this](const QString& t) { setPanel2(t); },
                                    summary_.written[QLatin1Char('M')], summary_.writeFailures))
        return;

    for (const SymbolFormat& f : kSymbolFormats) {
        if (!formatOn(f.letter))
            continue;
        yieldToGui();
        if (state().abortFlag)
            return;
        WriteLog(QLatin1String(f.startLog));
        int slot = 0;
        for (const Quote& q : quotes) {
            setPanel2(QStringLiteral("Writing %1 quotes to %2...").arg(slot++).arg(QLatin1String(f.what)));
            clsschrijfstock writer;
            writer.schrijfascii(f.letter == QLatin1Char('C'));
            writer.schrijfkbf(f.letter == QLatin1Char('K'));
            writer.schrijfGET(f.letter == QLatin1Char('D'));
            writer.setQuote(q);
            const StepOutcome outcome = writer.go();
            if (outcome == StepOutcome::Aborted)
                return;
            if (outcome == StepOutcome::Done)
                ++summary_.written[f.letter];
            else
                ++summary_.writeFailures;
        }
        WriteLog(QLatin1String(f.endLog));
    }

    auto appendAll = [&](QChar letter, std::unique_ptr<AppendFile>& file, const char* startLog, const char* endLog,
                         const char* what, QByteArray (*line)(const Quote&, bool)) {
        if (!formatOn(letter) || !file)
            return true;
        yieldToGui();
        if (state().abortFlag)
            return false;
        WriteLog(QLatin1String(startLog));
        setPanel2(QStringLiteral("Writing ") + total + QStringLiteral(" quotes to %1...").arg(QLatin1String(what)));
        for (const Quote& q : quotes) {
            if (q.date == 0)
                continue;
            bool written = false;
            const StepOutcome outcome = guarded([&] {
                file->write(line(q, true));
                written = true;
            });
            if (outcome == StepOutcome::Aborted)
                return false;
            if (written)
                ++summary_.written[letter];
            else
                ++summary_.writeFailures;
        }
        WriteLog(QLatin1String(endLog));
        return true;
    };
    if (!appendAll(QLatin1Char('V'), vision_, "Writing to Vision2000", "End writing to Vision2000", "Vision",
                   runfiles::visionLine))
        return;
    appendAll(QLatin1Char('I'), vikingen_, "Writing to Vikingen", "End writing to Vikingen", "Vikingen",
              runfiles::vikingenRecord);
}

void CurrentRun::finishFiles()
{
    for (auto* file : {&ami1_, &ami2_, &vision_, &vikingen_}) {
        if (*file)
            (*file)->close();
    }
}

void CurrentRun::RenameQuoteFiles(const QString& oldTicker, const QString& newTicker)
{
    const QString oldBase = filenames::tickerBaseName(oldTicker);
    const QString newBase = filenames::tickerBaseName(newTicker);
    if (oldBase.isEmpty() || newBase.isEmpty())
        return;
    for (QChar letter : {QLatin1Char('C'), QLatin1Char('S'), QLatin1Char('K'), QLatin1Char('D')}) {
        const ExportFormat* f = formats::find(letter);
        if (!f || !(settings().*(f->selected)))
            continue;
        const QString folder = paths::withTrailingSlash(settings().*(f->folder));
        const QString from = folder + oldBase + QLatin1String(f->extension);
        const QString to = folder + newBase + QLatin1String(f->extension);
        if (!filenames::filePresent(from))
            continue;
        // An existing file of the new ticker is kept; the old one goes.
        if (!QFile::exists(to))
            QFile::rename(from, to);
        if (QFile::exists(from))
            QFile::remove(from);
    }
}
