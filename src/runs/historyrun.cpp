#include "runs/historyrun.h"
#include "database/settingsrow.h"

#include "core/dates.h"
#include "database/bookkeeping.h"
#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/quotestore.h"
#include "quotes/clshistory.h"
#include "quotes/fetch.h"
#include "quotes/integrity.h"
#include "quotes/loader.h"
#include "quotes/pages.h"
#include "quotes/quoteclient.h"
#include "quotes/tickeronderzoek.h"
#include "runs/keptsent.h"
#include "runs/options.h"
#include "runs/placement.h"
#include "runs/provisional.h"
#include "runs/runexports.h"
#include "runs/symbolnaming.h"
#include "support/changes.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/openfiles.h"
#include "support/runlock.h"
#include "support/safefile.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "writers/formatregistry.h"

#include <QFileInfo>
#include <QLocale>
#include <algorithm>

namespace {
const QString kAborted = QStringLiteral("Download abborted by user");
// The start a failed all-data symbol is recorded with, so that a retry
// examines it again.
const QDate kAllDataMark(1930, 1, 1);
}  // namespace

QString HistoryRunSummary::downloadErrors() const
{
    if (filling)
        return nothingStored == 0 ? QString() : QStringLiteral("%1 with nothing stored").arg(count(nothingStored));
    if (failedRanges == 0)
        return {};
    return QStringLiteral("%1 ranges not downloaded").arg(count(failedRanges));
}

QString HistoryRunSummary::head() const
{
    if (!filling)
        return RunSummary::head();
    if (aborted)
        return QStringLiteral("Fill stopped by user");
    if (totalWritten() == 0 && quotesReceived > 0)
        return QStringLiteral("No quotes could be written");
    return QStringLiteral("Fill finished");
}

QString HistoryRunSummary::writtenText() const
{
    return QStringLiteral("%1 of %2 symbols written, %3 quotes")
        .arg(count(symbolsWritten), count(symbols), count(quotesReceived));
}

HistoryRun::HistoryRun(QObject* parent) : RunSession(parent) {}

HistoryRun::~HistoryRun() = default;

void HistoryRun::setStatus(int bar, int panel, const QString& text) { emit statusChanged(bar, panel, text); }

QVector<int> HistoryRun::chosenLists() const { return severalLists ? options::chosenLists() : QVector<int>{list}; }

QVector<QPair<QDate, QDate>> HistoryRun::chunks(const QString& ticker, const QDate& start, const QDate& end)
{
    const int length = ticker.contains(QLatin1Char('.')) ? 200 : 3000;
    QVector<QPair<QDate, QDate>> out;
    QDate from = start;
    while (from.daysTo(end) >= length + 1) {
        out.append({from, from.addDays(length)});
        from = from.addDays(length + 1);
    }
    out.append({from, end});
    return out;
}

QVector<QPair<QDate, QDate>> HistoryRun::requestRanges(const QString& ticker, const QDate& start,
                                                       const QDate& end) const
{
    if (client_->chartHostKeepsItsPace())
        return {{start, end}};
    return chunks(ticker, start, end);
}

int HistoryRun::maxInFlight()
{
    const QString stored = store::read(QStringLiteral("MaxInFlightHistory"), QString::number(kDefaultMaxInFlight));
    const auto value = textconv::toInteger(stored.trimmed(), 1, 16);
    return value ? static_cast<int>(*value) : kDefaultMaxInFlight;
}

