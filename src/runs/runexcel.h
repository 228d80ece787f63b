#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class ewriter;
class loader;
struct CurrentRunSummary;

// The Excel workbook of a download run: made when the run starts, counted
// into the run's summary at the end. A current-quote run hands every batch
// to a writer of its own (each adds the batch's rows and writes the
// workbook from the event loop); a historical run hands the symbols' blocks
// one after the other to a single writer. Does nothing while format E is
// off.
class RunExcel {
public:
    // `panel2` shows the detail text of the run.
    explicit RunExcel(std::function<void(const QString&)> panel2);
    ~RunExcel();

    // Makes this run's workbook ("history-n.xls" for a historical run).
    // False when every name is taken or the user chose Abort in the error
    // dialog (the run then stops); a workbook that cannot be written is
    // otherwise reported and leaves format E out of this run.
    bool start(bool historical = false);
    // Hands the quotes of a finished batch to a writer of their own.
    void write(const loader& batch, int totalDispatched);
    // Hands one symbol's days to the run's single writer once the block
    // before it is on disk: `lines` as ewriter::raw takes them, `rows` the
    // number of lines, `name` the symbol's name for column B. False when
    // the run was stopped while waiting.
    bool writeBlock(const QString& lines, int rows, const QString& name);
    // No writer has a write pending.
    bool idle() const;
    // Waits for pending writes, then adds the rows on disk to the quotes
    // written (letter E), the rest to the quotes not written, and a line
    // naming the workbook and its sheets to `notes`.
    void finish(QMap<QChar, int>& written, int& writeFailures, QStringList& notes);
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
// the summary's notes; `panel` shows "Exporting to Amibroker..." meanwhile.
void runAmiBrokerImport(QMap<QChar, int>& written, int& writeFailures, QStringList& notes,
                        const std::function<void(const QString&)>& panel);
void runAmiBrokerImport(CurrentRunSummary& summary, const std::function<void(const QString&)>& panel2);
