#pragma once

#include "core/bar.h"
#include "support/cancel.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QVector>
#include <functional>
#include <memory>

class QuoteStore;
class RunLock;
class BusyPointer;
namespace placement {
class RunPlacement;
}

// What every download run shares, whatever it downloads: the data folder's
// run lock, the busy pointer and the placement of new MetaStock symbols for
// the run's length, the cancel token, and the run's steps driven from the
// event loop. start() returns at once; `finished` reports the end, exactly
// once for every start(), also when the run could not start. Nothing waits:
// an answer, a written workbook or an ended process only asks for the next
// step (wake()), and the step runs from the event loop, outside the signal
// that asked for it.
//
// A strategy (the current or the historical run) says what the steps are:
// begin() prepares the run in its own order of the shared steps, the session
// then waits for the update check (the first run of a process asks the
// update server), proceed() sets the run going, advance() moves it on,
// conclude() closes it and gives its outcome.
class RunSession : public QObject {
    Q_OBJECT
public:
    explicit RunSession(QObject* parent = nullptr);
    ~RunSession() override;

    // Starts the run. Ignored while a run is going (no second `finished`).
    void start();
    // Stops the run: no further request is sent, running requests end, and
    // what was complete is written. The end comes through `finished`.
    void stop();

    // Also while the run waits for the update check at its start.
    bool running() const { return running_ || checking_ || followingUp_; }
    // Cancelled by stop() and kept so after the end, until the next start:
    // what the run made (its quote client) looks at it.
    const CancelToken& cancelToken() const { return cancel_; }
    // What the formats see of Stop: cancelled with the run. A strategy that
    // writes what was complete before Stop lifts it for that write
    // (allowWrites()); Stop during the write still ends it.
    const CancelToken& writesToken() const { return writes_; }
    // CPU time this thread spent putting the run's bars into the store, in
    // seconds: what the store costs a run.
    double storeSeconds() const { return storeSeconds_; }

signals:
    // The run has ended; `ok` is false when it could not start, found
    // nothing to do or was stopped.
    void finished(bool ok);

protected:
    // Prepares the run; false when it did not start (its refusal shown).
    virtual bool begin() = 0;
    // Sets the run going once the update check after begin() has ended: at
    // once when no check is due or no update server is set.
    virtual void proceed() = 0;
    // One step of the run; called from the event loop after wake().
    virtual void advance() = 0;
    // What stop() shows before the run winds down.
    virtual void stopping() = 0;
    // The run is cancelled: what works for it outside its steps (an export
    // on its way) ends now.
    virtual void cancelling() {}

    // Whether the first run of a process asks the update server before it
    // proceeds: a run that does not talk to the network does not.
    virtual bool checksForUpdate() const { return true; }

    // The shared steps, in the order each strategy takes them.
    // Takes the data folder's run lock for `what` ("download", named to a
    // run refused meanwhile); `refusal` says who holds it.
    bool lockFolder(QString* refusal, const QString& what = QStringLiteral("download"));
    // For the length of the run: the busy pointer, and new MetaStock
    // symbols placed without asking when `unattended`.
    void holdPlacement(bool unattended);
    void holdBusyPointer();
    void releaseBusyPointer();
    // Opens the quote store for the run; false, with the message shown, when
    // it cannot be used (then nothing of the run may reach a file). A run
    // that only reads it (`reading`) records no source of its own.
    bool openStore(bool reading = false);
    // The store opened by openStore(), nullptr before.
    QuoteStore* quoteStore() const { return store_.get(); }
    // Puts a symbol's days, then the `later` ones (today's), into the store
    // in one short transaction, before any file gets them; `asSent` holds
    // the values as sent of the days the integrity check repaired. False
    // when the store refused the write (the first refusal is shown): those
    // days must reach no file.
    bool storeBars(const QString& ticker, const QVector<core::Bar>& days, const QVector<core::Bar>& later,
                   const QHash<qint32, core::Bar>& asSent = {});
    // The same for the quotes of a batch (one day of each of many symbols).
    struct StoredQuote {
        const QString* ticker;
        const core::Bar* bar;
        const core::Bar* asSent;  // nullptr unless repaired
    };
    bool storeQuotes(const QVector<StoredQuote>& quotes);
    // The run is under way: steps may follow.
    void markRunning() { running_ = true; }
    // The run takes no further step; end() follows.
    void markEnded() { running_ = false; }

    // Asks for advance() from the event loop.
    void wake();
    // Cancels the run (Stop, or Abort in an error dialog): the run's quote
    // client, made with cancelToken(), ends its requests, and the formats
    // see writesToken(). Nothing outside the run is stopped.
    void cancel();
    bool cancelled() const { return cancel_.cancelled(); }
    void allowWrites() { writes_.reset(); }
    // The run has ended: lets go of what it held and reports `ok`.
    void end(bool ok);
    // The run's own steps are done, and a follow-up run (a gap fill) is to
    // take the folder: lets go of what the run held, takes no further step,
    // and still counts as running, so that Stop reaches it through
    // cancelling(), until end() reports the whole.
    void releaseForFollowUp();
    // The follow-up run has ended: the run no longer counts as running;
    // end() follows.
    void followUpEnded() { followingUp_ = false; }

private:
    void pump();
    void release();
    void checkForUpdate();

    CancelToken cancel_;
    CancelToken writes_;
    bool storeFailed(const std::exception& e);

    std::unique_ptr<RunLock> lock_;
    std::unique_ptr<QuoteStore> store_;
    int source_ = 0;
    bool storeRefusalShown_ = false;
    double storeSeconds_ = 0;
    std::unique_ptr<placement::RunPlacement> placing_;
    std::unique_ptr<BusyPointer> busy_;
    bool running_ = false;
    bool starting_ = false;     // inside start(): an end is reported from the event loop
    bool checking_ = false;     // waiting for the update check between begin() and proceed()
    bool followingUp_ = false;  // a follow-up run goes on before the end
    bool woken_ = false;        // a step is asked for
    bool advancing_ = false;
    bool again_ = false;  // asked for while a step ran
};