bool HistoryRun::begin()
{
    summary_ = HistoryRunSummary();
    summary_.filling = filling();
    retry_ = takesRetryFlag() && state().historyRetry;
    auto forgetRetry = [this] {
        if (takesRetryFlag())
            state().historyRetry = false;
    };
    auto notStarted = [this, &forgetRetry] {
        summary_.nothingToDo = true;
        forgetRetry();
        return false;
    };
    if (!retry_ && !ranges && chosenLists().isEmpty()) {
        msgBox(QStringLiteral("First select one or more lists"));
        return notStarted();
    }
    // Before anything of the folder is touched: another run's files stay
    // as that run has them.
    QString refusal;
    if (!lockFolder(&refusal, filling() ? QStringLiteral("fill") : QStringLiteral("download"))) {
        refuseBusy(refusal, false, summary_, [this](const QString& t) { setStatus(1, 1, t); });
        forgetRetry();
        return false;
    }
    // Stop reaches the run's requests through its client.
    client_.reset();
    if (!filling()) {
        client_ = std::make_unique<QuoteClient>(&cancelToken());
        client_->historicalGap().setInterval(settings().intervalDownload);
    }
    maxInFlight_ = maxInFlight();
    openfiles::closeAll();
    if (!onlyFormat.isNull()) {
        const ExportFormat* only = formats::find(onlyFormat);
        if (!only || !only->isOn()) {
            msgBox(QStringLiteral("%1 is off: switch it on first.").arg(only ? only->name() : QString(onlyFormat)));
            return notStarted();
        }
    } else if (!formats::formatGuard()) {
        return notStarted();
    }
    // A fill reads the store and makes none.
    if (filling() && !QFileInfo::exists(QuoteStore::defaultPath())) {
        msgBox(QStringLiteral("The quote store %1 holds nothing yet: a download fills it.")
                   .arg(QuoteStore::defaultPath()));
        return notStarted();
    }

    guarded([] { ResetLog(); });
    return true;
}

void HistoryRun::proceed()
{
    markRunning();
    holdPlacement(false);
    exports_ = std::make_unique<RunExports>(
        RunKind::Historical, summary_, [this](const QString& text) { setStatus(1, 3, text); }, false, onlyFormat);
    exports_->setWake([this] { wake(); });
    exports_->setCancelToken(&writesToken());
    const bool staged = exports_->createStaging();
    if (!staged)
        cancel();
    holdBusyPointer();
    state().runMessage.clear();
    WriteLog(QStringLiteral("Starting to read Metastock database"));
    if (staged && !exports_->begin())
        cancel();
    WriteLog(QStringLiteral("End reading Metastock database"));

    emit lockedChanged(true);
    setStatus(2, 1, filling() ? QStringLiteral("Filling from") : QStringLiteral("Downloading from"));
    setStatus(2, 3, QStringLiteral("to"));
    setStatus(1, 2,
              filling() ? QStringLiteral("Reading the quote store....") : QStringLiteral("Setting up connection...."));
    WriteLog(QStringLiteral("Collecting symbols to download"));
    // A fill of given ranges asks the symbol database nothing (it records no
    // history): it goes without a connection, whose opening derives the
    // database's key.
    const bool needsData = !(filling() && ranges);
    if (needsData)
        data_ = clsData::open();
    if ((needsData && !data_) || !openStore(filling())) {
        data_.reset();
        cancel();
        conclude(0);
        return;
    }
    WriteLog(QStringLiteral("symbols collected"));
    // A Stop that comes before the first symbol is seen first.
    collecting_ = true;
    wake();
}

void HistoryRun::advance()
{
    if (closing_) {
        if (!naming_ || naming_->idle()) {
            closing_ = false;
            conclude(found_);
        }
        return;
    }
    if (finishing_) {
        if (exports_->finish()) {
            finishing_ = false;
            formatsFinished();
        }
        return;
    }
    if (collecting_) {
        collecting_ = false;
        found_ = startDownload();
        if (jobs_.empty()) {
            conclude(found_);
            return;
        }
    }
    startJobs();
    writeReady();
    if (active_ == 0 && ready_.empty() && (next_ >= jobs_.size() || stopped()) && exports_->idle())
        endDownload();
}

// Ends the run, with `found` symbols to download.
void HistoryRun::conclude(int found)
{
    if (found == 0 && !cancelled()) {
        msgBox(filling() ? QStringLiteral("No symbols to fill") : QStringLiteral("No symbols to download"));
        summary_.nothingToDo = true;
    }
    releaseBusyPointer();
    exports_.reset();
    naming_.reset();
    if (data_ && !filling()) {
        guarded([this] { summary_.failedRanges = bookkeeping::unsuccessfulHistoryCount(data_->db()); });
    }
    data_.reset();
    openfiles::closeAll();
    if (cancelled()) {
        summary_.aborted = true;
        state().runMessage = kAborted;
    }
    if (filling() && summary_.totalWritten() == 0)
        summary_.symbolsWritten = 0;
    if (takesRetryFlag())
        state().historyRetry = false;
    markEnded();

    setStatus(1, 3, QString());
    for (int panel : {2, 3})
        setStatus(1, panel, QString());
    for (int panel = 1; panel <= 4; ++panel)
        setStatus(2, panel, QString());
    // A finished run's bar stays as the run left it (full when every
    // symbol was done) beside its outcome, until the next run; a run that
    // got nothing leaves it empty.
    if (summary_.symbols == 0 || summary_.quotesReceived == 0)
        emit progressChanged(0, 1);
    if (client_)
        summary_.fetches = client_->record();
    emit lockedChanged(false);
    setStatus(1, 1, summary_.outcome());
    end(!summary_.aborted && !summary_.nothingToDo);
}

