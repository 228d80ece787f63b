#include "runs/currentrun.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/settingsrow.h"
#include "quotes/fetch.h"
#include "quotes/integrity.h"
#include "quotes/loader.h"
#include "quotes/pages.h"
#include "quotes/quoteclient.h"
#include "quotes/tickeronderzoek.h"
#include "runs/fill.h"
#include "runs/gapfill.h"
#include "runs/keptsent.h"
#include "runs/options.h"
#include "runs/placement.h"
#include "runs/provisional.h"
#include "runs/runexports.h"
#include "runs/symbolnaming.h"
#include "support/changes.h"
#include "support/errors.h"
#include "support/folders.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/runlock.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "writers/checkfiles.h"
#include "writers/formatregistry.h"
#include "writers/symbolwriter.h"

#include <algorithm>

namespace {
const QString kAborted = QStringLiteral("Download abborted by user");
}  // namespace

CurrentRun::CurrentRun(QObject* parent) : RunSession(parent) {}

CurrentRun::~CurrentRun() = default;

int CurrentRun::maxInFlight()
{
    const QString stored = store::read(QStringLiteral("MaxInFlight"), QString::number(kDefaultMaxInFlight));
    const auto value = textconv::toInteger(stored.trimmed(), 1, 64);
    return value ? static_cast<int>(*value) : kDefaultMaxInFlight;
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
    return severalLists ? options::chosenLists() : QVector<int>{list};
}

bool CurrentRun::begin()
{
    ProgramSettings& s = settings();
    summary_ = CurrentRunSummary();
    store::write(QLatin1String(kGapReportKey), QString());
    // Stop reaches the run's requests through its client.
    client_ = std::make_unique<QuoteClient>(&cancelToken());
    client_->currentGap().setInterval(s.intervalDownload);

    if (chosenLists().isEmpty()) {
        msgBox(QStringLiteral("First select one or more lists"));
        summary_.nothingToDo = true;
        return false;
    }
    // Before anything of the folder is touched: another run's files stay
    // as that run has them.
    QString refusal;
    if (!lockFolder(&refusal)) {
        refuseBusy(refusal, mode == Mode::Scheduled, summary_, [this](const QString& t) { setPanel1(t); });
        return false;
    }

    openfiles::closeAll();
    guarded([] { ResetLog(); });

    if (!formats::formatGuard()) {
        summary_.nothingToDo = true;
        return false;
    }
    openfiles::closeAll();
    return true;
}

void CurrentRun::proceed()
{
    markRunning();
    holdPlacement(mode == Mode::Scheduled);
    maxInFlight_ = maxInFlight();
    emit lockedChanged(true);
    data_ = clsData::open();
    if (data_ && !openStore())
        data_.reset();
    if (data_ && mode == Mode::Normal) {
        data_->leegvervallen();
        data_->leegnewtickers();
        data_->leegnietgelukt();
        data_->leegfindings();
    }
    integrityAction_ = static_cast<int>(integrity::storedAction());
    findings_.clear();
    // The latest stored day of a symbol comes from the first per-symbol text
    // format that is on: reading the end of one file per quote is cheap.
    const ExportFormat* tailChecked = formats::tailChecked();
    storedLetter_ = tailChecked ? tailChecked->letter : QChar();
    holdBusyPointer();
    state().runMessage.clear();
    if (!data_) {
        summary_.aborted = true;
        conclude();
    } else if (collect()) {
        phase_ = Phase::Dispatching;
        wake();
    } else {
        conclude();
    }
}

void CurrentRun::advance()
{
    switch (phase_) {
    case Phase::Dispatching:
        dispatchStep();
        return;
    case Phase::Finishing:
        if (exports_->finish())
            exportsFinished();
        return;
    case Phase::Closing:
        if (!naming_ || naming_->idle())
            conclude();
        return;
    case Phase::Draining:
    case Phase::AskingAgain:
        // Every batch, re-downloads of changed tickers included, is written
        // before the run's files are closed. Stop does not cut this wait
        // short: running requests see it themselves and end quickly.
        writeCompleted();
        if (cancelled())
            waiting_.clear();
        if (!idle())
            return;
        if (phase_ == Phase::Draining) {
            worksOn_ = client_->asksAgainForLeftOut();
            leftover_.removeDuplicates();
            askRound_ = 0;
            nextAskRound();
        } else {
            askedAgain();
        }
        return;
    }
}

