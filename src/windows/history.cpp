#include "windows/history.h"

#include "runs/historyrun.h"
#include "support/messages.h"
#include "support/state.h"
#include "windows/helpkey.h"
#include "windows/historyreportform.h"
#include "windows/listchooser.h"
#include "windows/named.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QStatusBar* statusBar(QWidget* parent, const char* name, QLabel** panels, int count)
{
    auto* bar = named(new QStatusBar(parent), name);
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < count; ++i) {
        panels[i] = new QLabel(bar);
        panels[i]->setObjectName(QStringLiteral("%1Panel%2").arg(QLatin1String(name)).arg(i + 1));
        bar->addWidget(panels[i], 1);
    }
    return bar;
}

}  // namespace

history::history(QWidget* parent) : QWidget(parent), run_(new HistoryRun(this))
{
    setObjectName(QStringLiteral("history"));
    setWindowTitle(QStringLiteral("Historical Data Downloader"));
    helpkey::setPage(this, QStringLiteral("Download_historical_data.htm"));

    auto* lists = new QGroupBox(this);
    choice_ = new ListChoice(lists, "Option1", "Option2", "Label4");
    choice_->follow(this);
    auto* listLayout = new QGridLayout(lists);
    choice_->addTo(listLayout);
    listLayout->setColumnStretch(2, 1);

    auto* dates = named(new QGroupBox(QStringLiteral("Specify date"), this), "Frame1");
    startdatum_ = named(new QDateEdit(dates), "startdatum");
    einddatum_ = named(new QDateEdit(dates), "einddatum");
    for (QDateEdit* picker : {startdatum_, einddatum_}) {
        picker->setCalendarPopup(true);
        picker->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    }
    check1_ = named(new QCheckBox(QStringLiteral("Download all data available"), dates), "Check1");
    auto* dateLayout = new QGridLayout(dates);
    dateLayout->addWidget(new QLabel(QStringLiteral("Starting Date:"), dates), 0, 0);
    dateLayout->addWidget(startdatum_, 0, 1);
    dateLayout->addWidget(new QLabel(QStringLiteral("Ending Date:"), dates), 1, 0);
    dateLayout->addWidget(einddatum_, 1, 1);
    dateLayout->addWidget(check1_, 2, 0, 1, 2);
    dateLayout->setColumnStretch(2, 1);

    command1_ = named(new QPushButton(QStringLiteral("&Go!"), this), "Command1");
    stop_ = named(new QPushButton(QStringLiteral("&Stop Downloading!"), this), "commandstoppen");
    report_ = named(new QPushButton(QStringLiteral("View &Report"), this), "rapportknop");
    stop_->setEnabled(false);
    progress_ = named(new QProgressBar(this), "ProgressBar1");
    progress_->setValue(0);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(command1_);
    buttons->addWidget(stop_);
    buttons->addWidget(report_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lists);
    layout->addWidget(dates);
    layout->addLayout(buttons);
    layout->addStretch();
    layout->addWidget(progress_);
    layout->addWidget(statusBar(this, "StatusBar2", panel2_, 4));
    layout->addWidget(statusBar(this, "StatusBar1", panel1_, 3));

    applyDateRules();

    connect(startdatum_, &QDateEdit::dateChanged, this, [this](const QDate& d) {
        state().historyStartDate = d;
        einddatum_->setMinimumDate(d);
    });
    connect(check1_, &QCheckBox::toggled, this, [this](bool all) {
        if (all)
            einddatum_->setDate(QDate::currentDate());
        startdatum_->setEnabled(!all);
        einddatum_->setEnabled(!all);
    });
    connect(command1_, &QPushButton::clicked, this, &history::StartHistoryRun);
    connect(stop_, &QPushButton::clicked, this, &history::StopHistoryRun);
    connect(report_, &QPushButton::clicked, this, &history::showReport);
    connect(run_, &HistoryRun::statusChanged, this, [this](int bar, int panel, const QString& text) {
        if (bar == 1 && panel >= 1 && panel <= 3)
            panel1_[panel - 1]->setText(text);
        else if (bar == 2 && panel >= 1 && panel <= 4)
            panel2_[panel - 1]->setText(text);
    });
    connect(run_, &HistoryRun::progressChanged, this, [this](int value, int maximum) {
        progress_->setMaximum(std::max(maximum, 1));
        progress_->setValue(std::min(value, progress_->maximum()));
    });
    connect(run_, &HistoryRun::lockedChanged, this, &history::LockWindow);
}

history::~history() = default;

// The pickers never go beyond today; the end never before the start; the
// start comes back as it was left, or yesterday when that is not in the past.
void history::applyDateRules()
{
    const QDate today = QDate::currentDate();
    QDate start = state().historyStartDate;
    if (!start.isValid() || start >= today)
        start = today.addDays(-1);
    startdatum_->setMaximumDate(today);
    einddatum_->setMaximumDate(today);
    startdatum_->setDate(start);
    einddatum_->setMinimumDate(start);
    einddatum_->setDate(today);
}

void history::StartHistoryRun()
{
    run_->severalLists = choice_->severalChosen();
    run_->list = choice_->list();
    run_->startDate = startdatum_->date();
    run_->endDate = einddatum_->date();
    run_->allData = check1_->isChecked();
    run_->StartHistoryRun();
}

void history::StopHistoryRun()
{
    run_->StopHistoryRun();
}

void history::showReport()
{
    historyreportform report(this);
    report.exec();
    if (state().historyRetry)
        StartHistoryRun();
}

void history::LockWindow(bool locked)
{
    for (QWidget* w : std::initializer_list<QWidget*>{command1_, startdatum_, einddatum_, report_, check1_})
        w->setEnabled(!locked);
    choice_->setLocked(locked);
    stop_->setEnabled(locked);
    if (!locked) {
        startdatum_->setEnabled(!check1_->isChecked());
        einddatum_->setEnabled(!check1_->isChecked());
    }
}

void history::closeEvent(QCloseEvent* event)
{
    if (run_->running()) {
        msgBox(QStringLiteral("Please first stop downloading"));
        state().refusedToClose = true;
        event->ignore();
        return;
    }
    event->accept();
}