void HistoryRun::cancelling()
{
    if (exports_)
        exports_->stop();
    if (naming_)
        naming_->stop();
}

void HistoryRun::stopping()
{
    setStatus(1, 2, QStringLiteral("Disconnecting..."));
    setStatus(1, 3, QStringLiteral("Please Wait..."));
}

QVector<HistoryRun::Row> HistoryRun::collect()
{
    QVector<Row> rows;
    if (ranges) {
        for (const Range& r : *ranges)
            rows.append({r, false});
        return rows;
    }
    if (retry_) {
        // A copy: the table is emptied before the first symbol.
        guarded([&] {
            rows.clear();
            for (const bookkeeping::HistoryRow& r : bookkeeping::unsuccessfulHistory(data_->db()))
                rows.append({{r.ticker, r.name, r.start, r.end}, r.timedOut});
        });
        return rows;
    }
    QVector<lists::Symbol> symbols;
    guarded([&] { symbols = lists::symbolsForDownload(data_->db(), chosenLists()); });
    // A fill asks nothing: the symbols are named by the downloads.
    if (client_) {
        naming_ = std::make_unique<SymbolNaming>(*client_, *data_);
        naming_->setSymbols(symbols);
        connect(naming_.get(), &SymbolNaming::idled, this, [this] {
            if (closing_)
                wake();
        });
    }
    for (const lists::Symbol& s : symbols)
        rows.append({{s.ticker, s.name, startDate, endDate}, false});
    return rows;
}

// One symbol of the run, from its first request to its rows in the history
// table. Its steps (examination, ranges, top-up) run one after the other;
// each answer starts the next.
struct HistoryRun::Job {
    Row row;
    bool all = false;  // all-data mode for this symbol
    QDate start, end;
    std::unique_ptr<AsyncFetch> examination;  // the historical-prices page
    std::unique_ptr<clsHistory> history;
    std::unique_ptr<loader> topUp;
    QVector<core::Bar> days;             // the ranges' days, oldest first
    QVector<core::Bar> topUpDay;         // today's quote, when it adds a day
    QHash<qint32, core::Bar> sent;       // the values as sent of the days the check repaired
    QVector<HistoryAttempt> outcomes;    // what the history table is to record
    QVector<HistorySplit> splits;        // the splits the answers named
    QVector<clsData::Finding> findings;  // what the integrity check found
    bool interrupted = false;            // Stop came before every range was in
    qsizetype requests = 1;              // as far as known before it begins
    qsizetype answered = 0;              // requests answered so far
};

int HistoryRun::startDownload()
{
    jobs_.clear();
    ready_.clear();
    // A run stopped before its first symbol leaves the history table (what
    // a retry reads) as the previous run left it.
    if (cancelled())
        return 0;

    const QVector<Row> rows = collect();
    if (rows.isEmpty()) {
        WriteLog(QStringLiteral("No symbols to download"));
        return 0;
    }
    // What a fill writes was downloaded (and checked) before: the last
    // download's history rows and findings stay for its report and retry.
    if (!filling() && recordsHistory) {
        data_->leeghistory();
        data_->leegfindings();
    }
    integrityAction_ = static_cast<int>(integrity::storedAction());
    const int count = static_cast<int>(rows.size());
    summary_.symbols = count;
    for (const Row& r : rows) {
        jobs_.push_back(std::make_unique<Job>());
        jobs_.back()->row = r;
        jobs_.back()->requests = requestCount(r);
    }
    // The symbols with the most requests first: each symbol's requests go
    // one after the other, so one begun last would keep the run going alone
    // at its end while the other slots stay empty.
    std::stable_sort(jobs_.begin(), jobs_.end(),
                     [](const auto& a, const auto& b) { return a->requests > b->requests; });
    next_ = 0;
    active_ = finished_ = 0;
    requestsTotal_ = requestsDone_ = 0;
    for (const auto& job : jobs_)
        requestsTotal_ += static_cast<int>(job->requests);
    clock_.start();
    stopped_ = false;
    showProgress();
    return count;
}

