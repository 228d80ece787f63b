#include "runs/currentrun.h"
#include "runs/metastockbatch.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/settingsrow.h"
#include "quotes/gap.h"
#include "quotes/loader.h"
#include "runs/options.h"
#include "runs/runexcel.h"
#include "runs/runsupport.h"
#include "runs/updates.h"
#include "support/errors.h"
#include "support/folders.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/openfiles.h"
#include "support/paths.h"
#include "support/settingsstore.h"
#include "support/state.h"
#include "support/textconv.h"
#include "support/yield.h"
#include "writers/formatregistry.h"
#include "writers/runfiles.h"


namespace {
const QString kAborted = QStringLiteral("Download abborted by user");
}  // namespace

CurrentRun::CurrentRun(QObject* parent) : QObject(parent) {}

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

    if (mode == Mode::Normal)
        runsupport::checkExportFolders();
    if (!formats::formatGuard()) {
        summary_.nothingToDo = true;
        return false;
    }
    openfiles::closeAll();
    updates::CheckForUpdateOnce();

    running_ = true;
    maxInFlight_ = maxInFlight();
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
    waiting_.clear();
    completed_.clear();
    runTickers_.clear();
    excel_.reset();
    data_.reset();
    if (state().abortFlag)
        summary_.aborted = true;
    // Quotes only staged for the PRN run file never reached it.
    if (summary_.aborted)
        summary_.written.remove(QLatin1Char('P'));
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
    excel_ = std::make_unique<RunExcel>([this](const QString& text) { setPanel2(text); });
    if (!excel_->start())
        state().abortFlag = true;
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
        runTickers_.insert(symbols[i].ticker);
        if (batch.size() == kBatchSize || totalDispatched_ + batch.size() == rows) {
            totalDispatched_ += static_cast<int>(batch.size());
            setPanel1(QStringLiteral("Downloading %1 quotes....").arg(totalDispatched_));
            yieldToGui();
            dispatch(batch);
            batch.clear();
            writeCompleted();
        }
    }

    // Every batch, re-downloads of changed tickers included, is written
    // before the run's files are closed. Stop does not cut this wait short:
    // running requests see the flag themselves and end quickly.
    waitForBatches();
    setPanel1(QString());
    setPanel2(QString());
    excel_->finish(summary_);

    if (state().abortFlag) {
        state().runMessage = kAborted;
        return;
    }
    finishFiles();
    if (s.selectamibroker)
        runAmiBrokerImport(summary_, [this](const QString& text) { setPanel2(text); });
    if (s.selectprn) {
        setPanel2(QStringLiteral("Exporting to PRN..."));
        const StepOutcome outcome = guarded([] { runfiles::copyRunFile(false); });
        if (outcome != StepOutcome::Done) {
            notWritten(summary_.written.value(QLatin1Char('P')));
            summary_.written.remove(QLatin1Char('P'));
        }
        setPanel2(QString());
    }
}

// A batch gets its own loader; its request goes out as soon as fewer than
// maxInFlight requests are on their way.
void CurrentRun::dispatch(const QStringList& tickers)
{
    QStringList batch = tickers;
    while (batch.size() < kBatchSize)
        batch << QString();
    const int index = static_cast<int>(loaders_.size());
    loaders_.push_back(std::make_unique<loader>());
    loader* l = loaders_.back().get();
    connect(l, &loader::ready, this, [this, index] { loaderReady(index); });
    l->setTickers(batch);
    waiting_.push_back(index);
    startWaiting();
}

void CurrentRun::startWaiting()
{
    if (state().abortFlag)
        waiting_.clear();  // Stop: nothing more is sent
    while (inFlight_ < maxInFlight_ && !waiting_.empty()) {
        const int k = waiting_.front();
        waiting_.pop_front();
        ++inFlight_;
        ++summary_.batches;
        loaders_[static_cast<size_t>(k)]->go();
    }
}

// Runs inside whatever event loop delivered the answer: it only notes the
// batch and hands its slot to the next one. Writing happens in the run's
// own loop, one whole batch at a time.
void CurrentRun::loaderReady(int k)
{
    --inFlight_;
    completed_.push_back(k);
    startWaiting();
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

void CurrentRun::waitForBatches()
{
    for (;;) {
        writeCompleted();
        if (state().abortFlag)
            waiting_.clear();
        if (idle())
            return;
        waitUntil([this] { return !completed_.empty() || idle(); }, -1, AbortFlag::Ignore);
    }
}

bool CurrentRun::idle() const
{
    return !completing_ && inFlight_ == 0 && waiting_.empty() && completed_.empty() && (!excel_ || excel_->idle());
}

void CurrentRun::BatchComplete(int k)
{
    if (state().abortFlag)
        return;
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

// The formats in their fixed order: Excel, the staging files of PRN and
// AmiBroker, MetaStock, Stockguru, Advanced GET, ASCII, KBF, Vision2000,
// Vikingen. A batch once begun is written to every format, also when Stop
// comes meanwhile, so that all formats hold the same days; only Abort in an
// error dialog ends it early.
void CurrentRun::writeBatch(loader& l)
{
    Batch batch = batchOf(l);
    excel_->write(l, totalDispatched_);  // Excel
    if (!writeStaging(batch))  // PRN and AmiBroker
        return;
    if (settings().selectmetastock &&  // MetaStock
        !metastockbatch::writeBatch(batch.quotes, [this](const QString& t) { setPanel2(t); },
                                    summary_.written[QLatin1Char('M')], summary_.writeFailures))
        return;
    if (!writeSymbolFiles(batch, QLatin1Char('S')))  // Stockguru
        return;
    if (!writeSymbolFiles(batch, QLatin1Char('D')))  // Advanced GET
        return;
    if (!writeSymbolFiles(batch, QLatin1Char('C')))  // ASCII
        return;
    if (!writeSymbolFiles(batch, QLatin1Char('K')))  // KBF
        return;
    if (!appendToRunFile(batch, QLatin1Char('V')))  // Vision2000
        return;
    appendToRunFile(batch, QLatin1Char('I'));  // Vikingen
}

void CurrentRun::finishFiles()
{
    for (auto* file : {&ami1_, &ami2_, &vision_, &vikingen_}) {
        if (*file)
            (*file)->close();
    }
}