// Ends the run once its batches are written, or when it could not go on.
void CurrentRun::conclude()
{
    openfiles::closeAll();
    setPanel2(QString());
    releaseBusyPointer();
    loaders_.clear();
    waiting_.clear();
    completed_.clear();
    runTickers_.clear();
    leftover_.clear();
    incomplete_.clear();
    symbols_.clear();
    exports_.reset();
    naming_.reset();
    // The symbols whose gaps are filled after the run, with their names.
    QVector<HistoryRun::Range> gapSymbols;
    if (fillsGaps && data_ && !cancelled() && summary_.totalWritten() > 0) {
        try {
            gapSymbols = fill::ranges(data_->db(), chosenLists());
        } catch (const DbError& e) {
            WriteLog(e.description());
        }
    }
    data_.reset();
    if (cancelled())
        summary_.aborted = true;
    markEnded();
    // One quote a symbol: the format that wrote most wrote every symbol
    // that reached a file.
    for (const int n : std::as_const(summary_.written))
        summary_.symbolsWritten = std::max(summary_.symbolsWritten, n);
    summary_.fetches = client_->record();
    const bool ok = !summary_.aborted && !summary_.nothingToDo;
    if (!gapSymbols.isEmpty()) {
        gapFill_ = std::make_unique<gapfill::GapFill>();
        if (gapFill_->prepare(gapSymbols)) {
            // The run's quotes are written; the gap fill takes the folder.
            releaseForFollowUp();
            connect(gapFill_.get(), &gapfill::GapFill::finished, this, [this, ok] { gapsFilled(ok); });
            setPanel1(QStringLiteral("Filling gaps..."));
            gapFill_->start();
            return;
        }
        // Nothing to ask now: the gaps left still go to the report.
        summary_.gaps = gapFill_->lines();
        store::write(QLatin1String(kGapReportKey), gapFill_->reportLines().join(QLatin1Char('\n')));
        gapFill_.reset();
    }
    emit lockedChanged(false);
    setPanel1(summary_.outcome());
    end(ok);
}

// Runs inside the gap fill's signal: it goes from the event loop.
void CurrentRun::gapsFilled(bool ok)
{
    summary_.gaps = gapFill_->lines();
    store::write(QLatin1String(kGapReportKey), gapFill_->reportLines().join(QLatin1Char('\n')));
    if (cancelled())
        summary_.aborted = true;
    gapFill_.release()->deleteLater();
    followUpEnded();
    emit lockedChanged(false);
    setPanel1(summary_.outcome());
    end(ok && !cancelled());
}

void CurrentRun::cancelling()
{
    if (gapFill_)
        gapFill_->stop();
    if (exports_)
        exports_->stop();
    if (naming_)
        naming_->stop();
}

void CurrentRun::stopping()
{
    state().runMessage = kAborted;
    setPanel1(QStringLiteral("Disconnecting..."));
    setPanel2(QStringLiteral("Please Wait..."));
}

// The run's exports begin and its symbols are collected; false when there
// is nothing to download.
bool CurrentRun::collect()
{
    exports_ = std::make_unique<RunExports>(
        RunKind::Current, summary_, [this](const QString& text) { setPanel2(text); }, mode == Mode::Scheduled);
    exports_->setWake([this] { wake(); });
    exports_->setCancelToken(&writesToken());
    if (!exports_->begin())
        cancel();

    setPanel1(QStringLiteral("Collecting Symbols...."));
    if (!exports_->createStaging())
        cancel();
    WriteLog(QStringLiteral("Collecting symbols"));

    QVector<lists::Symbol> symbols;
    guarded([&] { symbols = lists::symbolsForDownload(data_->db(), chosenLists()); });
    WriteLog(QStringLiteral("Finished collecting symbols"));

    naming_ = std::make_unique<SymbolNaming>(*client_, *data_);
    naming_->setSymbols(symbols);
    connect(naming_.get(), &SymbolNaming::idled, this, [this] {
        if (phase_ == Phase::Closing)
            wake();
    });

    summary_.symbols = static_cast<int>(symbols.size());
    if (symbols.isEmpty()) {
        if (mode == Mode::Normal && !severalLists)
            msgBox(listCaption + QStringLiteral(" contains no symbols"));
        else if (mode == Mode::Normal)
            msgBox(QStringLiteral("The selected lists contain no symbols"));
        summary_.nothingToDo = true;
        setPanel1(QString());
        return false;
    }

    setPanel1(QStringLiteral("Setting up connection...."));
    const int rows = static_cast<int>(symbols.size());
    // The bar counts answered requests of the requests to send, and one step
    // more for the whole-run exports: it is full only when all is written.
    progressMax_ = (rows + kBatchSize - 1) / kBatchSize + 1;
    progressDone_ = 0;
    emit progressChanged(0, progressMax_);
    totalDispatched_ = 0;
    symbols_.clear();
    symbols_.reserve(rows);
    for (const lists::Symbol& symbol : std::as_const(symbols))
        symbols_.append(symbol.ticker);
    nextSymbol_ = 0;
    return true;
}