// Every symbol begun is written or given up, and no format has a write
// pending.
void HistoryRun::endDownload()
{
    // A stopped retry keeps the rows it has not come to: the next retry
    // still finds them.
    if (retry_) {
        for (size_t i = next_; i < jobs_.size(); ++i)
            recordOutcomes(*jobs_[i], false);
    }
    jobs_.clear();
    // A stopped run exports nothing: the formats see its cancel token.
    finishing_ = true;
    if (naming_)
        naming_->flush();
    if (exports_->finish()) {
        finishing_ = false;
        formatsFinished();
    }
}

// Checks of new symbols still on their way end before the run does: the
// run's client and connection go with it.
void HistoryRun::formatsFinished()
{
    if (naming_ && !naming_->idle()) {
        closing_ = true;
        setStatus(1, 2, QStringLiteral("Checking new symbols...."));
        return;
    }
    conclude(found_);
}

// The requests a symbol's range takes, as far as known before it begins
// (an all-data symbol's range comes from its examination).
qsizetype HistoryRun::requestCount(const Row& row) const
{
    if (filling())
        return 1;  // one read of the store
    if (allData || (retry_ && row.start == kAllDataMark) || !row.start.isValid() || !row.end.isValid())
        return 1;
    return requestRanges(row.ticker, row.start, row.end).size();
}

bool HistoryRun::stopped() const { return stopped_ || cancelled(); }

void HistoryRun::showProgress()
{
    const int total = static_cast<int>(jobs_.size());
    const int maximum = std::max(requestsTotal_, 1);
    emit progressChanged(std::min(requestsDone_, maximum), maximum);
    QString text = QStringLiteral("%1 of %2 symbols").arg(finished_).arg(total);
    if (!filling())
        text += QStringLiteral(", %1 of %2 requests").arg(std::min(requestsDone_, requestsTotal_)).arg(requestsTotal_);
    // Once a few answers are in, what is left takes as long per request.
    if (requestsDone_ >= 3 && requestsDone_ < requestsTotal_ && clock_.isValid()) {
        const qint64 left = clock_.elapsed() * (requestsTotal_ - requestsDone_) / requestsDone_ / 1000;
        text += left >= 90 ? QStringLiteral(", about %1 min left").arg((left + 30) / 60)
                           : QStringLiteral(", about %1 s left").arg(std::max<qint64>(left, 1));
    }
    setStatus(1, 1, text);
}

// Begins symbols while fewer than the most requests are in flight: each
// symbol has at most one request on its way. A symbol downloaded but not
// written yet keeps its slot: the downloads never run ahead of the writing
// (with all their days in memory).
void HistoryRun::startJobs()
{
    while (active_ + static_cast<int>(ready_.size()) < maxInFlight_ && next_ < jobs_.size() && !stopped()) {
        Job& job = *jobs_[next_++];
        ++active_;
        exports_->setLastSymbol(next_ == jobs_.size());
        begin(job);
    }
    showProgress();
}

void HistoryRun::begin(Job& job)
{
    const Row& row = job.row;
    WriteLog(QStringLiteral("preparing ") + row.ticker);
    if (filling()) {
        job.start = row.start;
        job.end = row.end;
        readStored(job);
        return;
    }
    const bool retryAll = retry_ && row.start == kAllDataMark;
    job.all = allData || retryAll;
    job.start = retryAll ? startDate : row.start;
    job.end = retryAll ? endDate : row.end;
    if (!job.all) {
        download(job);
        return;
    }
    job.examination = std::make_unique<AsyncFetch>(*client_, clsTickeronderzoek::historyPageRequest(row.ticker));
    connect(job.examination.get(), &AsyncFetch::finished, this, [this, &job] { examined(job); });
    job.examination->start();
}

