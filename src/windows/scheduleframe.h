#pragma once

#include <QGroupBox>
#include <array>

class QCheckBox;
class QPushButton;
class QTableWidget;
class QTimeEdit;
class Scheduler;

// The schedule part of the downloader window: a table of the sixteen lists
// with a check box and start, end and interval pickers each, the options
// that hold for all lists and the button that starts the scheduler. It
// edits the scheduler's schedule and shows each list's next download.
class ScheduleFrame : public QGroupBox {
    Q_OBJECT
public:
    explicit ScheduleFrame(Scheduler& scheduler, QWidget* parent = nullptr);

    QPushButton* command4() const { return command4_; }

private:
    void pickerChanged(int n);
    void check1Clicked(int n);
    void check2Clicked();
    void showNextDownloads();
    void showPickers(int n);

    Scheduler& scheduler_;
    QTableWidget* grid_;
    std::array<QCheckBox*, 17> check1_{};
    std::array<QTimeEdit*, 17> start_{}, end_{}, interval_{};
    QCheckBox* check2_;
    QCheckBox* check4_;
    QCheckBox* check5_;
    QPushButton* command4_;
};
