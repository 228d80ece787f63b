#pragma once

#include <QWidget>

class CurrentRun;
class ListChoice;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class Scheduler;

// The "Current Data Downloader": chooses one list or several, starts and
// stops the current-quote run and shows its progress. The run itself is a
// CurrentRun; this window only forwards clicks and shows what it reports.
class Autodownload : public QWidget {
    Q_OBJECT
public:
    explicit Autodownload(QWidget* parent = nullptr);
    ~Autodownload() override;

    CurrentRun& run() { return *run_; }
    Scheduler& scheduler() { return *scheduler_; }

    void StartRun();
    void StopRun();
    // Download > Daily: the window in scheduled mode.
    void chooseScheduledMode();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void LockWindow(bool locked);
    void StartScheduler();
    // Which controls the scheduler and the mode leave to the user.
    void applyScheduleState();

    CurrentRun* run_;
    Scheduler* scheduler_;
    QRadioButton* option5_;
    QRadioButton* option6_;
    ListChoice* choice_;
    QCheckBox* check3_;
    QPushButton* command1_;
    QPushButton* command4_;
    QPushButton* stop_;
    QPushButton* report_;
    QGroupBox* frameCurrent_;
    QGroupBox* frameSchedule_;
    QProgressBar* progress_;
    QLabel* panel_[3] = {};
    bool starting_ = false;  // inside StartRun, a hang-up included
    bool closing_ = false;   // stopped to close: closes once everything has ended
};