void HistoryRun::examined(Job& job)
{
    const FetchResult& page = job.examination->result();
    if (page.aborted || cancelled()) {
        job.interrupted = true;
        stepsDone(job);
        return;
    }
    if (const auto found = findHistoryStart(page.body)) {
        const QDate first(found->year, found->month, found->day);
        job.end = today;
        job.start = first.isValid() && first <= today ? first : today.addDays(-1);
    } else {
        job.outcomes.append({kAllDataMark, today.addDays(-1), false, true, false});
        job.start = job.end = today;
    }
    download(job);
}

void HistoryRun::download(Job& job)
{
    if (!job.start.isValid() || !job.end.isValid()) {
        downloaded(job);
        return;
    }
    job.history = std::make_unique<clsHistory>(*client_);
    clsHistory& history = *job.history;
    history.HTicker = job.row.ticker;
    history.HName = job.row.name;
    history.today = today;
    // The built-in gateway keeps the provider's pace itself.
    if (client_->chartHostKeepsItsPace())
        history.gap = nullptr;
    for (const auto& [from, to] : requestRanges(job.row.ticker, job.start, job.end)) {
        history.startdate << from;
        history.enddate << to;
    }
    history.status = [this](int bar, int panel, const QString& text) { setStatus(bar, panel, text); };
    connect(&history, &clsHistory::requestAnswered, this, [this, &job] {
        // An all-data symbol finds out how many requests it takes as it goes.
        if (++job.answered > job.requests) {
            ++job.requests;
            ++requestsTotal_;
        }
        ++requestsDone_;
        showProgress();
    });
    connect(&history, &clsHistory::finished, this, [this, &job] { downloaded(job); });
    history.start();
}

// The symbol's days of its range as the store holds them. A store that
// cannot be read ends the run: what it holds is not known.
void HistoryRun::readStored(Job& job)
{
    const qint32 from = job.start.isValid() ? core::dateNumber(job.start) : 0;
    const qint32 to = job.end.isValid() ? core::dateNumber(job.end) : 0;
    try {
        job.days = quoteStore()->bars(job.row.ticker, from, to);
    } catch (const StoreError& e) {
        WriteLog(e.description());
        if (!cancelled())
            msgBox(e.description(), Icon::Critical);
        job.interrupted = true;
        cancel();
    }
    stepsDone(job);
}

void HistoryRun::downloaded(Job& job)
{
    if (clsHistory* history = job.history.get()) {
        summary_.requests += history->requests();
        summary_.failedRequests += history->failedRequests();
        if (!history->complete()) {
            job.interrupted = true;
            stepsDone(job);
            return;
        }
        job.days = history->takeRecords();
        job.outcomes += history->outcomes();
        job.splits = history->splits();
    }
    WriteLog(QStringLiteral("finished downloading ") + job.row.ticker);
    const bool topUp = settings().dcurrent == 0 && (job.all || job.end == today) && !cancelled();
    if (settings().dcurrent == 0)
        WriteLog(QStringLiteral("Unchecked"));
    if (!topUp) {
        stepsDone(job);
        return;
    }
    // Today's quote from the current-quote service, when the history has
    // not got it yet. It goes to the per-symbol formats with the rest of the
    // days.
    setStatus(1, 2, QStringLiteral("Download ") + job.row.ticker.trimmed() + QStringLiteral("..."));
    const QString shown = QLocale().toString(today, QLocale::ShortFormat);
    setStatus(2, 2, shown);
    setStatus(2, 4, shown);
    WriteLog(QStringLiteral("panels set"));
    job.topUp = std::make_unique<loader>(*client_);
    job.topUp->gap = nullptr;  // neither waits for nor restarts the current-quote gap
    job.topUp->setTickers({job.row.ticker});
    connect(job.topUp.get(), &loader::ready, this, [this, &job] { toppedUp(job); });
    WriteLog(QStringLiteral("loader start"));
    job.topUp->go();
}

