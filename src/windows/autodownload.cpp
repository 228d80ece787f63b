#include "windows/autodownload.h"

#include "runs/currentrun.h"
#include "runs/hangup.h"
#include "runs/scheduler.h"
#include "support/messages.h"
#include "support/state.h"
#include "windows/elidedlabel.h"
#include "windows/helpkey.h"
#include "windows/listchooser.h"
#include "windows/named.h"
#include "windows/notify.h"
#include "windows/reportform.h"
#include "windows/runrecord.h"
#include "windows/scheduleframe.h"
#include "windows/stopandclose.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QVBoxLayout>

Autodownload::Autodownload(QWidget* parent)
    : QWidget(parent), run_(new CurrentRun(this)),
      scheduler_(new Scheduler(systemClock(), Scheduler::downloadWith(*run_), this)), hangUp_(new HangUp(this))
{
    scheduler_->schedule = Schedule::load();
    setObjectName(QStringLiteral("Autodownload"));
    helpkey::setPage(this, QStringLiteral("Download_current_data.htm"));
    setWindowTitle(QStringLiteral("Current Data Downloader"));

    option5_ = named(new QRadioButton(QStringLiteral("Normal Download"), this), "Option5");
    option6_ = named(new QRadioButton(QStringLiteral("Scheduled download"), this), "Option6");
    option5_->setChecked(true);

    frameCurrent_ = named(new QGroupBox(this), "FrameCurrent");
    choice_ = new ListChoice(frameCurrent_, "Option3", "Option4", "Label1");
    choice_->follow(this);
    check3_ = named(new QCheckBox(QStringLiteral("&Disconnect after downloading"), frameCurrent_), "Check3");
    check3_->setChecked(scheduler_->schedule.disconnectNormal);
    command1_ = named(new QPushButton(QStringLiteral("&Go!"), frameCurrent_), "Command1");
    auto* currentLayout = new QGridLayout(frameCurrent_);
    choice_->addTo(currentLayout);
    currentLayout->addWidget(check3_, 2, 0, 1, 3);
    currentLayout->addWidget(command1_, 3, 0);
    currentLayout->setColumnStretch(2, 1);

    auto* scheduleFrame = new ScheduleFrame(*scheduler_, this);
    frameSchedule_ = scheduleFrame;
    command4_ = scheduleFrame->command4();

    stop_ = named(new QPushButton(QStringLiteral("&Stop Downloading!"), this), "commandstoppen");
    report_ = named(new QPushButton(QStringLiteral("View &Report"), this), "rapportknop");
    stop_->setEnabled(false);

    progress_ = named(new QProgressBar(this), "ProgressBar1");
    progress_->setValue(0);
    auto* status = named(new QStatusBar(this), "StatusBar1");
    status->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        panel_[i] = new ElidedLabel(status);
        panel_[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        // The outcome and the scheduler's line get the larger shares.
        status->addWidget(panel_[i], i == 1 ? 1 : 2);
    }

    auto* modes = new QHBoxLayout;
    modes->addWidget(option5_);
    modes->addWidget(option6_);
    modes->addStretch();
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(stop_);
    buttons->addWidget(report_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(modes);
    layout->addWidget(frameCurrent_);
    layout->addWidget(frameSchedule_, 1);
    layout->addLayout(buttons);
    layout->addWidget(progress_);
    layout->addWidget(status);

    connect(command1_, &QPushButton::clicked, this, &Autodownload::StartRun);
    connect(stop_, &QPushButton::clicked, this, &Autodownload::StopRun);
    connect(report_, &QPushButton::clicked, this, [this] {
        reportform window(this);
        window.exec();
    });
    connect(run_, &CurrentRun::panel1Changed, panel_[0], &QLabel::setText);
    connect(run_, &CurrentRun::panel2Changed, panel_[1], &QLabel::setText);
    connect(run_, &CurrentRun::progressChanged, this, [this](int value, int maximum) {
        progress_->setMaximum(std::max(maximum, 1));
        progress_->setValue(std::min(value, progress_->maximum()));
    });
    connect(run_, &CurrentRun::lockedChanged, this, &Autodownload::LockWindow);
    connect(run_, &CurrentRun::finished, this, &Autodownload::afterRun);
    connect(hangUp_, &HangUp::done, this, [this](const QString& problem) {
        if (!problem.isEmpty())
            panel_[1]->setText(problem);
        starting_ = false;
        emit runEnded();
    });
    // The outcome is final once the run lets go of the window: scheduled
    // runs are noted as well as the ones started here.
    connect(run_, &CurrentRun::lockedChanged, this, [this](bool locked) {
        if (!locked && !run_->summary().nothingToDo)
            runrecord::note(false, run_->summary().outcome());
    });

    connect(check3_, &QCheckBox::toggled, this, [this](bool on) { scheduler_->schedule.disconnectNormal = on; });
    connect(option6_, &QRadioButton::toggled, this, &Autodownload::applyScheduleState);
    connect(command4_, &QPushButton::clicked, this, &Autodownload::StartScheduler);
    connect(scheduler_, &Scheduler::panel3Changed, panel_[2], &QLabel::setText);
    connect(scheduler_, &Scheduler::notice, panel_[1], &QLabel::setText);
    connect(scheduler_, &Scheduler::activeChanged, this, &Autodownload::applyScheduleState);
    connect(scheduler_, &Scheduler::downloadEnded, this,
            [this](int list) { notify::scheduledRunFinished(list, run_->summary()); });
    applyScheduleState();
}

Autodownload::~Autodownload() = default;

void Autodownload::StartRun()
{
    if (starting_ || run_->running())
        return;
    starting_ = true;
    run_->mode = CurrentRun::Mode::Normal;
    run_->severalLists = choice_->severalChosen();
    run_->list = choice_->list();
    run_->listCaption = choice_->combo->currentText();
    run_->start();
}

// The end of a run started here (a scheduled run's end is the scheduler's):
// the connection goes down when the user asked for it.
void Autodownload::afterRun()
{
    if (!starting_)
        return;
    if (check3_->isChecked() && !run_->summary().nothingToDo) {
        hangUp_->start();
        return;
    }
    starting_ = false;
    emit runEnded();
}

void Autodownload::StopRun()
{
    // Without a run in progress there is nothing to wind down, and the run's
    // "Disconnecting..." would stay in the status bar.
    if (run_->running())
        run_->stop();
    if (scheduler_->active())
        scheduler_->StopScheduler();
}

void Autodownload::chooseScheduledMode()
{
    if (option6_->isEnabled())
        option6_->setChecked(true);
}

void Autodownload::StartScheduler()
{
    if (!option6_->isChecked() || scheduler_->active())
        return;
    scheduler_->StartScheduler();
}

void Autodownload::applyScheduleState()
{
    const bool busy = scheduler_->active() || run_->running();
    const bool scheduled = option6_->isChecked();
    helpkey::setPage(this, scheduled ? QStringLiteral("Download_daily_data.htm")
                                     : QStringLiteral("Download_current_data.htm"));
    frameCurrent_->setEnabled(!scheduled);
    frameSchedule_->setEnabled(scheduled && !busy);
    option5_->setEnabled(!busy);
    option6_->setEnabled(!busy);
    report_->setEnabled(!busy);
    stop_->setEnabled(busy);
}

void Autodownload::LockWindow(bool locked)
{
    // A new run starts from an empty bar; a finished one stays full with
    // its outcome beside it.
    if (locked) {
        progress_->setRange(0, 1);
        progress_->setValue(0);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{command1_, report_, option5_})
        w->setEnabled(!locked);
    choice_->setLocked(locked);
    stop_->setEnabled(locked);
    applyScheduleState();
}

void Autodownload::closeEvent(QCloseEvent* event)
{
    scheduler_->schedule.save();
    if (scheduler_->active() || run_->running() || starting_) {
        const QString refusal = scheduler_->active() ? QStringLiteral("Please first stop the scheduler")
                                                     : QStringLiteral("Please first stop downloading");
        state().refusedToClose = true;
        event->ignore();
        if (!closing_ && stopandclose::ask(refusal)) {
            // The run winds down in its own time; the window closes after.
            closing_ = true;
            StopRun();
            stopandclose::closeWhenIdle(this, [this] {
                return !scheduler_->active() && !scheduler_->ticking() && !run_->running() && !starting_;
            });
        }
        return;
    }
    event->accept();
}
