#include "database/settingsrow.h"
#include "runs/historyrun.h"

#include "database/bookkeeping.h"
#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "quotes/clshistory.h"
#include "quotes/gap.h"
#include "quotes/loader.h"
#include "quotes/tickeronderzoek.h"
#include "runs/options.h"
#include "runs/runexports.h"
#include "runs/updates.h"
#include "support/errors.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/openfiles.h"
#include "support/state.h"
#include "support/yield.h"
#include "writers/formatregistry.h"

#include <QLocale>

namespace {
const QString kAborted = QStringLiteral("Download abborted by user");
// The start a failed all-data symbol is recorded with, so that a retry
// examines it again.
const QDate kAllDataMark(1930, 1, 1);

// Groups the statements of one step into one transaction, committed when
// the step ends however it ends. Without a transaction every statement
// would be a commit of its own, each waiting for the disk.
class CommitAtEnd {
public:
    explicit CommitAtEnd(Database& db) : db_(db)
    {
        try {
            db_.begin();
            open_ = true;
        } catch (const AppError&) {
        }
    }
    ~CommitAtEnd()
    {
        if (!open_)
            return;
        try {
            db_.commit();
        } catch (const AppError&) {
            try {
                db_.rollback();
            } catch (const AppError&) {
            }
        }
    }
    CommitAtEnd(const CommitAtEnd&) = delete;
    CommitAtEnd& operator=(const CommitAtEnd&) = delete;

private:
    Database& db_;
    bool open_ = false;
};

qint32 numberOf(const QDate& d)
{
    return d.year() * 10000 + d.month() * 100 + d.day();
}
}  // namespace

QString HistoryRunSummary::downloadErrors() const
{
    if (failedRanges == 0)
        return {};
    return QStringLiteral("%1 ranges not downloaded").arg(failedRanges);
}

HistoryRun::HistoryRun(QObject* parent) : QObject(parent) {}

HistoryRun::~HistoryRun() = default;

void HistoryRun::setStatus(int bar, int panel, const QString& text)
{
    emit statusChanged(bar, panel, text);
}

QVector<int> HistoryRun::chosenLists() const
{
    return severalLists ? options::chosenLists() : QVector<int>{list};
}

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

bool HistoryRun::StartHistoryRun()
{
    if (running_)
        return false;
    summary_ = HistoryRunSummary();
    retry_ = state().historyRetry;
    auto notStarted = [this] {
        summary_.nothingToDo = true;
        state().historyRetry = false;
        return false;
    };
    if (!retry_ && chosenLists().isEmpty()) {
        msgBox(QStringLiteral("First select one or more lists"));
        return notStarted();
    }
    historicalGap().setInterval(settings().intervalDownload);
    historicalGap().stop();
    openfiles::closeAll();
    if (!formats::formatGuard())
        return notStarted();

    state().abortFlag = false;
    state().lastHistoricalBody.clear();
    guarded([] { ResetLog(); });
    settingsrow::checkAndStoreFolders();
    updates::CheckForUpdateOnce();

    running_ = true;
    exports_ = std::make_unique<RunExports>(RunKind::Historical, summary_,
                                            [this](const QString& text) { setStatus(1, 3, text); });
    const bool staged = exports_->createStaging();
    if (!staged)
        state().abortFlag = true;
    int found = 0;
    {
        BusyPointer busy;
        state().runMessage.clear();
        WriteLog(QStringLiteral("Starting to read Metastock database"));
        if (staged && !exports_->begin())
            state().abortFlag = true;
        WriteLog(QStringLiteral("End reading Metastock database"));

        emit lockedChanged(true);
        setStatus(2, 1, QStringLiteral("Downloading from"));
        setStatus(2, 3, QStringLiteral("to"));
        found = DownloadHistory();
        if (found == 0 && !state().abortFlag) {
            msgBox(QStringLiteral("No symbols to download"));
            summary_.nothingToDo = true;
        }
    }
    exports_.reset();
    if (data_) {
        guarded([this] {
            summary_.failedRanges = bookkeeping::unsuccessfulHistoryCount(data_->db());
        });
    }
    data_.reset();
    openfiles::closeAll();
    if (state().abortFlag) {
        summary_.aborted = true;
        state().runMessage = kAborted;
    }
    state().abortFlag = false;
    state().historyRetry = false;
    running_ = false;

    setStatus(1, 3, QString());
    for (int panel : {2, 3})
        setStatus(1, panel, QString());
    for (int panel = 1; panel <= 4; ++panel)
        setStatus(2, panel, QString());
    emit progressChanged(0, 1);
    emit lockedChanged(false);
    setStatus(1, 1, summary_.outcome());
    return !summary_.aborted && !summary_.nothingToDo;
}

