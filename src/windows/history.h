#pragma once

#include <QDate>
#include <QPair>
#include <QWidget>
#include <functional>

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

    // The last trading day (Monday to Friday) that has ended before `today`.
    static QDate lastTradingDay(const QDate& today);
    // The default range: the two last trading days that have ended.
    static QPair<QDate, QDate> defaultRange(const QDate& today);

    // Where the window takes today from; tests move it.
    std::function<QDate()> clock = [] { return QDate::currentDate(); };
    // Takes today again: the pickers may reach it, "all data" ends on it.
    // Done when a run starts and whenever the window is activated, so that
    // a window left open over midnight is not stuck on the day before.
    void takeToday();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

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
    QDate today_;
    bool closing_ = false;  // stopped to close: closes once the run has ended
};