void HistoryRun::toppedUp(Job& job)
{
    WriteLog(QStringLiteral("loader end"));
    loader& l = *job.topUp;
    const CurrentQuotes& q = l.quotes();
    const qint32 lastDate = job.history ? job.history->lastDate() : 0;
    // The quote on its exchange's own day (not a legacy host's New York
    // day), provisional when it was taken before that exchange's close.
    QVector<CurrentQuote> marked;
    if (l.DownloadOk() && q.size() > 0) {
        marked = {q.quotes[0]};
        provisional::mark(marked, provisional::clockOf(l.url()));
    }
    const qint32 date = marked.isEmpty() ? 0 : marked[0].bar.date;
    if (date != 0) {
        WriteLog(QStringLiteral("download ok"));
        WriteLog(QStringLiteral("yahoodate ") + QString::number(date));
    }
    if (date != 0 && date > lastDate && date >= core::dateNumber(job.start)) {
        // The quote's numbers in their plain text: a missing open, high or
        // low takes the close.
        const core::Bar& quote = q.quotes[0].bar;
        core::Bar r;
        r.date = date;
        const auto plain = [](const core::Figure& f) { return core::Figure(quotetext::plainNumber(f.value), f.value); };
        r.close = plain(quote.close);
        r.open = quote.open.value == 0 ? r.close : plain(quote.open);
        r.high = quote.high.value == 0 ? r.close : plain(quote.high);
        r.low = quote.low.value == 0 ? r.close : plain(quote.low);
        r.volume = plain(quote.volume);
        r.set(core::Bar::TopUp);
        r.set(core::Bar::Provisional, marked[0].bar.has(core::Bar::Provisional));
        WriteLog(QStringLiteral("open ") + r.open.text);
        WriteLog(QStringLiteral("high ") + r.high.text);
        WriteLog(QStringLiteral("low ") + r.low.text);
        WriteLog(QStringLiteral("close ") + r.close.text);
        WriteLog(QStringLiteral("volume") + r.volume.text);
        job.topUpDay.append(r);
        const QDate day(date / 10000, date / 100 % 100, date % 100);
        job.outcomes.append({day, day, true, false, false});
    }
    stepsDone(job);
}

// Runs inside the signal that delivered the last answer: it only hands the
// job to the run's next step and its slot to the next symbol. The job's
// objects stay until that step has written it.
void HistoryRun::stepsDone(Job& job)
{
    // A symbol with days is known to the service: one still under "Unknown"
    // is checked beside the run, with the name today's quote carried.
    if (naming_ && !job.interrupted && (!job.days.isEmpty() || !job.topUpDay.isEmpty())) {
        const CurrentQuotes* quote = job.topUp ? &job.topUp->quotes() : nullptr;
        naming_->downloaded(
            {{job.row.ticker, quote && quote->size() > 0 ? quote->sentName(quote->quotes.first()) : QString()}});
    }
    --active_;
    ready_.push_back(&job);
    startJobs();
    wake();
}

// A symbol is handed to the formats once the one before is written. The
// files rewritten for up to kSymbolsPerStep symbols are made durable together
// (see safefile::Batch); only then are those symbols' history rows recorded,
// so no row claims days a file might still lose.
void HistoryRun::writeReady()
{
    while (!ready_.empty() && exports_->idle()) {
        safefile::Batch batch(&swept_);
        int symbols = 0;
        while (!ready_.empty() && exports_->idle() && symbols < kSymbolsPerStep) {
            Job& job = *ready_.front();
            finishSymbol(job);
            ready_.pop_front();
            ++symbols;
            startJobs();
        }
        settle(batch);
    }
}

// The step's files go into place; a file that could not be made durable
// kept its old content, and the symbols of the step count as not written.
void HistoryRun::settle(safefile::Batch& batch)
{
    const bool durable = batch.commit();
    if (!durable) {
        for (const safefile::Batch::Failure& f : batch.failures()) {
            const QString text = QStringLiteral("The file %1 could not be written: %2").arg(f.path, f.reason);
            WriteLog(text);
            summary_.notes << text;
        }
    }
    for (const Written& w : unrecorded_) {
        bool written = w.written;
        if (written && !durable) {
            written = false;
            summary_.writeFailures += w.days;
            if (w.counted)
                --summary_.symbolsWritten;
        }
        recordOutcomes(*w.job, written);
        w.job->findings = {};
    }
    unrecorded_.clear();
}