void HistoryRun::StopHistoryRun()
{
    setStatus(1, 2, QStringLiteral("Disconnecting..."));
    setStatus(1, 3, QStringLiteral("Please Wait..."));
    state().abortFlag = true;
}

QVector<HistoryRun::Row> HistoryRun::collect()
{
    QVector<Row> rows;
    if (retry_) {
        // A copy: the table is emptied before the first symbol.
        guarded([&] {
            rows.clear();
            for (const bookkeeping::HistoryRow& r : bookkeeping::unsuccessfulHistory(data_->db()))
                rows.append({r.ticker, r.name, r.start, r.end});
        });
        return rows;
    }
    QVector<lists::Symbol> symbols;
    guarded([&] { symbols = lists::symbolsForDownload(data_->db(), chosenLists()); });
    for (const lists::Symbol& s : symbols)
        rows.append({s.ticker, s.name, startDate, endDate});
    return rows;
}

int HistoryRun::DownloadHistory()
{
    setStatus(1, 2, QStringLiteral("Setting up connection...."));
    WriteLog(QStringLiteral("Collecting symbols to download"));
    data_ = clsData::open();
    if (!data_) {
        state().abortFlag = true;
        return 0;
    }
    WriteLog(QStringLiteral("symbols collected"));
    yieldToGui();
    // A run stopped before its first symbol leaves the history table (what
    // a retry reads) as the previous run left it.
    if (state().abortFlag)
        return 0;

    const QVector<Row> rows = collect();
    if (rows.isEmpty()) {
        WriteLog(QStringLiteral("No symbols to download"));
        return 0;
    }
    data_->leeghistory();
    const int count = static_cast<int>(rows.size());
    summary_.symbols = count;
    emit progressChanged(0, count);
    bool stopped = false;
    for (int i = 0; i < count && !stopped; ++i) {
        emit progressChanged(i + 1, count);
        exports_->setLastSymbol(i == count - 1);
        stopped = !downloadSymbol(rows[i]);
    }
    // A stopped run exports nothing: the formats see the abort flag.
    exports_->finish();
    return count;
}

