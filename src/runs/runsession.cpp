#include "runs/runsession.h"

#include "database/quotestore.h"
#include "runs/placement.h"
#include "runs/updates.h"
#include "support/log.h"
#include "support/messages.h"
#include "support/runlock.h"
#include "support/state.h"

#include <QTimer>
#include <algorithm>
#include <ctime>
#include <iterator>

RunSession::RunSession(QObject* parent) : QObject(parent) {}

RunSession::~RunSession() = default;

void RunSession::start()
{
    if (running_ || starting_ || checking_)
        return;
    cancel_.reset();
    writes_.reset();
    storeSeconds_ = 0;
    starting_ = true;
    if (!begin()) {
        starting_ = false;
        // A refusal is reported from the event loop as well: whoever started
        // the run has connected to `finished` by then.
        release();
        QTimer::singleShot(0, this, [this] { emit finished(false); });
        return;
    }
    checkForUpdate();
    starting_ = false;
}

void RunSession::checkForUpdate()
{
    if (!checksForUpdate() || !updates::updateCheckDue()) {
        proceed();
        return;
    }
    auto* check = new updates::UpdateCheck(updates::UpdateCheck::Answer::Offer, this);
    checking_ = true;
    connect(check, &updates::UpdateCheck::finished, this, [this, check] {
        check->deleteLater();
        checking_ = false;
        proceed();
    });
    check->start();
}

void RunSession::stop()
{
    stopping();
    cancel();
    wake();
}

bool RunSession::lockFolder(QString* refusal, const QString& what)
{
    lock_ = std::make_unique<RunLock>();
    if (lock_->acquire(what, refusal))
        return true;
    lock_.reset();
    return false;
}

bool RunSession::openStore(bool reading)
{
    try {
        store_ = std::make_unique<QuoteStore>();
        storeRefusalShown_ = false;
        if (reading)
            return true;
        const QDateTime now = QDateTime::currentDateTimeUtc();
        store_->begin();
        source_ = store_->source(settings().quoteHost, now.addMSecs(-now.time().msec()));
        store_->commit();
        return true;
    } catch (const StoreError& e) {
        store_.reset();
        msgBox(e.description(), Icon::Critical);
        return false;
    }
}

namespace {

// Adds the CPU time of this thread from its making to its end to `total`.
class StoreClock {
public:
    explicit StoreClock(double& total) : total_(total), start_(now()) {}
    ~StoreClock() { total_ += now() - start_; }
    StoreClock(const StoreClock&) = delete;
    StoreClock& operator=(const StoreClock&) = delete;

private:
    static double now()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }
    double& total_;
    double start_;
};

}  // namespace

bool RunSession::storeFailed(const std::exception& e)
{
    store_->rollback();
    const auto* error = dynamic_cast<const AppError*>(&e);
    const QString why = error ? error->description() : QString::fromUtf8(e.what());
    WriteLog(why);
    if (!storeRefusalShown_) {
        storeRefusalShown_ = true;
        msgBox(why + QStringLiteral("\nWhat the store did not get is written to no file."), Icon::Critical);
    }
    return false;
}

bool RunSession::storeBars(const QString& ticker, const QVector<core::Bar>& days, const QVector<core::Bar>& later,
                           const QHash<qint32, core::Bar>& asSent)
{
    if (!store_)
        return true;
    const auto refused = [](const core::Bar& b) { return b.has(core::Bar::Refused); };
    const StoreClock clock(storeSeconds_);
    try {
        store_->begin();
        for (const QVector<core::Bar>* part : {&days, &later}) {
            if (std::any_of(part->cbegin(), part->cend(), refused)) {
                QVector<core::Bar> kept;
                std::remove_copy_if(part->cbegin(), part->cend(), std::back_inserter(kept), refused);
                store_->putDays(ticker, kept, source_, asSent);
            } else if (!part->isEmpty()) {
                store_->putDays(ticker, *part, source_, asSent);
            }
        }
        store_->commit();
        return true;
    } catch (const std::exception& e) {
        return storeFailed(e);
    }
}

bool RunSession::storeQuotes(const QVector<StoredQuote>& quotes)
{
    if (!store_)
        return true;
    const StoreClock clock(storeSeconds_);
    try {
        store_->begin();
        for (const StoredQuote& q : quotes)
            store_->put(*q.ticker, *q.bar, source_, q.asSent);
        store_->commit();
        return true;
    } catch (const std::exception& e) {
        return storeFailed(e);
    }
}

void RunSession::holdPlacement(bool unattended) { placing_ = std::make_unique<placement::RunPlacement>(unattended); }

void RunSession::holdBusyPointer() { busy_ = std::make_unique<BusyPointer>(); }

void RunSession::releaseBusyPointer() { busy_.reset(); }

void RunSession::cancel()
{
    cancel_.cancel();
    writes_.cancel();
    cancelling();
}

void RunSession::wake()
{
    if (woken_ || !running_)
        return;
    woken_ = true;
    QTimer::singleShot(0, this, &RunSession::pump);
}

void RunSession::pump()
{
    woken_ = false;
    if (!running_)
        return;
    // A step that hands control to the event loop (a writer turning the
    // window) may be asked for again meanwhile: it runs after this one.
    if (advancing_) {
        again_ = true;
        return;
    }
    advancing_ = true;
    advance();
    advancing_ = false;
    if (again_) {
        again_ = false;
        wake();
    }
}

void RunSession::releaseForFollowUp()
{
    release();
    followingUp_ = true;
}

void RunSession::release()
{
    running_ = false;
    followingUp_ = false;
    placing_.reset();
    store_.reset();
    lock_.reset();
    busy_.reset();
}

void RunSession::end(bool ok)
{
    release();
    if (starting_)
        QTimer::singleShot(0, this, [this, ok] { emit finished(ok); });
    else
        emit finished(ok);
}
