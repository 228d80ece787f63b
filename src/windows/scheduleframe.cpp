#include "windows/scheduleframe.h"

#include "runs/scheduler.h"
#include "support/state.h"
#include "windows/named.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimeEdit>

namespace {
enum Column { CheckColumn, ListColumn, NameColumn, StartColumn, EndColumn, IntervalColumn, NextColumn };

QString arrayName(const char* base, int index) { return QStringLiteral("%1(%2)").arg(QLatin1String(base)).arg(index); }

QTableWidgetItem* readOnlyItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}
}  // namespace

ScheduleFrame::ScheduleFrame(Scheduler& scheduler, QWidget* parent) : QGroupBox(parent), scheduler_(scheduler)
{
    setObjectName(QStringLiteral("frameSchedule"));
    Schedule& s = scheduler_.schedule;

    grid_ = named(new QTableWidget(16, 7, this), "MSHFlexGrid1");
    grid_->setHorizontalHeaderLabels({QString(), QStringLiteral("List"), QStringLiteral("Name"),
                                      QStringLiteral("Start time"), QStringLiteral("End time"),
                                      QStringLiteral("Interval"), QStringLiteral("Next download")});
    grid_->verticalHeader()->hide();
    grid_->setSelectionMode(QAbstractItemView::NoSelection);
    grid_->setWordWrap(false);
    grid_->horizontalHeader()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    for (int n = 1; n <= 16; ++n) {
        const int row = n - 1;
        check1_[n] = new QCheckBox(grid_);
        check1_[n]->setObjectName(arrayName("Check1", row));
        check1_[n]->setChecked(s.lists[n].on);
        grid_->setCellWidget(row, CheckColumn, check1_[n]);
        grid_->setItem(row, ListColumn, readOnlyItem(QString::number(n)));
        grid_->setItem(row, NameColumn, readOnlyItem(settings().listNames[n].trimmed()));
        grid_->setItem(row, NextColumn, readOnlyItem(QString()));
        auto picker = [&](const char* base, int column, const QTime& value) {
            // The table shows its cell widgets whenever it lays them out, so a
            // picker is hidden inside a cell of its own that stays shown.
            auto* cell = new QWidget(grid_);
            auto* box = new QHBoxLayout(cell);
            box->setContentsMargins(0, 0, 0, 0);
            auto* edit = new QTimeEdit(value, cell);
            edit->setObjectName(arrayName(base, row));
            edit->setDisplayFormat(QStringLiteral("HH:mm"));
            // Typed times count once complete, not digit by digit.
            edit->setKeyboardTracking(false);
            box->addWidget(edit);
            grid_->setCellWidget(row, column, cell);
            connect(edit, &QTimeEdit::timeChanged, this, [this, n] { pickerChanged(n); });
            return edit;
        };
        start_[n] = picker("DTPicker1", StartColumn, s.lists[n].start);
        end_[n] = picker("DTPicker2", EndColumn, s.lists[n].end);
        interval_[n] = picker("DTPicker3", IntervalColumn, s.lists[n].interval);
        connect(check1_[n], &QCheckBox::clicked, this, [this, n] { check1Clicked(n); });
    }
    grid_->resizeColumnsToContents();

    check2_ = named(new QCheckBox(QStringLiteral("Use Interval"), this), "Check2");
    check4_ = named(new QCheckBox(QStringLiteral("Disconnect after each download"), this), "Check4");
    check5_ = named(new QCheckBox(QStringLiteral("Download only on weekdays"), this), "Check5");
    command4_ = named(new QPushButton(QStringLiteral("&Go!"), this), "Command4");
    check2_->setChecked(s.useInterval);
    check4_->setChecked(s.disconnectSchedule);
    check5_->setChecked(s.weekdaysOnly);
    connect(check2_, &QCheckBox::clicked, this, &ScheduleFrame::check2Clicked);
    connect(check4_, &QCheckBox::clicked, this, [this](bool on) { scheduler_.schedule.disconnectSchedule = on; });
    connect(check5_, &QCheckBox::clicked, this, [this](bool on) {
        scheduler_.schedule.weekdaysOnly = on;
        scheduler_.ComputeNextDownloads();
    });
    connect(&scheduler_, &Scheduler::nextDownloadsChanged, this, &ScheduleFrame::showNextDownloads);

    auto* layout = new QGridLayout(this);
    layout->addWidget(grid_, 0, 0, 1, 4);
    layout->addWidget(check2_, 1, 0);
    layout->addWidget(check4_, 1, 1);
    layout->addWidget(check5_, 1, 2);
    layout->addWidget(command4_, 2, 0);
    layout->setColumnStretch(3, 1);

    check2Clicked();  // also works out the next moments
}

void ScheduleFrame::showPickers(int n)
{
    const bool on = check1_[n]->isChecked();
    start_[n]->setVisible(on);
    end_[n]->setVisible(on && check2_->isChecked());
    interval_[n]->setVisible(on && check2_->isChecked());
}

void ScheduleFrame::pickerChanged(int n)
{
    scheduler_.schedule.setTimes(n, start_[n]->time(), end_[n]->time(), interval_[n]->time());
    {
        const QSignalBlocker block(end_[n]);
        end_[n]->setTime(scheduler_.schedule.lists[n].end);
    }
    scheduler_.ComputeNextDownloads();
}

void ScheduleFrame::check1Clicked(int n)
{
    scheduler_.schedule.lists[n].on = check1_[n]->isChecked();
    showPickers(n);
    if (check1_[n]->isChecked())
        scheduler_.ComputeNextDownloads();
    else
        grid_->item(n - 1, NextColumn)->setText(QString());
}

void ScheduleFrame::check2Clicked()
{
    const bool on = check2_->isChecked();
    scheduler_.schedule.useInterval = on;
    grid_->setColumnHidden(EndColumn, !on);
    grid_->setColumnHidden(IntervalColumn, !on);
    for (int n = 1; n <= 16; ++n)
        showPickers(n);
    // Whether today's end time has passed decides the next moments.
    scheduler_.ComputeNextDownloads();
}

void ScheduleFrame::showNextDownloads()
{
    const QDateTime now = scheduler_.clock().now();
    for (int n = 1; n <= 16; ++n) {
        const QDateTime next = scheduler_.ExactDownload(n);
        const QString text = check1_[n]->isChecked() ? Schedule::momentText(next, now) : QString();
        grid_->item(n - 1, NextColumn)->setText(text);
    }
    grid_->resizeColumnToContents(NextColumn);
}