bool HistoryRun::downloadSymbol(const Row& row)
{
    const QString& ticker = row.ticker;
    WriteLog(QStringLiteral("preparing ") + ticker);
    yieldToGui();
    if (state().abortFlag)
        return false;

    const bool retryAll = retry_ && row.start == kAllDataMark;
    const bool all = allData || retryAll;
    QDate start = retryAll ? startDate : row.start;
    QDate end = retryAll ? endDate : row.end;
    if (all) {
        clsTickeronderzoek t;
        t.ticker = ticker;
        const bool found = t.examine();
        if (state().abortFlag)
            return false;
        if (found) {
            end = today;
            const QDate first(t.startDatumYear, t.startDatumMonth, t.startDatumDay);
            start = first.isValid() && first <= today ? first : today.addDays(-1);
        } else {
            recordHistory(*data_, ticker, row.name, kAllDataMark, today.addDays(-1), false, true, false);
            start = end = today;
        }
    }

    clsHistory history;
    history.HTicker = ticker;
    history.HName = row.name;
    history.data = data_.get();
    history.today = today;
    for (const auto& [from, to] : chunks(ticker, start, end)) {
        history.startdate << from;
        history.enddate << to;
    }
    history.status = [this](int bar, int panel, const QString& text) { setStatus(bar, panel, text); };
    history.writeRecords = [&](const QVector<HistoryRecord>& days) {
        if (exports_->writeHistory(ticker, row.name, days, HistoryStep::EachRange))
            return true;
        state().abortFlag = true;  // Abort in the error dialog ends the run
        return false;
    };
    if (start.isValid() && end.isValid()) {
        // The ranges' history rows reach the disk in one commit, also when
        // the run stops in the middle. The commit comes before the files are
        // written: the MetaStock writer records new securities through a
        // connection of its own, which an open transaction here would lock out.
        CommitAtEnd commit(data_->db());
        history.go();
    }
    summary_.requests += history.requests();
    summary_.failedRequests += history.failedRequests();
    QVector<HistoryRecord> days = history.records();
    WriteLog(QStringLiteral("finished downloading ") + ticker);
    yieldToGui();
    if (state().abortFlag)
        return false;

    if (settings().dcurrent == 0) {
        WriteLog(QStringLiteral("Unchecked"));
        if (all || end == today)
            topUp(ticker, row.name, start, history.lastDate(), days);
    }
    summary_.quotesReceived += static_cast<int>(days.size());
    if (!days.isEmpty() && !exports_->writeHistory(ticker, row.name, days, HistoryStep::WholeSymbol)) {
        state().abortFlag = true;  // Abort in the error dialog ends the run
        return false;
    }
    if (state().abortFlag)
        return false;
    yieldToGui();
    return true;
}

// Today's quote from the current-quote service, when the history has not
// got it yet. It goes to the per-symbol formats with the rest of the days.
void HistoryRun::topUp(const QString& ticker, const QString& name, const QDate& start, qint32 lastDate,
                       QVector<HistoryRecord>& days)
{
    setStatus(1, 2, QStringLiteral("Download ") + ticker.trimmed() + QStringLiteral("..."));
    const QString shown = QLocale().toString(today, QLocale::ShortFormat);
    setStatus(2, 2, shown);
    setStatus(2, 4, shown);
    WriteLog(QStringLiteral("panels set"));
    loader loader1;
    loader1.directUse = true;
    loader1.setTickers({ticker});
    WriteLog(QStringLiteral("loader start"));
    loader1.startnu();
    WriteLog(QStringLiteral("loader end"));
    const CurrentQuotes& q = loader1.quotes();
    if (!loader1.DownloadOk() || q.size() == 0)
        return;
    WriteLog(QStringLiteral("download ok"));
    const qint32 date = q.yahoodate[0];
    WriteLog(QStringLiteral("yahoodate ") + QString::number(date));
    if (date == 0 || date <= lastDate || date < numberOf(start))
        return;
    HistoryRecord r;
    r.ticker = ticker;
    r.date = date;
    r.close = quotetext::plainNumber(q.yahooclose[0]);
    r.open = q.yahooopen[0] == 0 ? r.close : quotetext::plainNumber(q.yahooopen[0]);
    r.high = q.yahoohigh[0] == 0 ? r.close : quotetext::plainNumber(q.yahoohigh[0]);
    r.low = q.yahoolow[0] == 0 ? r.close : quotetext::plainNumber(q.yahoolow[0]);
    r.volume = quotetext::plainNumber(q.yahoovolume[0]);
    WriteLog(QStringLiteral("open ") + r.open);
    WriteLog(QStringLiteral("high ") + r.high);
    WriteLog(QStringLiteral("low ") + r.low);
    WriteLog(QStringLiteral("close ") + r.close);
    WriteLog(QStringLiteral("volume") + r.volume);
    days.append(r);

    const QDate day(date / 10000, date / 100 % 100, date % 100);
    recordHistory(*data_, ticker, name, day, day, true, false, false);
}