// One batch to its loader per step, and what was answered meanwhile
// written; the window turns between the steps. At most as many batches as
// may be in flight wait for a slot: a slot that frees during a write is
// taken at once, and the answers never run far ahead of the writing (with
// all their quotes in memory).
void CurrentRun::dispatchStep()
{
    writeCompleted();
    if (!cancelled() && static_cast<int>(waiting_.size()) >= maxInFlight_)
        return;  // an answer asks for the next step
    const auto rows = symbols_.size();
    QStringList batch;
    while (nextSymbol_ < rows) {
        if (cancelled()) {
            state().runMessage = kAborted;
            break;
        }
        const QString& ticker = symbols_[nextSymbol_++];
        batch << ticker;
        runTickers_.insert(ticker);
        if (batch.size() == kBatchSize || totalDispatched_ + batch.size() == rows) {
            totalDispatched_ += static_cast<int>(batch.size());
            exports_->setTotalDispatched(totalDispatched_);
            setPanel1(QStringLiteral("Downloading %1 quotes....").arg(totalDispatched_));
            dispatch(batch);
            writeCompleted();
            wake();
            return;
        }
    }
    phase_ = Phase::Draining;
    wake();
}

// The built-in gateway answers a batch with what it has when the program's
// time-out comes and works on for the rest: those symbols are asked again,
// round after round, while each round brings new quotes. What is still left then failed;
// a quote without all its values is a finding too, never written with a
// value the service did not send. Only the built-in gateway works on after
// it has answered; another server's missing line stays missing.
void CurrentRun::nextAskRound()
{
    if (!worksOn_ || askRound_ >= kMaxAskAgain || leftover_.isEmpty() || cancelled()) {
        failLeftover();
        finishExports();
        return;
    }
    const QStringList again = leftover_;
    leftover_.clear();
    receivedBefore_ = summary_.quotesReceived;
    WriteLog(QStringLiteral("Asking again for %1 symbols").arg(again.size()));
    setPanel1(QStringLiteral("Asking again for %1 quotes....").arg(again.size()));
    phase_ = Phase::AskingAgain;
    for (qsizetype i = 0; i < again.size(); i += kBatchSize)
        dispatch(again.mid(i, kBatchSize));
    wake();
}

void CurrentRun::askedAgain()
{
    leftover_.removeDuplicates();
    ++askRound_;
    if (summary_.quotesReceived == receivedBefore_) {
        failLeftover();
        finishExports();
        return;
    }
    nextAskRound();
}

void CurrentRun::failLeftover()
{
    if (leftover_.isEmpty())
        return;
    data_->tickersmislukt(leftover_);
    summary_.unanswered += static_cast<int>(leftover_.size());
    summary_.failedSymbols += static_cast<int>(leftover_.size());
    for (const QString& t : std::as_const(leftover_)) {
        if (!incomplete_.contains(t))
            continue;
        findings_.append({t, 0, QStringLiteral("incomplete"), QStringLiteral("not all values available"),
                          QStringLiteral("skipped")});
        ++summary_.findings;
    }
    leftover_.clear();
}

void CurrentRun::finishExports()
{
    data_->voegfindingstoe(findings_);
    findings_.clear();
    setPanel1(QString());
    setPanel2(QString());
    phase_ = Phase::Finishing;
    if (exports_->finish())
        exportsFinished();
}

void CurrentRun::exportsFinished()
{
    // A run that got nothing leaves the bar empty: a full bar says done.
    if (cancelled())
        state().runMessage = kAborted;
    else if (summary_.quotesReceived == 0)
        emit progressChanged(0, progressMax_);
    else
        emit progressChanged(progressMax_, progressMax_);
    // Checks of new symbols still on their way end before the run does:
    // the run's client and connection go with it.
    if (naming_ && !naming_->idle()) {
        phase_ = Phase::Closing;
        setPanel1(QStringLiteral("Checking new symbols...."));
        return;
    }
    conclude();
}

