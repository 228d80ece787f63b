#pragma once

#include <QWidget>

class CurrentRun;
class HangUp;
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

signals:
    // A run started here has ended, its hang-up included.
    void runEnded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void LockWindow(bool locked);
    void afterRun();
    void StartScheduler();
    // Which controls the scheduler and the mode leave to the user.
    void applyScheduleState();

    CurrentRun* run_;
    Scheduler* scheduler_;
    HangUp* hangUp_;
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
    bool starting_ = false;  // a run started here has not ended, its hang-up included
    bool closing_ = false;   // stopped to close: closes once everything has ended
};