void HistoryRun::finishSymbol(Job& job)
{
    const int total = static_cast<int>(jobs_.size());
    ++finished_;
    // Requests the symbol did not need are done as well.
    requestsDone_ += static_cast<int>(std::max<qsizetype>(0, job.requests - job.answered));
    job.answered = job.requests;
    QString text;
    // A fill stops at once: what it has read but not written yet is in the
    // store still.
    if (filling() && stopped())
        job.interrupted = true;
    if (job.interrupted) {
        unrecorded_.push_back({&job, false, false, 0});
        text = QStringLiteral("stopped");
    } else {
        // A symbol whose ranges are all in is written also when Stop came
        // meanwhile; Stop during the writing itself still ends it.
        const int days = static_cast<int>(job.days.size() + job.topUpDay.size());
        stopped_ = stopped();
        allowWrites();
        const int writtenBefore = summary_.totalWritten();
        const int failuresBefore = summary_.writeFailures;
        bool written = writeSymbol(job);
        announce::filesWritten();
        if (!written)
            stopped_ = true;  // Abort in an error dialog, or Stop while writing, ends the run
        if (stopped_)
            cancel();
        // A format that could not write the symbol's file leaves its range
        // to the retry, whatever the other formats did; the symbol counts
        // as written when some format got its days and none failed to.
        // A fill of a format that writes at the end of the run (a workbook,
        // an import) counts the symbol when it is handed over.
        const bool formatFailed = summary_.writeFailures > failuresBefore;
        const bool counted = !formatFailed && (summary_.totalWritten() > writtenBefore || (filling() && days > 0));
        if (counted)
            ++summary_.symbolsWritten;
        if (formatFailed)
            written = false;
        // Recorded once the step's files are durable.
        unrecorded_.push_back({&job, written, counted, days});
        text = !written    ? QStringLiteral("not written")
               : days == 0 ? (filling() ? QStringLiteral("nothing stored") : QStringLiteral("no days"))
                           : QStringLiteral("%1 days").arg(days);
    }
    // The run's step is outside every signal of the job's objects: they
    // go now, with the answers they hold.
    job.examination.reset();
    job.history.reset();
    job.topUp.reset();
    job.days = {};
    job.topUpDay = {};
    job.sent = {};
    emit symbolFinished(job.row.ticker, finished_, total, text);
    showProgress();
}

// The ranges' days go to the formats that take each range (the staging and
// run files), then every day with today's to the per-symbol formats: one
// block per format and symbol.
bool HistoryRun::writeSymbol(Job& job)
{
    const Row& row = job.row;
    if (filling()) {
        // The store's days are what the formats got when they came in: no
        // second check, no second put. Every range's formats take the days
        // the ranges brought, the per-symbol ones today's quote as well.
        summary_.quotesReceived += static_cast<int>(job.days.size());
        if (job.days.isEmpty()) {
            ++summary_.nothingStored;
            return true;
        }
        QVector<core::Bar> rangeDays = job.days;  // shared unless today's quote is among them
        rangeDays.removeIf([](const core::Bar& b) { return b.has(core::Bar::TopUp); });
        return (rangeDays.isEmpty() ||
                exports_->writeHistory(row.ticker, row.name, rangeDays, HistoryStep::EachRange)) &&
               exports_->writeHistory(row.ticker, row.name, job.days, HistoryStep::WholeSymbol);
    }
    checkSymbol(job);
    summary_.quotesReceived += static_cast<int>(job.days.size() + job.topUpDay.size());
    if (job.days.isEmpty() && job.topUpDay.isEmpty()) {
        const bool failed = std::any_of(job.outcomes.begin(), job.outcomes.end(),
                                        [](const HistoryAttempt& a) { return a.failed || a.timedOut; });
        ++(failed || job.interrupted ? summary_.failedSymbols : summary_.notFound);
    }
    // Every day is in the store before any file gets it; what the store
    // refused reaches no file, and the symbol's range is left to the retry.
    if (!job.days.isEmpty() || !job.topUpDay.isEmpty()) {
        if (!storeBars(row.ticker, job.days, job.topUpDay, job.sent)) {
            summary_.writeFailures += static_cast<int>(job.days.size() + job.topUpDay.size());
            return true;
        }
        emit symbolAnswered(row.ticker, job.days + job.topUpDay);
    } else if (!job.interrupted && std::none_of(job.outcomes.begin(), job.outcomes.end(),
                                                [](const HistoryAttempt& a) { return a.failed || a.timedOut; })) {
        emit symbolAnswered(row.ticker, {});
    }
    if (!job.days.isEmpty() && !exports_->writeHistory(row.ticker, row.name, job.days, HistoryStep::EachRange))
        return false;
    if (!job.topUpDay.isEmpty())
        job.days += job.topUpDay;
    if (!job.days.isEmpty() && !exports_->writeHistory(row.ticker, row.name, job.days, HistoryStep::WholeSymbol))
        return false;
    return true;
}

