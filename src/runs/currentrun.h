#pragma once

#include <QObject>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>
#include <memory>
#include <vector>

class AppendFile;
class clsData;
class loader;
class RunExcel;

// What a current-quote run did, for the status line, the headless summary
// and the tests.
struct CurrentRunSummary {
    int symbols = 0;            // symbols of the chosen lists
    int batches = 0;            // requests dispatched, re-downloads included
    int failedBatches = 0;      // batches whose download failed
    int quotesReceived = 0;     // accepted quotes of all batches
    QMap<QChar, int> written;   // quotes written, per format letter
    int writeFailures = 0;      // quotes a format could not take
    QStringList changed;        // "OLD -> NEW"
    QStringList notes;          // lines of the whole-run exports (workbook, AmiBroker)
    bool aborted = false;
    bool nothingToDo = false;   // no symbols, no list or no format: nothing started

    int totalWritten() const;
    // The one-line outcome shown in the status bar and printed by the
    // headless command; never claims success for quotes not written.
    QString outcome() const;
};

// The current-quote download run: collects the symbols of the chosen lists,
// downloads them in batches of 180 with one loader per batch, several in
// flight, and writes every quote to each switched-on format in a fixed
// order. Runs on the GUI thread; long steps yield so windows stay live.
class CurrentRun : public QObject {
    Q_OBJECT
public:
    static constexpr int kBatchSize = 180;

    enum class Mode { Normal, Scheduled };

    explicit CurrentRun(QObject* parent = nullptr);
    ~CurrentRun() override;

    // What to download. Normal mode: one list (`list`, 1..16) or, with
    // `severalLists`, every list whose download flag is on. Scheduled mode:
    // `scheduledList`.
    Mode mode = Mode::Normal;
    bool severalLists = false;
    int list = 1;
    int scheduledList = 1;
    // The list's caption as the list box shows it, for " contains no symbols".
    QString listCaption;

    // Runs a whole download; returns when it has ended. False when it could
    // not start (no list, no format, no symbols) or was stopped.
    bool StartRun();
    // Stops the run: no further batch is sent, running ones wind down.
    void StopRun();

    bool running() const { return running_; }
    const CurrentRunSummary& summary() const { return summary_; }

    // "," in a price text becomes ".".
    static QString PointDecimal(const QString& text);

    // Renames the per-symbol quote files of a ticker the service replaced.
    static void RenameQuoteFiles(const QString& oldTicker, const QString& newTicker);

signals:
    void panel1Changed(const QString& text);  // the phase
    void panel2Changed(const QString& text);  // the detail
    void progressChanged(int value, int maximum);
    void lockedChanged(bool locked);          // LockWindow / UnlockWindow

private:
    void CollectAndDispatch();
    void dispatch(const QStringList& batch);
    void BatchComplete(int k);
    void investigate(loader& l);
    void writeBatch(loader& l);
    void finishFiles();
    void setPanel1(const QString& text);
    void setPanel2(const QString& text);
    bool idle() const;
    // The lists this run downloads, ascending; empty when none is chosen.
    QVector<int> chosenLists() const;

    std::vector<std::unique_ptr<loader>> loaders_;
    std::unique_ptr<clsData> data_;
    std::unique_ptr<AppendFile> ami1_, ami2_, vision_, vikingen_;
    std::unique_ptr<RunExcel> excel_;
    CurrentRunSummary summary_;
    int totalDispatched_ = 0;
    int completing_ = 0;  // BatchComplete calls under way
    bool running_ = false;
    QString panel1_, panel2_;
};
