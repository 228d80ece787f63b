#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class ewriter;
class loader;
struct CurrentRunSummary;

// The Excel workbook of a current-quote run: made when the run starts, one
// writer per batch (each adds the batch's rows and writes the workbook from
// the event loop), counted into the run's summary at the end. Does nothing
// while format E is off.
class RunExcel {
public:
    // `panel2` shows the detail text of the run.
    explicit RunExcel(std::function<void(const QString&)> panel2);
    ~RunExcel();

    // Makes this run's workbook. False only when every name of the day is
    // taken (the run then stops); a workbook that cannot be written is
    // reported and leaves format E out of this run.
    bool start();
    // Hands the quotes of a finished batch to a writer of their own.
    void write(const loader& batch, int totalDispatched);
    // No writer has a write pending.
    bool idle() const;
    // Adds the rows on disk to the quotes written, the rest to the quotes
    // not written, and a line naming the workbook and its sheets.
    void finish(CurrentRunSummary& summary);

    QString workbook() const { return workbook_; }

private:
    std::function<void(const QString&)> panel2_;
    QString workbook_;
    bool enabled_ = false;  // format E is on
    bool on_ = false;       // and the workbook could be made
    int handed_ = 0;        // quotes handed to the writers
    std::vector<std::unique_ptr<ewriter>> writers_;
};

// The AmiBroker import at the end of a run, with its report line added to
// the summary's notes.
void runAmiBrokerImport(CurrentRunSummary& summary, const std::function<void(const QString&)>& panel2);