// The symbol's days, today's included, pass the integrity check before any
// format sees them; the findings are recorded with the symbol's history rows.
void HistoryRun::checkSymbol(Job& job)
{
    const qint32 topUpDate = job.topUpDay.isEmpty() ? 0 : job.topUpDay.front().date;
    job.days += job.topUpDay;
    job.topUpDay.clear();
    integrity::Context c;
    c.ticker = job.row.ticker;
    c.stock = integrity::isStock(c.ticker);
    c.action = static_cast<integrity::Action>(integrityAction_);
    if (job.start.isValid() && job.start != kAllDataMark)
        c.first = core::dateNumber(job.start);
    if (job.end.isValid())
        c.last = core::dateNumber(job.end);
    for (const HistorySplit& s : job.splits)
        c.splits.append({s.date, s.ratio});
    const QVector<core::Bar> asSent = job.days;  // shared unless the check repairs a day
    QVector<integrity::Finding> found = integrity::checkHistory(job.days, c);
    if (asSent.constData() != job.days.constData()) {
        QHash<qint32, const core::Bar*> byDate;
        for (const core::Bar& b : asSent)
            byDate.insert(b.date, &b);
        for (const core::Bar& b : std::as_const(job.days)) {
            const core::Bar* sent = b.has(core::Bar::Repaired) ? byDate.value(b.date) : nullptr;
            if (sent)
                job.sent.insert(b.date, *sent);
        }
    }
    // Days whose repair the user undid stay as sent; a finding of only such
    // days is not made again.
    if (!job.sent.isEmpty() && quoteStore()) {
        const QSet<qint32> kept = keptsent::restore(*quoteStore(), job.row.ticker, job.days, job.sent);
        if (!kept.isEmpty())
            found.removeIf([&](const integrity::Finding& f) {
                for (int i = f.first; i < f.first + f.count && i < job.days.size(); ++i)
                    if (!kept.contains(job.days[i].date))
                        return false;
                return true;
            });
    }
    // Today's quote is the latest day; it goes on to the per-symbol formats only.
    if (topUpDate != 0 && !job.days.isEmpty() && job.days.back().date == topUpDate)
        job.topUpDay.append(job.days.takeLast());
    for (const integrity::Finding& f : found)
        job.findings.append({f.ticker, f.date, integrity::code(f.kind), f.seen, f.done});
    summary_.findings += static_cast<int>(found.size());
}

// A symbol's rows in one short transaction, after its files are written:
// a kill in between leaves a row missing (the retry asks again), never a
// row that claims days no file holds. A symbol not written records its
// whole range as not got; a retry's symbol its row as it was.
void HistoryRun::recordOutcomes(const Job& job, bool written)
{
    if (filling() || !recordsHistory)
        return;
    const Row& row = job.row;
    QVector<HistoryAttempt> outcomes;
    if (written) {
        outcomes = job.outcomes;
    } else if (retry_) {
        outcomes.append({row.start, row.end, false, !row.timedOut, row.timedOut});
    } else if (job.all || allData) {
        outcomes.append({kAllDataMark, today.addDays(-1), false, true, false});
    } else {
        outcomes.append({row.start, row.end, false, true, false});
    }
    if (outcomes.isEmpty() && job.findings.isEmpty())
        return;
    // One transaction: without it every statement would be a commit of its
    // own, each waiting for the disk.
    guarded([&] {
        Transaction transaction(data_->db());
        for (const HistoryAttempt& o : outcomes)
            recordHistory(*data_, row.ticker, row.name, o.start, o.end, o.succeeded, o.failed, o.timedOut);
        if (written)
            data_->voegfindingstoe(job.findings);
        transaction.commit();
    });
}