// A batch gets its own loader; its request goes out as soon as fewer than
// maxInFlight requests are on their way.
void CurrentRun::dispatch(const QStringList& tickers)
{
    QStringList batch = tickers;
    while (batch.size() < kBatchSize)
        batch << QString();
    const int index = static_cast<int>(loaders_.size());
    loaders_.push_back(std::make_unique<loader>(*client_));
    loader* l = loaders_.back().get();
    connect(l, &loader::ready, this, [this, index] { loaderReady(index); });
    l->setTickers(batch);
    waiting_.push_back(index);
    startWaiting();
}

void CurrentRun::startWaiting()
{
    if (cancelled())
        waiting_.clear();  // Stop: nothing more is sent
    while (inFlight_ < maxInFlight_ && !waiting_.empty()) {
        const int k = waiting_.front();
        waiting_.pop_front();
        ++inFlight_;
        ++summary_.batches;
        loaders_[static_cast<size_t>(k)]->go();
    }
}

// Runs inside the signal that delivered the answer: it only notes the
// batch, hands its slot to the next one and asks for the run's next step,
// which writes it, one whole batch at a time.
void CurrentRun::loaderReady(int k)
{
    --inFlight_;
    const loader& l = *loaders_[static_cast<size_t>(k)];
    if (l.DownloadOk() && !l.foundall() && !l.notfound().isEmpty() && !cancelled())
        lookUpSuccessors(k);
    else
        completed_.push_back(k);
    startWaiting();
    wake();
}

// The tickers of a batch that the service did not know are looked up one
// after the other, each answer starting the next; the batch is written
// once the last is in.
void CurrentRun::lookUpSuccessors(int k)
{
    Investigation& inv = investigations_[k];
    for (const QString& entry : loaders_[static_cast<size_t>(k)]->notfound()) {
        if (!entry.isEmpty())
            inv.pending << entry;
    }
    nextLookup(k);
}

void CurrentRun::nextLookup(int k)
{
    Investigation& inv = investigations_[k];
    if (inv.pending.isEmpty() || cancelled()) {
        successors_.insert(k, std::move(inv.successors));
        investigations_.erase(k);
        completed_.push_back(k);
        wake();
        return;
    }
    const QString entry = inv.pending.takeFirst();
    setPanel1(QStringLiteral("Checking symbol"));
    setPanel2(entry);
    inv.lookup = std::make_unique<AsyncFetch>(*client_, clsTickeronderzoek::quotePageRequest(entry));
    connect(inv.lookup.get(), &AsyncFetch::finished, this, [this, k, entry] {
        Investigation& i = investigations_[k];
        if (const auto successor = findChangedTicker(i.lookup->result().body))
            i.successors.insert(entry, *successor);
        i.lookup.release()->deleteLater();
        nextLookup(k);
    });
    inv.lookup->start();
}

void CurrentRun::writeCompleted()
{
    if (completing_)
        return;
    while (!completed_.empty()) {
        const int k = completed_.front();
        completed_.pop_front();
        BatchComplete(k);
        // Its quotes are written: the loader's results are no longer needed.
        loaders_[static_cast<size_t>(k)].reset();
    }
}

bool CurrentRun::idle() const
{
    return !completing_ && inFlight_ == 0 && waiting_.empty() && completed_.empty() && investigations_.empty() &&
           (!exports_ || exports_->idle());
}

void CurrentRun::BatchComplete(int k)
{
    if (cancelled())
        return;
    struct Step {
        CurrentRun& run;
        ~Step()
        {
            run.progressDone_ = std::min(run.progressDone_ + 1, run.progressMax_ - 1);
            emit run.progressChanged(run.progressDone_, run.progressMax_);
        }
    } step{*this};
    completing_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
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
        summary_.failedSymbols += static_cast<int>(tickers.size());
        if (!l.problem().isEmpty())
            summary_.serviceProblem = l.problem();
        return;
    }
    // Duplicates go once the run asks again: a search here would cost a
    // pass over every symbol left so far.
    leftover_ << l.missing() << l.incomplete();
    for (const QString& t : l.incomplete())
        incomplete_.insert(t);
    for (const QString& t : l.missing())
        incomplete_.remove(t);
    summary_.quotesReceived += static_cast<int>(l.quotes().size());
    // Symbols imported without a name get the one the answer carries at
    // once; their market and type are asked beside the run.
    {
        QVector<QPair<QString, QString>> names;
        for (const CurrentQuote& q : l.quotes().quotes) {
            if (!q.ticker.isEmpty())
                names.append({q.ticker, l.quotes().sentName(q)});
        }
        if (data_->nameUnnamed(names) > 0)
            announce::symbols();
        naming_->downloaded(names);
        naming_->flush();
    }
    if (!l.foundall()) {
        WriteLog(QStringLiteral("Some quotes were not found"));
        investigate(k);
        if (cancelled())
            return;
    }
    writeBatch(l);
}

