#pragma once

#include <QDialog>
#include <memory>

class HistoryRun;
class QLabel;
class QProgressBar;
class QPushButton;
struct ExportFormat;

// The window of a fill: one format written from the quote store (see
// fill.h), its progress, and Stop. It starts the fill when shown and closes
// once the fill has ended, after telling its outcome.
class FillWindow : public QDialog {
    Q_OBJECT
public:
    FillWindow(const ExportFormat& format, QWidget* parent = nullptr);
    ~FillWindow() override;

    HistoryRun& run() { return *run_; }
    // The outcome of the fill that ended, "" before.
    const QString& outcome() const { return outcome_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void ended();

    std::unique_ptr<HistoryRun> run_;
    QLabel* label1_;
    QLabel* label2_;
    QProgressBar* progressBar1_;
    QPushButton* stop_;
    QString outcome_;
    bool started_ = false;
};

namespace fillwindow {

// After `format` was switched on: when the quote store holds days of
// symbols of the lists, asks whether to write them to it now and, on Yes,
// fills it with its window. True when a fill ran.
bool offer(const ExportFormat& format, QWidget* parent = nullptr);

}  // namespace fillwindow
