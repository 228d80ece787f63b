#pragma once

#include "runs/schedule.h"

#include <QDateTime>
#include <QObject>
#include <QPair>
#include <QVector>
#include <functional>

class CurrentRun;
class HangUp;
class QTimer;

// Where the scheduler takes the time from; tests and simulations set it.
class SchedulerClock {
public:
    virtual ~SchedulerClock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public SchedulerClock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

// The one system clock, for schedulers that run in real time.
const SchedulerClock& systemClock();

class ManualClock final : public SchedulerClock {
public:
    explicit ManualClock(const QDateTime& t) : t_(t) {}
    QDateTime now() const override { return t_; }
    void set(const QDateTime& t) { t_ = t; }

private:
    QDateTime t_;
};

// The download scheduler: every ten seconds it looks which lists are due and
// downloads them one after the other, in list order, then moves each to its
// next moment. Runs on the GUI thread; a tick goes on from list to list as
// each download reports its end, and the timer is stopped while a tick
// runs, so a long download never overlaps the next tick.
class Scheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 10000;

    // How the download of a list ended.
    enum class Ended {
        Refused,  // another run held the data folder and nothing was done:
                  // the list is tried again at the next tick
        Ran,
        Stopped,  // the run was stopped (Stop, or Abort in an error dialog):
                  // the scheduler stops after it
    };
    // Starts the download of one list and calls `ended` when it has ended
    // (at once, for a download that does not wait).
    using Download = std::function<void(int list, std::function<void(Ended)> ended)>;
    // A download that has ended when it returns (simulations); false when
    // it was refused.
    using ImmediateDownload = std::function<bool(int list)>;

    Scheduler(const SchedulerClock& clock, Download download, QObject* parent = nullptr);
    Scheduler(const SchedulerClock& clock, ImmediateDownload download, QObject* parent = nullptr);
    ~Scheduler() override;

    // A download that runs `run` in scheduled mode for the list.
    static Download downloadWith(CurrentRun& run);

    Schedule schedule;
    // A simulation touches neither the database, the folders nor the network
    // and has no timer: the caller calls SchedulerTick.
    bool simulate = false;

    void setClock(const SchedulerClock& clock) { clock_ = &clock; }
    const SchedulerClock& clock() const { return *clock_; }

    // The next download moment of list n (1..16).
    QDateTime ExactDownload(int n) const { return exact_[static_cast<size_t>(n)]; }
    void ComputeNextDownloads();

    // Starts the scheduler: checks the export folders, empties the
    // bookkeeping tables once for all its runs, computes every list's next
    // moment and starts the ten-second timer.
    void StartScheduler();
    // Starts a tick; `tickEnded` reports its end.
    void SchedulerTick();
    // Stops the timer and the scheduler, so a tick in progress leaves after
    // the current download. The download itself is its run's to stop.
    void StopScheduler();
    bool active() const { return active_; }
    // A tick is running (a download or the disconnect command of it may be
    // on its way).
    bool ticking() const { return ticking_; }
    // "Waiting..." with the list downloaded next and when: "Waiting... next:
    // list 2 at 07/12/2026 17:45".
    QString waitingText() const;
    QTimer* timer() const { return timer_; }

signals:
    void panel3Changed(const QString& text);
    void nextDownloadsChanged();  // ExactDownload of one or more lists changed
    void downloadStarting(int list, const QDateTime& at);
    void downloadEnded(int list);
    void notice(const QString& text);  // something failed that does not stop the scheduler
    void activeChanged(bool active);
    void tickEnded();

private:
    bool leaving() const;
    // The tick goes on from list `tickList_`.
    void continueTick();
    void listDone(int n, const QDateTime& due, Ended how);
    void endTick();
    // Empties the current run's bookkeeping tables once per start of the
    // scheduler, when no other run holds the data folder (that run's
    // tables are its own until it ends).
    void freshTables();

    const SchedulerClock* clock_;
    Download download_;
    QTimer* timer_;
    std::array<QDateTime, 17> exact_;
    bool active_ = false;
    bool ticking_ = false;
    bool tablesOwed_ = false;
    int tickList_ = 1;         // the list the tick looks at next
    bool downloaded_ = false;  // the tick downloaded a list
    HangUp* hangUp_;
};

namespace scheduleplan {

// The downloads a scheduler started at `from`, ticking every ten seconds,
// would start until `until`: each moment with its list, in order.
QVector<QPair<QDateTime, int>> plan(const Schedule& schedule, const QDateTime& from, const QDateTime& until);

}  // namespace scheduleplan