// Every format, in the registry's order. A batch once begun is written to
// every format, also when Stop comes meanwhile, so that all formats hold the
// same days; only Abort in an error dialog ends it early.
void CurrentRun::writeBatch(loader& l)
{
    // Each quote's own day and flag before the check compares it with the
    // stored days.
    provisional::mark(l.checkedQuotes().quotes, provisional::clockOf(l.url()));
    checkBatch(l);
    CurrentBatch batch = batchOf(l);
    // Every quote is in the store before any file gets it; what the store
    // refused reaches no file.
    QVector<StoredQuote> stored;
    stored.reserve(batch.quotes.size());
    for (const CurrentQuote& q : std::as_const(batch.quotes)) {
        const auto sent = sent_.constFind(q.ticker);
        stored.append({&q.ticker, &q.bar, sent == sent_.constEnd() ? nullptr : &*sent});
    }
    const bool kept = storeQuotes(stored);
    sent_.clear();
    if (!kept) {
        summary_.writeFailures += static_cast<int>(batch.quotes.size());
        return;
    }
    // Abort in an error dialog leaves the run, as Stop does: the quotes it
    // kept from their files are counted, never reported as written.
    if (!exports_->writeBatch(batch))
        cancel();
    announce::filesWritten();
}

bool CurrentRun::keptAsSent(CurrentQuote& q, const core::Bar& asSent)
{
    if (!q.bar.has(core::Bar::Repaired) || !quoteStore())
        return false;
    QVector<core::Bar> days{q.bar};
    QHash<qint32, core::Bar> sent{{asSent.date, asSent}};
    if (keptsent::restore(*quoteStore(), q.ticker, days, sent).isEmpty())
        return false;
    q.bar = days.front();
    return true;
}

// Every accepted quote passes the integrity check before a format sees it;
// what it finds goes to the findings table. A skipped quote counts as
// rejected and leaves the batch.
void CurrentRun::checkBatch(loader& l)
{
    const auto action = static_cast<integrity::Action>(integrityAction_);
    integrity::Context c;
    c.action = action;
    for (CurrentQuote& q : l.checkedQuotes().quotes) {
        if (q.ticker.isEmpty())
            continue;
        c.ticker = q.ticker;
        c.stock = integrity::isStock(c.ticker);
        c.stored.reset();
        if (!storedLetter_.isNull())
            c.stored = checkfiles::lastDay(symbolFile(storedLetter_, c.ticker, q.name).path, storedLetter_,
                                           &exports_->keptTails());
        const core::Bar asSent = q.bar;
        const QVector<integrity::Finding> found = integrity::checkCurrent(q.bar, c);
        if (found.isEmpty() || keptAsSent(q, asSent))
            continue;
        if (q.bar.has(core::Bar::Repaired))
            sent_.insert(q.ticker, asSent);
        for (const integrity::Finding& f : found)
            findings_.append({f.ticker, f.date, integrity::code(f.kind), f.seen, f.done});
        summary_.findings += static_cast<int>(found.size());
        if (q.bar.has(core::Bar::Refused)) {
            data_->voegverWorpentoe(c.ticker);
            ++summary_.rejected;
        }
    }
}

// The accepted quotes of a loader that the check did not refuse, taken over
// from the loader (which is done with them), prices and volume as the
// service sent them ("." as decimal point): no number is rounded on its way
// to a file.
CurrentBatch CurrentRun::batchOf(loader& l)
{
    QVector<CurrentQuote>& quotes = l.checkedQuotes().quotes;
    CurrentBatch batch;
    batch.quotes.reserve(quotes.size());
    for (CurrentQuote& q : quotes) {
        if (!q.ticker.isEmpty() && !q.bar.has(core::Bar::Refused))
            batch.quotes.append(std::move(q));
    }
    quotes.clear();
    return batch;
}
