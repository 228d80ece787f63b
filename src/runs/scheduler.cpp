#include "runs/scheduler.h"

#include "database/clsdata.h"
#include "database/db.h"
#include "database/lists.h"
#include "database/settingsrow.h"
#include "runs/currentrun.h"
#include "runs/hangup.h"
#include "support/errors.h"
#include "support/folders.h"
#include "support/runlock.h"
#include "writers/formatregistry.h"

#include <QTimer>
#include <algorithm>

const SchedulerClock& systemClock()
{
    static const SystemClock clock;
    return clock;
}

Scheduler::Scheduler(const SchedulerClock& clock, Download download, QObject* parent)
    : QObject(parent), clock_(&clock), download_(std::move(download)), timer_(new QTimer(this)),
      hangUp_(new HangUp(this))
{
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &Scheduler::SchedulerTick);
    connect(hangUp_, &HangUp::done, this, [this](const QString& problem) {
        if (!problem.isEmpty())
            emit notice(problem);
        endTick();
    });
}

Scheduler::Scheduler(const SchedulerClock& clock, ImmediateDownload download, QObject* parent)
    : Scheduler(
          clock,
          [download = std::move(download)](int list, const std::function<void(Ended)>& ended) {
              ended(download(list) ? Ended::Ran : Ended::Refused);
          },
          parent)
{
}

Scheduler::~Scheduler() = default;

Scheduler::Download Scheduler::downloadWith(CurrentRun& run)
{
    return [&run](int list, std::function<void(Ended)> ended) {
        // A run still going (started elsewhere) is waited for as well. Its
        // token stays cancelled after a Stop until it starts again.
        QObject::connect(
            &run, &CurrentRun::finished, &run,
            [&run, ended](bool) {
                if (run.summary().busy)
                    ended(Ended::Refused);
                else
                    ended(run.cancelToken().cancelled() ? Ended::Stopped : Ended::Ran);
            },
            Qt::SingleShotConnection);
        if (run.running())
            return;
        run.mode = CurrentRun::Mode::Scheduled;
        run.scheduledList = list;
        run.listCaption = lists::chooserCaption(list);
        run.start();
    };
}

void Scheduler::ComputeNextDownloads()
{
    const QDateTime now = clock_->now();
    for (int n = 1; n <= 16; ++n)
        exact_[static_cast<size_t>(n)] = schedule.firstDownload(n, now);
    emit nextDownloadsChanged();
}

void Scheduler::StartScheduler()
{
    active_ = true;
    emit activeChanged(true);
    ComputeNextDownloads();
    emit panel3Changed(waitingText());
    if (!simulate) {
        // One set of bookkeeping tables for every run of this scheduler.
        tablesOwed_ = true;
        freshTables();
        timer_->start();
    }
}

void Scheduler::freshTables()
{
    if (!tablesOwed_)
        return;
    RunLock lock;
    if (!lock.acquire(QStringLiteral("download"), nullptr))
        return;  // the download would be refused as well; the next tick tries again
    if (auto data = clsData::open()) {
        data->leegvervallen();
        data->leegnewtickers();
        data->leegnietgelukt();
        data->leegfindings();
    }
    tablesOwed_ = false;
}

QString Scheduler::waitingText() const
{
    int list = 0;
    for (int n = 1; n <= 16; ++n) {
        const auto i = static_cast<size_t>(n);
        if (schedule.lists[i].on && exact_[i].isValid() && (list == 0 || exact_[i] < exact_[static_cast<size_t>(list)]))
            list = n;
    }
    if (list == 0)
        return QStringLiteral("Waiting...");
    return QStringLiteral("Waiting... next: list %1 at %2")
        .arg(list)
        .arg(Schedule::momentText(exact_[static_cast<size_t>(list)], clock_->now()));
}

void Scheduler::StopScheduler()
{
    timer_->stop();
    if (!active_)
        return;
    active_ = false;
    emit panel3Changed(QString());
    emit activeChanged(false);
}

bool Scheduler::leaving() const { return !active_; }

void Scheduler::SchedulerTick()
{
    timer_->stop();
    if (!active_ || ticking_)
        return;
    ticking_ = true;
    tickList_ = 1;
    downloaded_ = false;
    continueTick();
}

void Scheduler::continueTick()
{
    // Whatever stopped the scheduler, it ends with the tick.
    auto leave = [this] {
        if (!leaving())
            return false;
        StopScheduler();
        ticking_ = false;
        emit tickEnded();
        return true;
    };
    for (; tickList_ <= 16; ++tickList_) {
        const int n = tickList_;
        if (leave())
            return;
        const auto i = static_cast<size_t>(n);
        if (!schedule.lists[i].on || !(exact_[i] < clock_->now()))
            continue;
        const QDateTime due = exact_[i];
        emit panel3Changed(QStringLiteral("Downloading List %1").arg(n));
        emit downloadStarting(n, clock_->now());
        if (!simulate)
            freshTables();
        download_(n, [this, n, due](Ended how) { listDone(n, due, how); });
        return;
    }
    // The disconnect command takes down a connection the downloads used; run
    // at every tick it would fight a connection the user opened meanwhile.
    if (!simulate && downloaded_ && schedule.disconnectSchedule) {
        hangUp_->start();
        return;
    }
    endTick();
}

void Scheduler::listDone(int n, const QDateTime& due, Ended how)
{
    const auto i = static_cast<size_t>(n);
    if (how == Ended::Refused) {
        // The moment stays due: the next tick tries again.
        emit notice(QStringLiteral("List %1 waits: another download holds the data folder").arg(n));
        emit panel3Changed(waitingText());
    } else {
        downloaded_ = true;
        emit downloadEnded(n);
        exact_[i] = schedule.nextDownload(n, due, clock_->now());
        emit nextDownloadsChanged();
        if (how == Ended::Stopped || leaving()) {
            StopScheduler();
            ticking_ = false;
            emit tickEnded();
            return;
        }
        emit panel3Changed(waitingText());
    }
    ++tickList_;
    continueTick();
}

void Scheduler::endTick()
{
    ticking_ = false;
    if (!simulate && active_)
        timer_->start();
    emit tickEnded();
}

namespace scheduleplan {

QVector<QPair<QDateTime, int>> plan(const Schedule& schedule, const QDateTime& from, const QDateTime& until)
{
    QVector<QPair<QDateTime, int>> downloads;
    ManualClock clock(from);
    Scheduler scheduler(clock, [&](int list) {
        downloads.append({clock.now(), list});
        return true;
    });
    scheduler.schedule = schedule;
    scheduler.simulate = true;
    scheduler.StartScheduler();
    // Ticks fall on from + 10 s, from + 20 s, ...; a tick at which no list is
    // due changes nothing, so the simulation goes straight to the first tick
    // after the earliest next moment.
    const qint64 step = Scheduler::kTickMs / 1000;
    for (qint64 k = 1;;) {
        const QDateTime t = from.addSecs(k * step);
        if (t > until)
            break;
        clock.set(t);
        scheduler.SchedulerTick();
        QDateTime earliest;
        for (int n = 1; n <= 16; ++n) {
            const QDateTime next = scheduler.ExactDownload(n);
            if (schedule.lists[static_cast<size_t>(n)].on && (!earliest.isValid() || next < earliest))
                earliest = next;
        }
        if (!earliest.isValid())
            break;
        k = std::max(k + 1, from.secsTo(earliest) / step + 1);
    }
    return downloads;
}

}  // namespace scheduleplan
