#pragma once

#include <QWidget>

class HistoryRun;
class ListChoice;
class QCheckBox;
class QDateEdit;
class QLabel;
class QProgressBar;
class QPushButton;

// The "Historical Data Downloader": one list or several, a date range or all
// data available, Go and Stop, and the report with its retry. The run is a
// HistoryRun; this window only forwards clicks and shows what it reports.
class history : public QWidget {
    Q_OBJECT
public:
    explicit history(QWidget* parent = nullptr);
    ~history() override;

    HistoryRun& run() { return *run_; }

    void StartHistoryRun();
    void StopHistoryRun();
    // The report, modal; a retry asked for there starts at once.
    void showReport();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void LockWindow(bool locked);
    void applyDateRules();

    HistoryRun* run_;
    ListChoice* choice_;
    QDateEdit* startdatum_;
    QDateEdit* einddatum_;
    QCheckBox* check1_;
    QPushButton* command1_;
    QPushButton* stop_;
    QPushButton* report_;
    QProgressBar* progress_;
    QLabel* panel1_[3] = {};
    QLabel* panel2_[4] = {};
};
